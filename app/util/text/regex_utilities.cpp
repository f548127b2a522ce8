#include "app/util/text/regex_utilities.h"

#include "platform/values/utf16.h"

namespace util {

std::optional<CompiledRegex> CompiledRegex::Compile(const std::string& pattern, int flags) {
  std::unique_ptr<regex_t, Freer> r(new regex_t);
  if (regcomp(r.get(), pattern.c_str(), flags) != 0) {
    // regcomp leaves nothing to free on failure; release the bare storage only.
    delete r.release();
    return std::nullopt;
  }
  return CompiledRegex(std::move(r));
}

bool RegexMatchesCFString(std::string_view text, const CompiledRegex& regex) {
  if (!values::IsValidUtf8(text)) return false;
  const std::string terminated(text);
  return regexec(regex.get(), terminated.c_str(), 0, nullptr, 0) == 0;
}

std::optional<std::string> CopyRegexCaptureFromCFString(std::string_view text, const std::string& pattern) {
  if (!values::IsValidUtf8(text)) return std::nullopt;
  auto regex = CompiledRegex::Compile(pattern, REG_EXTENDED | REG_ICASE | REG_NEWLINE);
  if (!regex) return std::nullopt;
  const std::string terminated(text);
  regmatch_t matches[2];
  if (regexec(regex->get(), terminated.c_str(), 2, matches, 0) != 0) return std::nullopt;
  if (matches[1].rm_so < 0) return std::nullopt;
  return terminated.substr(static_cast<std::size_t>(matches[1].rm_so),
                           static_cast<std::size_t>(matches[1].rm_eo - matches[1].rm_so));
}

}  // namespace util
