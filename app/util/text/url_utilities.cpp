#include "app/util/text/url_utilities.h"

#include "platform/values/string_edit.h"
#include "platform/values/utf16.h"

namespace util {
namespace {

void ReplaceEvery(std::string& text, char c, std::string_view with) {
  std::size_t pos = 0;
  while ((pos = text.find(c, pos)) != std::string::npos) {
    text.replace(pos, 1, with);
    pos += with.size();
  }
}

const CompiledRegex& DoubledEscapeRegex() {
  static const CompiledRegex regex = *CompiledRegex::Compile("(%25|%%)[[:xdigit:]]{2}", REG_EXTENDED);
  return regex;
}

}  // namespace

void EscapeURLBrackets(std::string& text) {
  ReplaceEvery(text, '{', "%7B");
  ReplaceEvery(text, '}', "%7D");
  ReplaceEvery(text, '[', "%5B");
  ReplaceEvery(text, ']', "%5D");
}

std::string CollapseDoubledPercentEscapes(std::string text) {
  regmatch_t match[2];
  // Each pass shortens the text, so this ends; every search starts again from the front
  // because a collapse can complete a new match just before it ("%25%2541").
  while (regexec(DoubledEscapeRegex().get(), text.c_str(), 2, match, 0) == 0) {
    const std::size_t group = static_cast<std::size_t>(match[1].rm_so);
    const std::size_t group_length = static_cast<std::size_t>(match[1].rm_eo - match[1].rm_so);
    text.erase(group + 1, group_length - 1);
  }
  return text;
}

std::optional<std::string> CreatePercentEscapedString(std::string_view text, std::string_view leave_unescaped,
                                                      std::string_view force_escaped,
                                                      values::EscapeEncoding encoding) {
  std::optional<std::string> escaped = values::PercentEscape(text, leave_unescaped, force_escaped, encoding);
  if (!escaped) return std::nullopt;
  return CollapseDoubledPercentEscapes(std::move(*escaped));
}

std::optional<std::string> CopyURLStringWithoutUserInfo(const values::Url& url) {
  const values::UrlComponentRange range = url.ComponentRange(values::UrlComponent::kUserInfo);
  if (!range.present) return url.String();
  std::string text = url.String();
  text.erase(range.outerOffset, range.outerLength);
  std::optional<values::Url> edited = values::Url::Create(text);
  if (!edited) return std::nullopt;
  return edited->String();
}

std::optional<std::string> CopyURLStringWithCredentials(std::string_view url_text,
                                                        const std::optional<std::string>& user,
                                                        const std::optional<std::string>& password) {
  if (!user) return std::string(url_text);
  // "/" and "?" end the net location, so a password holding them would spill into the
  // path; they are escaped with the separators ":" and "@".
  constexpr std::string_view kForced = ":@/?";
  std::optional<std::string> escaped_user = values::PercentEscape(*user, "", kForced);
  std::optional<std::string> escaped_password = values::PercentEscape(password.value_or(""), "", kForced);
  if (!escaped_user || !escaped_password) return std::nullopt;
  const std::string credentials = *escaped_user + ":" + *escaped_password + "@";

  std::optional<values::Url> url = values::Url::Create(url_text);
  if (!url) return std::nullopt;
  const values::UrlComponentRange range = url->ComponentRange(values::UrlComponent::kUserInfo);
  if (range.outerOffset == values::UrlComponentRange::kNowhere) return std::nullopt;
  std::string text = url->String();
  text.replace(range.outerOffset, range.present ? range.outerLength : 0, credentials);
  std::optional<values::Url> edited = values::Url::Create(text);
  if (!edited) return std::nullopt;
  return edited->String();
}

URLExtensions CopyURLExtensions(const values::Url& url) {
  URLExtensions out;
  std::optional<std::string> extension = url.PathExtension();
  if (extension && !extension->empty()) out.path_extension = values::Lowercase(*extension);
  const std::string& text = url.String();
  const std::size_t dot = text.rfind('.');
  if (dot != std::string::npos) {
    const std::string tail = text.substr(dot + 1);
    const std::size_t length = values::Utf16Length(tail);
    if (length >= 1 && length <= 5) out.tail = values::Lowercase(tail);
  }
  return out;
}

bool URLLastComponentMatchesRegex(std::string_view url_text, const CompiledRegex& regex) {
  std::optional<values::Url> url = values::Url::Create(url_text);
  if (!url) return false;
  std::optional<std::string> last = url->LastPathComponent();
  if (!last) return false;
  return RegexMatchesCFString(*last, regex);
}

}  // namespace util
