#pragma once
// Comparing and searching strings with the platform's options.
//
// Both sides are read as UTF-16 and compared unit by unit after the options have been
// applied to each character:
//   kCaseInsensitive       Unicode case folding (locale-independent: "I" folds to "i" in
//                          every language), so "ß" equals "SS" and "Straße" "STRASSE".
//   kNonliteral            canonical equivalence: "é" precomposed equals "e" + U+0301.
//   kDiacriticInsensitive  combining marks are ignored after decomposition ("é" == "e").
//   kNumeric               runs of decimal digits compare by their value, so "file2" comes
//                          before "file10"; leading zeros do not count ("07" == "7").
//   kBackwards             search from the end (the last match wins).
//   kAnchored              a match must touch the start (or, with kBackwards, the end).
// Without options the comparison is literal: UTF-16 code units in order, as the platform's
// default comparison is (so U+FFFF sorts after U+10000, whose first unit is U+D800).
//
// Decomposition is done character by character; a search never reports a match that ends
// inside the expansion of one character (searching "s" in "ß" finds nothing), and with
// kNonliteral or kDiacriticInsensitive a match never ends before a combining mark.
// Ranges in results are UTF-16 ranges of the original text (see utf16.h).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/utf16.h"

namespace values {

enum CompareOption : std::uint32_t {
  kCaseInsensitive = 1u << 0,
  kBackwards = 1u << 2,
  kAnchored = 1u << 3,
  kNonliteral = 1u << 4,
  kNumeric = 1u << 6,
  kDiacriticInsensitive = 1u << 7,
};
using CompareOptions = std::uint32_t;

enum class ComparisonResult : int { kLessThan = -1, kEqualTo = 0, kGreaterThan = 1 };

ComparisonResult CompareStrings(std::string_view a, std::string_view b, CompareOptions options = 0);

inline bool EqualStrings(std::string_view a, std::string_view b, CompareOptions options = 0) {
  return CompareStrings(a, b, options) == ComparisonResult::kEqualTo;
}

// The first (or with kBackwards the last) match of `needle` in `text`; nullopt when there is
// none or the needle is empty. `within` limits the search to a UTF-16 range of `text`.
std::optional<Utf16Range> FindString(std::string_view text, std::string_view needle,
                                     CompareOptions options = 0);
std::optional<Utf16Range> FindString(std::string_view text, std::string_view needle, Utf16Range within,
                                     CompareOptions options);

// Every match, front to back, matches not overlapping (kBackwards and kAnchored are ignored).
std::vector<Utf16Range> FindAllStrings(std::string_view text, std::string_view needle,
                                       CompareOptions options = 0);

// An empty prefix or suffix never matches, as on the platform; callers that want "empty
// counts as a prefix" say so themselves.
bool HasPrefix(std::string_view text, std::string_view prefix, CompareOptions options = 0);
bool HasSuffix(std::string_view text, std::string_view suffix, CompareOptions options = 0);

// Replaces every match of `target` by `replacement`; returns the number of replacements.
std::size_t ReplaceAll(std::string& text, std::string_view target, std::string_view replacement,
                       CompareOptions options = 0);

}  // namespace values
