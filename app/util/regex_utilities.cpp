#include "app/util/regex_utilities.h"

#include <unicode/utf8.h>

namespace util {
namespace {

bool IsValidUTF8(std::string_view text) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::int32_t length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

}  // namespace

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
  if (!IsValidUTF8(text)) return false;
  const std::string terminated(text);
  return regexec(regex.get(), terminated.c_str(), 0, nullptr, 0) == 0;
}

std::optional<std::string> CopyRegexCaptureFromCFString(std::string_view text, const std::string& pattern) {
  if (!IsValidUTF8(text)) return std::nullopt;
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
