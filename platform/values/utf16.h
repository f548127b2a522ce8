#pragma once
// Strings travel as UTF-8, but lengths, offsets and ranges that the rest of the program
// compares with stored limits and with each other are counted the platform's way: in
// UTF-16 code units. An emoji outside the Basic Multilingual Plane counts 2, "e" plus a
// combining accent counts 2, "é" precomposed counts 1.
//
// Text that is not valid UTF-8 is read with each bad byte as U+FFFD, so every function
// here accepts any bytes. A UTF-16 range that would cut a surrogate pair in two is widened
// or narrowed so that UTF-8 output never holds half a character (see each function).

#include <cstddef>
#include <string>
#include <string_view>

namespace values {

// A range of UTF-16 code units: `location` is the first unit, `length` the count.
struct Utf16Range {
  std::size_t location = 0;
  std::size_t length = 0;
  std::size_t End() const { return location + length; }
  bool operator==(const Utf16Range& other) const = default;
};

bool IsValidUtf8(std::string_view text);

// Valid UTF-8 as it is; otherwise every byte that is not part of a well-formed sequence
// becomes U+FFFD.
std::string SanitizeUtf8(std::string_view text);

std::size_t Utf16Length(std::string_view utf8);

std::u16string ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string FromUtf16(std::u16string_view utf16);

// The characters in [location, location + length) counted in UTF-16 units, clamped to the
// text. A range edge that falls between the two halves of a surrogate pair is moved so
// that the pair stays out of the result (the start moves forward, the end moves back).
std::string Utf16Substring(std::string_view utf8, std::size_t location, std::size_t length);
inline std::string Utf16Substring(std::string_view utf8, Utf16Range range) {
  return Utf16Substring(utf8, range.location, range.length);
}

// Converts between a UTF-16 offset and the byte offset of the same place in the UTF-8
// text (for handing positions between ICU or CF-style callers and byte-based code such as
// POSIX regular expressions). Offsets past the end clamp to the end; an offset inside a
// character moves to that character's start.
std::size_t Utf8OffsetFromUtf16(std::string_view utf8, std::size_t utf16_offset);
std::size_t Utf16OffsetFromUtf8(std::string_view utf8, std::size_t byte_offset);

// Appends one code point as UTF-8 (invalid code points and surrogates as U+FFFD).
void AppendCodePoint(std::string& out, char32_t cp);

}  // namespace values
