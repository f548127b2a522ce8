#pragma once
// Batch URLs: one typed URL that stands for many.
//
// Two pattern forms may appear in a URL string:
//   "{a,b,}"   alternatives; an empty one drops the piece;
//   "[m-n]"    a numeric range, zero-padded to the digit count of m ("[01-10]");
//   "[x-y]"    a letter range.
// The bracket text is searched, not anchored: the first range found inside the brackets
// counts and the rest of the bracket text is dropped. A range counts only when its first
// bound is below its last ("[5-5]", "[9-2]", "[z-a]" stay as typed). Braces are expanded
// before brackets, patterns from left to right, depth first, so "{a,b}[1-2]" gives a1,
// a2, b1, b2. A "{" without a later "}" leaves the whole string as typed.
//
// Each result also names the sub-folder its pattern picks when the first pattern lies in
// the path rather than the file name: ".../part[01-03]/f.zip" files f.zip from part01
// under "part01".
//
// Expansion is bounded: a typing slip such as "[1-999999999]" must not exhaust memory,
// so past kMaxExpandedURLs results, or with a bound too large for a 32-bit number, the
// whole call fails with a message for the user and forms nothing.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace queue {

inline constexpr std::size_t kMaxExpandedURLs = 10000;

struct ExpandedURLs {
  std::vector<std::string> urls;
  // One entry per URL: the sub-folder its pattern names, or nothing.
  std::vector<std::optional<std::string>> subfolders;
  // Set when the expansion was refused; urls and subfolders are then empty.
  std::optional<std::string> error;
};

ExpandedURLs ExpandURLPatterns(const std::vector<std::string>& patterns);

// The sub-folder that the first pattern of `topLevel` names in `expanded`; nothing when
// there is no pattern or it lies in the file name.
std::optional<std::string> CopyPatternPathComponent(std::string_view topLevel, std::string_view expanded);

}  // namespace queue
