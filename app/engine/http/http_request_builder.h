#pragma once
// The request one HTTP connection of a download sends, built from its mirror's entry,
// its range and the download's settings. No network: the result is a net::HttpRequest
// the transport hands to a read stream, so every header rule is tested here.
//
// What goes out: GET, or POST with the entry's "formdata"; Referer; Cookie (the entry's
// own cookies merged with the shared jar); credentials only on a retry after a challenge
// (the connection then carries an authentication object); "Accept-Language: *";
// "Range: bytes=N-" when the range does not start at 0, with "If-Range" once the server
// was seen to ignore a plain range ("useIfRange"): its Last-Modified text, else a strong
// ETag; User-Agent; "Accept: */*"; "Accept-Encoding: identity" (the bytes on the wire are
// then the file's bytes, which is what ranges count).
//
// Credentials, in order: the download's user and password; the URL's own (a user
// without a password gets the empty one); a stored item for host:port and path
// (browser::AuthItemsService). None of them is ever written to a log.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/engine/task/download_ranges.h"
#include "platform/net/http_authentication.h"
#include "platform/net/http_message.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

struct HttpCredentials {
  std::string user;
  std::string password;
};

// The credentials for `url` (see above); nothing when none are known.
std::optional<HttpCredentials> ResolveHttpCredentials(const values::Url& url,
                                                      const std::optional<std::string>& downloadUser,
                                                      const std::optional<std::string>& downloadPassword);

struct HttpRequestInput {
  values::Url url;
  const values::Value* entry = nullptr;  // the mirror's entry (a dictionary)
  LongRange range;
  std::optional<std::string> user;  // the download's credentials
  std::optional<std::string> password;
  std::string userAgent;  // empty: none
  // The server's challenge this connection answers (a retry after 401), or null.
  std::shared_ptr<net::HttpAuthentication> authentication;
  // The proxy's challenge shared by the download's connections, or null.
  std::shared_ptr<net::HttpAuthentication> proxyAuthentication;
};

struct HttpRequestBuild {
  // Nothing when the connection answers a challenge but no credentials are known or they
  // cannot be applied: the user must be asked.
  std::optional<net::HttpRequest> request;
  // The merged cookies, to store back into the entry's "cookie".
  CookieDictionary cookies;
};

HttpRequestBuild BuildHttpRequest(const HttpRequestInput& input);

}  // namespace engine
