#pragma once
// Plain string helpers every subsystem uses. Strings are UTF-8; where a rule counts
// "characters" it counts UTF-16 code units, the unit in which the stored limits of names
// were fixed, so that a name keeps the same cut wherever it is made.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace util {

// The decimal value of the text as strtoll reads it in base 10: leading white space and a
// sign allowed, reading stops at the first non-digit; 0 when there are no digits, and
// the nearest 64-bit limit when the number is out of range.
std::int64_t CFStringToSInt64(std::string_view text);

// True when `prefix` is empty, else whether `text` begins with it.
bool CFStringHasPrefixOrEmpty(std::string_view text, std::string_view prefix);

// The text split at CR, LF, U+2028 and U+2029, each piece trimmed of white space, empty
// pieces dropped, order kept.
std::vector<std::string> CreateArrayOfLines(std::string_view text);

// Replaces "&amp;", then "&gt;", then "&lt;", each pass over the whole text, so that
// "&amp;lt;" decodes to "<". No other entity is decoded.
std::string CopyXMLUnescapedString(std::string_view text);

// The text itself when it has at most `max_length` UTF-16 units; otherwise the text in
// front of the last character-cluster boundary before `max_length` (so at most
// max_length - 1 units, never splitting a base letter from its marks nor a surrogate
// pair). When no boundary can be found the cut falls on the last whole code point.
std::string TruncateAtClusterBreak(std::string_view text, std::size_t max_length);

// The longest prefix of the text that fits in `max_bytes` bytes of UTF-8 and ends on a
// character-cluster boundary. File systems limit names in bytes, not in characters.
std::string TruncateUTF8AtClusterBreak(std::string_view text, std::size_t max_bytes);

// The text without white space (Unicode White_Space) at both ends.
std::string TrimWhiteSpace(std::string_view text);

// The number of UTF-16 code units of the text.
std::size_t UTF16Length(std::string_view text);

// Lower case in the root locale (the same in every user language).
std::string LowercaseText(std::string_view text);

}  // namespace util
