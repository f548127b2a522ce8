#include "app/engine/http/cookies_and_proxy_credentials.h"

#include <strings.h>

#include <mutex>

namespace engine {

namespace {

std::mutex& ProxyCredentialsRegion() {
  static std::mutex region;
  return region;
}
ProxyCredentials& FtpPair() {
  static ProxyCredentials pair;
  return pair;
}
ProxyCredentials& HttpPair() {
  static ProxyCredentials pair;
  return pair;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

net::CookieJar& SharedCookieJar() {
  static net::CookieJar jar;
  return jar;
}

CookieDictionary CopyCookiesForURL(const values::Url& url, const CookieDictionary* own, bool ownWins) {
  CookieDictionary stored;
  // Most specific first: a name met again on a shorter path keeps the first value.
  for (const net::Cookie& c : SharedCookieJar().CookiesForUrl(url))
    stored.emplace(c.name, values::Value(c.value));
  if (!own) return stored;
  if (ownWins) {
    for (const auto& [name, value] : *own) stored[name] = value;
    return stored;
  }
  CookieDictionary merged = *own;
  for (const auto& [name, value] : stored) merged[name] = value;
  return merged;
}

std::optional<std::string> CookieHeaderFromDictionary(const CookieDictionary& cookies) {
  std::string out;
  for (const auto& [name, v] : cookies) {
    const std::string value = v.StringOr("");
    out += name.empty() ? value + "; " : name + "=" + value + "; ";
  }
  auto trim_blanks = [&] {
    while (!out.empty() && IsBlank(out.back())) out.pop_back();
    std::size_t b = 0;
    while (b < out.size() && IsBlank(out[b])) ++b;
    out.erase(0, b);
  };
  trim_blanks();
  while (!out.empty() && out.back() == ';') out.pop_back();
  std::size_t b = 0;
  while (b < out.size() && out[b] == ';') ++b;
  out.erase(0, b);
  if (out.empty()) return std::nullopt;
  return out;
}

bool CookiesDifferFromStorage(const values::Url& url, const CookieDictionary& cookies) {
  for (const net::Cookie& c : SharedCookieJar().CookiesForUrl(url)) {
    auto it = cookies.find(c.name);
    if (it == cookies.end()) continue;
    const std::string value = it->second.StringOr("");
    if (value.size() != c.value.size() || strncasecmp(value.c_str(), c.value.c_str(), c.value.size()) != 0)
      return true;
  }
  return false;
}

CookieDictionary CopyCookiesFromHeaders(const net::HttpResponseHead& headers, const values::Url& url) {
  CookieDictionary out;
  for (const std::string& field : headers.Headers().Values("Set-Cookie"))
    if (auto c = net::ParseSetCookie(field, url)) out[c->name] = values::Value(c->value);
  return out;
}

ProxyCredentials CopyFTPProxyCredentials() {
  std::lock_guard lock(ProxyCredentialsRegion());
  return FtpPair();
}

ProxyCredentials CopyHTTPProxyCredentials() {
  std::lock_guard lock(ProxyCredentialsRegion());
  return HttpPair();
}

void SetFTPProxyCredentials(std::optional<std::string> user, std::optional<std::string> password) {
  std::lock_guard lock(ProxyCredentialsRegion());
  FtpPair() = {std::move(user), std::move(password)};
}

void SetHTTPProxyCredentials(std::optional<std::string> user, std::optional<std::string> password) {
  std::lock_guard lock(ProxyCredentialsRegion());
  HttpPair() = {std::move(user), std::move(password)};
}

}  // namespace engine
