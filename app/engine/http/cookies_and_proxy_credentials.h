#pragma once
// Cookies a download carries and the proxy credential pairs every transfer task reads.
//
// A download's own cookies (handed over with its URL) are merged with the shared cookie
// jar, which every task reads directly: the jar is thread-safe, so no task waits for the
// main thread to answer (a task blocked on the main thread while the main thread waits
// for the tasks at shut-down would never end). Cookie dictionaries map name -> string
// value, as a URL entry's "cookie" holds them (cookie_string.h reads "a=1; b=2" texts); a
// cookie without a name is kept under the empty name.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/cookie_jar.h"
#include "platform/net/http_message.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

using CookieDictionary = values::Dictionary;

// The process's shared cookie store.
net::CookieJar& SharedCookieJar();

// The cookies stored for `url`, merged with `own` when given: with `ownWins` an own
// value replaces a stored one of the same name, otherwise the stored one stays.
CookieDictionary CopyCookiesForURL(const values::Url& url, const CookieDictionary* own, bool ownWins);
// "name=value; " per pair ("value; " for the empty name; values that are not strings
// count as empty), in key order, with blanks and
// ";" trimmed from both ends; nothing when the result is empty.
std::optional<std::string> CookieHeaderFromDictionary(const CookieDictionary& cookies);
// True when a name of `cookies` is stored for `url` with a value that differs ignoring case.
bool CookiesDifferFromStorage(const values::Url& url, const CookieDictionary& cookies);
// The cookies that the Set-Cookie fields of `headers` make for `url` (not stored).
CookieDictionary CopyCookiesFromHeaders(const net::HttpResponseHead& headers, const values::Url& url);

// Proxy credentials: either part may be absent. Any thread.
struct ProxyCredentials {
  std::optional<std::string> user;
  std::optional<std::string> password;
};
ProxyCredentials CopyFTPProxyCredentials();
ProxyCredentials CopyHTTPProxyCredentials();
void SetFTPProxyCredentials(std::optional<std::string> user, std::optional<std::string> password);
void SetHTTPProxyCredentials(std::optional<std::string> user, std::optional<std::string> password);

}  // namespace engine
