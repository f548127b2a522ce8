#include "platform/values/url_escape.h"

#include "platform/values/utf16.h"

#include <array>
#include <cstdint>
#include <vector>

namespace values {
namespace {

// Windows-1252 in 0x80-0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Reads one code point; false on malformed, overlong, surrogate or out-of-range input.
bool NextUtf8(std::string_view s, std::size_t& i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    out = b0;
    ++i;
    return true;
  }
  int extra = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (i + extra >= s.size()) return false;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  out = c;
  i += extra + 1;
  return true;
}

// A set given as UTF-8 text. Malformed bytes in a set are ignored rather than refused:
// the sets are written by the program, and a bad one should not refuse good input.
std::u32string DecodeSet(std::string_view set) {
  std::u32string out;
  std::size_t i = 0;
  while (i < set.size()) {
    char32_t c = 0;
    if (NextUtf8(set, i, c)) {
      out += c;
    } else {
      ++i;
    }
  }
  return out;
}

bool InSet(const std::u32string& set, char32_t c) {
  return set.find(c) != std::u32string::npos;
}

// The bytes of one character in the encoding; false when it has none there.
bool EncodeChar(char32_t c, EscapeEncoding encoding, std::string& bytes) {
  bytes.clear();
  switch (encoding) {
    case EscapeEncoding::kUtf8:
      AppendCodePoint(bytes, c);
      return true;
    case EscapeEncoding::kIsoLatin1:
      if (c > 0xFF) return false;
      bytes += static_cast<char>(c);
      return true;
    case EscapeEncoding::kWindowsLatin1:
      if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        bytes += static_cast<char>(c);
        return true;
      }
      for (std::size_t k = 0; k < kWindows1252High.size(); ++k) {
        if (kWindows1252High[k] != 0 && kWindows1252High[k] == c) {
          bytes += static_cast<char>(0x80 + k);
          return true;
        }
      }
      return false;
  }
  return false;
}

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

void AppendEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// Decodes one run of escaped bytes (whose escape text is `source`, three characters per
// byte) into `out`, keeping the escape text of characters in `leave`.
bool DecodeRun(const std::vector<unsigned char>& bytes, std::string_view source, const std::u32string& leave,
               EscapeEncoding encoding, std::string& out) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t start = i;
    char32_t c = 0;
    if (encoding == EscapeEncoding::kUtf8) {
      const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      if (!NextUtf8(view, i, c)) return false;
    } else {
      const unsigned char b = bytes[i++];
      c = b;
      if (encoding == EscapeEncoding::kWindowsLatin1 && b >= 0x80 && b < 0xA0) {
        c = kWindows1252High[b - 0x80];
        if (c == 0) return false;
      }
    }
    if (InSet(leave, c)) {
      out.append(source.substr(start * 3, (i - start) * 3));
    } else {
      AppendCodePoint(out, static_cast<char32_t>(c));
    }
  }
  return true;
}

}  // namespace

bool IsUrlLegalCharacter(char32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  if (c >= 0x80) return false;
  static constexpr std::string_view kMarks = "!$&'()*+,-./:;=?@_~";
  return kMarks.find(static_cast<char>(c)) != std::string_view::npos;
}

std::optional<std::string> PercentEscape(std::string_view text, std::string_view leaveUnescaped,
                                         std::string_view forceEscaped, EscapeEncoding encoding) {
  const std::u32string leave = DecodeSet(leaveUnescaped);
  const std::u32string force = DecodeSet(forceEscaped);
  std::string out;
  out.reserve(text.size());
  std::string bytes;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    char32_t c = 0;
    if (!NextUtf8(text, i, c)) return std::nullopt;
    const bool escape = IsUrlLegalCharacter(c) ? InSet(force, c) : !InSet(leave, c);
    if (!escape) {
      out.append(text.substr(start, i - start));
      continue;
    }
    if (!EncodeChar(c, encoding, bytes)) return std::nullopt;
    for (const char b : bytes) AppendEscape(out, static_cast<unsigned char>(b));
  }
  return out;
}

std::optional<std::string> PercentUnescape(std::string_view text, std::string_view leaveEscaped,
                                           EscapeEncoding encoding) {
  const std::u32string leave = DecodeSet(leaveEscaped);
  std::string out;
  out.reserve(text.size());
  std::vector<unsigned char> run;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      const std::size_t next = text.find('%', i);
      const std::size_t end = next == std::string_view::npos ? text.size() : next;
      out.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    // Gather the whole run of adjacent escapes: a multi-byte character spans several.
    const std::size_t runStart = i;
    run.clear();
    while (i < text.size() && text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      run.push_back(static_cast<unsigned char>(hi * 16 + lo));
      i += 3;
    }
    if (!DecodeRun(run, text.substr(runStart, i - runStart), leave, encoding, out)) return std::nullopt;
  }
  return out;
}

}  // namespace values
