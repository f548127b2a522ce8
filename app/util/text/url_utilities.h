#pragma once
// URL text helpers: escaping typed or pasted text so the URL parser accepts it, putting
// credentials into a URL and taking them out, and reading a URL's extensions.

#include <optional>
#include <string>
#include <string_view>

#include "app/util/text/regex_utilities.h"
#include "platform/values/url.h"
#include "platform/values/url_escape.h"

namespace util {

// Replaces "{", "}", "[" and "]" by "%7B", "%7D", "%5B" and "%5D" (typed URLs; the
// parser takes brackets for an IPv6 host).
void EscapeURLBrackets(std::string& text);

// Percent-escapes the text (see url_escape.h for the two sets), then collapses doubled
// escapes: every "%25" or "%%" in front of two hex digits becomes a single "%", again and
// again, so an escape already in the text ("%41") comes out as it went in, and nested
// escaping ("%252541") collapses to one level ("%41"). A "%" not followed by two hex
// digits stays escaped ("%25"). Nothing when the text cannot be escaped in the encoding.
std::optional<std::string> CreatePercentEscapedString(
    std::string_view text, std::string_view leave_unescaped, std::string_view force_escaped,
    values::EscapeEncoding encoding = values::EscapeEncoding::kUtf8);

// The collapse step of CreatePercentEscapedString on its own.
std::string CollapseDoubledPercentEscapes(std::string text);

// The URL's text without "user:password@"; the text itself when it has none. Nothing when
// the edited text is no longer a URL.
std::optional<std::string> CopyURLStringWithoutUserInfo(const values::Url& url);

// The URL's text with its user information replaced by (or, without one, given) the
// user name and password, each escaped in UTF-8 with ":", "@", "/" and "?" forced so
// that neither can end the user information or the host early. A missing password
// counts as empty ("user:@"). Without a user name, the text unchanged. Nothing when the
// text is not a URL with a "//" net location, or the result is not a URL.
std::optional<std::string> CopyURLStringWithCredentials(std::string_view url_text,
                                                        const std::optional<std::string>& user,
                                                        const std::optional<std::string>& password);

struct URLExtensions {
  // The lower-cased extension of the last path component; nothing without one.
  std::optional<std::string> path_extension;
  // The lower-cased text behind the last "." of the whole URL text, query included, when
  // it is 1 to 5 characters long ("download.php?f=a.zip" gives "zip").
  std::optional<std::string> tail;
};
URLExtensions CopyURLExtensions(const values::Url& url);

// Whether the last path component of the URL made from the text matches; false when the
// text is not a URL or has no last component.
bool URLLastComponentMatchesRegex(std::string_view url_text, const CompiledRegex& regex);

}  // namespace util
