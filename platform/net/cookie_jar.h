#pragma once
// Cookies learnt from responses and handed over with URLs, shared by every task.
//
// The jar follows RFC 6265: a cookie belongs to a domain (host-only when Set-Cookie
// named none) and a path (by default the folder of the URL that set it), may be secure
// (https only) and may expire (Expires or Max-Age; Max-Age wins). A cookie replaces the
// one with the same name, domain and path; one that has expired, or a Max-Age of 0,
// removes it. All calls are safe from any thread. Time is passed in (seconds since the
// Unix epoch) so tests choose it; the defaults read the system clock.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/url.h"

namespace net {

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case, without a leading "."
  std::string path = "/";
  bool host_only = true;
  bool secure = false;
  bool http_only = false;
  std::optional<std::int64_t> expires;  // none: ends with the session

  bool operator==(const Cookie&) const = default;
};

std::int64_t CurrentUnixTime();

// One Set-Cookie value as received in the response to `url`. No value when the field
// is malformed or names a domain that `url`'s host does not belong to.
std::optional<Cookie> ParseSetCookie(std::string_view field, const values::Url& url,
                                     std::int64_t now = CurrentUnixTime());
// A cookie date ("Wed, 09 Jun 2021 10:18:14 GMT", "Wednesday, 09-Jun-21 10:18:14 GMT",
// "Wed Jun  9 10:18:14 2021") as Unix time.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);

bool CookieDomainMatches(std::string_view host, const Cookie& cookie);
bool CookiePathMatches(std::string_view request_path, std::string_view cookie_path);

class CookieJar {
 public:
  void Set(Cookie cookie, std::int64_t now = CurrentUnixTime());
  // Every Set-Cookie value, in order; returns the cookies that were stored.
  std::vector<Cookie> SetFromResponse(const std::vector<std::string>& set_cookie_fields,
                                      const values::Url& url, std::int64_t now = CurrentUnixTime());
  // Cookies to send to `url`: longest path first, then oldest first.
  std::vector<Cookie> CookiesForUrl(const values::Url& url, std::int64_t now = CurrentUnixTime()) const;
  std::vector<Cookie> AllCookies() const;
  void Clear();

 private:
  struct Entry {
    Cookie cookie;
    std::uint64_t created;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t next_serial_ = 0;
};

}  // namespace net
