#include "platform/values/utf16.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace values {

namespace {

// Walks UTF-8 one code point at a time the way ICU's macros do: a malformed sequence
// yields U_SENTINEL (< 0) and advances past the bad bytes.
template <typename Fn>
void ForEachCodePoint(std::string_view text, Fn&& fn) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t n = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < n) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, n, c);
    if (!fn(start, i, c)) return;
  }
}

std::size_t UnitsOf(UChar32 c) {
  return c >= 0x10000 ? 2 : 1;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  bool ok = true;
  ForEachCodePoint(text, [&](int32_t, int32_t, UChar32 c) {
    ok = c >= 0;
    return ok;
  });
  return ok;
}

void AppendCodePoint(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  char buf[4];
  int32_t len = 0;
  U8_APPEND_UNSAFE(reinterpret_cast<uint8_t*>(buf), len, static_cast<UChar32>(cp));
  out.append(buf, static_cast<std::size_t>(len));
}

std::string SanitizeUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  ForEachCodePoint(text, [&](int32_t start, int32_t end, UChar32 c) {
    if (c < 0) {
      AppendCodePoint(out, 0xFFFD);
    } else {
      out.append(text.data() + start, static_cast<std::size_t>(end - start));
    }
    return true;
  });
  return out;
}

std::size_t Utf16Length(std::string_view utf8) {
  std::size_t n = 0;
  ForEachCodePoint(utf8, [&](int32_t, int32_t, UChar32 c) {
    n += c < 0 ? 1 : UnitsOf(c);
    return true;
  });
  return n;
}

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  ForEachCodePoint(utf8, [&](int32_t, int32_t, UChar32 c) {
    if (c < 0) c = 0xFFFD;
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    return true;
  });
  return out;
}

std::string FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  const auto* s = reinterpret_cast<const UChar*>(utf16.data());
  const int32_t n = static_cast<int32_t>(utf16.size());
  int32_t i = 0;
  while (i < n) {
    UChar32 c;
    U16_NEXT(s, i, n, c);
    if (U_IS_SURROGATE(c)) c = 0xFFFD;
    AppendCodePoint(out, static_cast<char32_t>(c));
  }
  return out;
}

std::string Utf16Substring(std::string_view utf8, std::size_t location, std::size_t length) {
  const std::size_t end = length > SIZE_MAX - location ? SIZE_MAX : location + length;
  std::string out;
  std::size_t unit = 0;
  ForEachCodePoint(utf8, [&](int32_t start, int32_t stop, UChar32 c) {
    const std::size_t units = c < 0 ? 1 : UnitsOf(c);
    // A character belongs to the result only when it lies wholly inside the range.
    if (unit >= location && unit + units <= end) {
      if (c < 0) {
        AppendCodePoint(out, 0xFFFD);
      } else {
        out.append(utf8.data() + start, static_cast<std::size_t>(stop - start));
      }
    }
    unit += units;
    return unit < end;
  });
  return out;
}

std::size_t Utf8OffsetFromUtf16(std::string_view utf8, std::size_t utf16_offset) {
  std::size_t unit = 0;
  std::size_t result = utf8.size();
  ForEachCodePoint(utf8, [&](int32_t start, int32_t, UChar32 c) {
    const std::size_t units = c < 0 ? 1 : UnitsOf(c);
    if (utf16_offset < unit + units) {
      result = static_cast<std::size_t>(start);
      return false;
    }
    unit += units;
    return true;
  });
  return result;
}

std::size_t Utf16OffsetFromUtf8(std::string_view utf8, std::size_t byte_offset) {
  std::size_t unit = 0;
  ForEachCodePoint(utf8, [&](int32_t, int32_t stop, UChar32 c) {
    if (static_cast<std::size_t>(stop) > byte_offset) return false;
    unit += c < 0 ? 1 : UnitsOf(c);
    return true;
  });
  return unit;
}

}  // namespace values
