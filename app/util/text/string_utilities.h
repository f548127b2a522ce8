#pragma once
// Plain string helpers every subsystem uses. Strings are UTF-8; where a rule counts
// "characters" it counts UTF-16 code units (platform/values/utf16.h), the unit in which
// the stored limits of names were fixed, so that a name keeps the same cut wherever it
// is made.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/char_set.h"
#include "platform/values/string_compare.h"

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

// The text with every character of `set` removed (a copy also when nothing is removed).
inline std::string StringByDeletingCharactersInSet(std::string_view text, const values::CharacterSet& set) {
  return values::DeleteCharacters(text, set);
}

// Whether the text begins (ends) with `affix`, ignoring letter case (full case folding:
// "STRASSE" ends with "ße"). An empty affix never matches.
inline bool TRHasCaseInsensitivePrefix(std::string_view text, std::string_view affix) {
  return values::HasPrefix(text, affix, values::kCaseInsensitive);
}
inline bool TRHasCaseInsensitiveSuffix(std::string_view text, std::string_view affix) {
  return values::HasSuffix(text, affix, values::kCaseInsensitive);
}

}  // namespace util
