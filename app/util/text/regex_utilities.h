#pragma once
// POSIX regular expressions of the C library over UTF-8 text. Matching works on the
// bytes of the text, so offsets are byte offsets. Text that is not well-formed UTF-8
// never matches.

#include <regex.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace util {

// A compiled expression, freed when the object goes.
class CompiledRegex {
 public:
  // Nothing when the pattern does not compile. `flags` are regcomp's (REG_EXTENDED ...).
  static std::optional<CompiledRegex> Compile(const std::string& pattern, int flags);

  const regex_t* get() const { return regex_.get(); }

 private:
  struct Freer {
    void operator()(regex_t* r) const {
      regfree(r);
      delete r;
    }
  };
  explicit CompiledRegex(std::unique_ptr<regex_t, Freer> r) : regex_(std::move(r)) {}
  std::unique_ptr<regex_t, Freer> regex_;
};

// Whether the expression matches anywhere in the text (no flags, no sub-matches).
bool RegexMatchesCFString(std::string_view text, const CompiledRegex& regex);

// The first parenthesised group of the pattern's first match, the pattern compiled
// extended, case-insensitive and newline-sensitive; nothing when it does not match (or
// the group took no part in the match, or the pattern does not compile).
std::optional<std::string> CopyRegexCaptureFromCFString(std::string_view text, const std::string& pattern);

}  // namespace util
