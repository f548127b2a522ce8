#include "platform/values/plist_text.h"

#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace values::plist_text {

bool IsValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
  const std::int32_t length = static_cast<std::int32_t>(s.size());
  if (s.size() != static_cast<std::size_t>(length)) return false;
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(p, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view s) {
  if (!IsValidUtf8(s)) return std::nullopt;
  std::u16string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
  const std::int32_t length = static_cast<std::int32_t>(s.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT_UNSAFE(p, i, c);
    if (c <= 0xFFFF) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(U16_LEAD(c));
      out += static_cast<char16_t>(U16_TRAIL(c));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    UChar32 c = s[i];
    if (U16_IS_LEAD(c) && i + 1 < s.size() && U16_IS_TRAIL(s[i + 1])) {
      c = U16_GET_SUPPLEMENTARY(c, s[i + 1]);
      ++i;
    } else if (U16_IS_SURROGATE(c)) {
      c = 0xFFFD;
    }
    std::uint8_t buf[4];
    std::int32_t n = 0;
    U8_APPEND_UNSAFE(buf, n, c);
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
  }
  return out;
}

bool Utf16Less(std::string_view a, std::string_view b) {
  // UTF-8 byte order is code point order; only a lead byte of F0..F4 (beyond U+FFFF)
  // against EE or EF (U+E000..U+FFFF) sorts the other way in UTF-16.
  const auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (mismatch.second == b.end()) return false;  // b is a prefix of a, or equal
  if (mismatch.first == a.end()) return true;    // a is a proper prefix of b
  // Step back to the first byte of the differing character.
  auto ia = mismatch.first;
  auto ib = mismatch.second;
  while (ia != a.begin() && (static_cast<unsigned char>(*ia) & 0xC0) == 0x80) {
    --ia;
    --ib;
  }
  const auto ca = static_cast<unsigned char>(*ia), cb = static_cast<unsigned char>(*ib);
  const bool aBeyond = ca >= 0xF0, bBeyond = cb >= 0xF0;
  const bool aHighBmp = ca == 0xEE || ca == 0xEF, bHighBmp = cb == 0xEE || cb == 0xEF;
  if (aBeyond && bHighBmp) return true;
  if (bBeyond && aHighBmp) return false;
  return static_cast<unsigned char>(*mismatch.first) < static_cast<unsigned char>(*mismatch.second);
}

}  // namespace values::plist_text
