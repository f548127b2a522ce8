#pragma once
// Everyday edits of UTF-8 strings with the platform's rules: case mapping that does not
// depend on the user's language (the root locale: "i" always uppercases to "I"), trimming
// of white space and line ends, and splitting at a separator string.

#include <string>
#include <string_view>
#include <vector>

namespace values {

// Full Unicode case mapping in the root locale ("ß" uppercases to "SS").
std::string Uppercase(std::string_view utf8);
std::string Lowercase(std::string_view utf8);

// Removes white space and line ends (CharacterSet::WhitespaceAndNewlines) at both ends.
std::string TrimWhitespace(std::string_view utf8);

// Splits at every occurrence of `separator` (literal match). Empty pieces are kept: "a,,b"
// gives "a", "", "b"; the empty text gives one empty piece; an empty separator gives the
// whole text as its only piece.
std::vector<std::string> SplitString(std::string_view utf8, std::string_view separator);

// Joins pieces with a separator between each two.
std::string JoinStrings(const std::vector<std::string>& pieces, std::string_view separator);

}  // namespace values
