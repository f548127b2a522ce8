#include "platform/net/cookie_jar.h"

#include "platform/values/ascii.h"

#include <arpa/inet.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <ctime>

namespace net {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsAddress(const std::string& host) {
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

std::string DefaultPath(const values::Url& url) {
  std::string path = url.Absolute().Path();
  if (path.empty() || path[0] != '/') return "/";
  const std::size_t last = path.rfind('/');
  if (last == 0) return "/";
  return path.substr(0, last);
}

}  // namespace

std::int64_t CurrentUnixTime() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::optional<std::int64_t> ParseCookieDate(std::string_view text) {
  // RFC 6265 section 5.1.1: tokens split at delimiters, recognised by their shape.
  auto is_delim = [](unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2f) || (c >= 0x3b && c <= 0x40) || (c >= 0x5b && c <= 0x60) ||
           (c >= 0x7b && c <= 0x7e);
  };
  bool have_time = false, have_day = false, have_month = false, have_year = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_delim(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t b = i;
    while (i < text.size() && !is_delim(static_cast<unsigned char>(text[i]))) ++i;
    std::string_view tok = text.substr(b, i - b);
    if (tok.empty()) continue;
    int h, m, s;
    if (!have_time && std::sscanf(std::string(tok).c_str(), "%2d:%2d:%2d", &h, &m, &s) == 3) {
      have_time = true;
      hour = h, minute = m, second = s;
      continue;
    }
    const bool digits = std::isdigit(static_cast<unsigned char>(tok[0]));
    int num = 0;
    std::size_t ndig = 0;
    while (ndig < tok.size() && std::isdigit(static_cast<unsigned char>(tok[ndig])))
      num = num * 10 + (tok[ndig++] - '0');
    if (!have_day && digits && ndig <= 2) {
      have_day = true;
      day = num;
      continue;
    }
    if (!have_month && tok.size() >= 3) {
      static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                      "jul", "aug", "sep", "oct", "nov", "dec"};
      const std::string head = values::AsciiLower(tok.substr(0, 3));
      auto it = std::find(std::begin(kMonths), std::end(kMonths), head);
      if (it != std::end(kMonths)) {
        have_month = true;
        month = static_cast<int>(it - std::begin(kMonths)) + 1;
        continue;
      }
    }
    if (!have_year && digits && ndig >= 2 && ndig <= 4) {
      have_year = true;
      year = num;
      continue;
    }
  }
  if (!have_time || !have_day || !have_month || !have_year) return std::nullopt;
  if (year >= 70 && year <= 99) year += 1900;
  if (year >= 0 && year <= 69) year += 2000;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<std::int64_t>(timegm(&tm));
}

bool CookieDomainMatches(std::string_view host_in, const Cookie& cookie) {
  const std::string host = values::AsciiLower(host_in);
  if (host == cookie.domain) return true;
  if (cookie.host_only || IsAddress(host)) return false;
  return host.size() > cookie.domain.size() && host.ends_with(cookie.domain) &&
         host[host.size() - cookie.domain.size() - 1] == '.';
}

bool CookiePathMatches(std::string_view request_path, std::string_view cookie_path) {
  if (request_path.empty()) request_path = "/";
  if (request_path == cookie_path) return true;
  if (!request_path.starts_with(cookie_path)) return false;
  return cookie_path.back() == '/' || request_path[cookie_path.size()] == '/';
}

std::optional<Cookie> ParseSetCookie(std::string_view field, const values::Url& url, std::int64_t now) {
  const values::Url abs = url.Absolute();
  auto host_opt = abs.Host();
  if (!host_opt) return std::nullopt;
  const std::string host = values::AsciiLower(*host_opt);

  std::size_t semi = field.find(';');
  std::string_view pair = Trim(field.substr(0, semi));
  Cookie c;
  const std::size_t eq = pair.find('=');
  if (eq == std::string_view::npos) {
    // A lone token is a value without a name, as browsers take it.
    c.value = std::string(pair);
  } else {
    c.name = std::string(Trim(pair.substr(0, eq)));
    c.value = std::string(Trim(pair.substr(eq + 1)));
  }
  if (c.name.empty() && c.value.empty()) return std::nullopt;

  std::optional<std::int64_t> max_age_expiry, expires;
  std::string domain_attr;
  bool have_path = false;
  while (semi != std::string_view::npos) {
    std::size_t next = field.find(';', semi + 1);
    std::string_view attr = Trim(
        field.substr(semi + 1, next == std::string_view::npos ? std::string_view::npos : next - semi - 1));
    semi = next;
    const std::size_t aeq = attr.find('=');
    const std::string key = values::AsciiLower(Trim(attr.substr(0, aeq)));
    const std::string_view value =
        aeq == std::string_view::npos ? std::string_view() : Trim(attr.substr(aeq + 1));
    if (key == "domain") {
      std::string d = values::AsciiLower(value);
      while (!d.empty() && d.front() == '.') d.erase(0, 1);
      domain_attr = d;
    } else if (key == "path") {
      if (!value.empty() && value[0] == '/') {
        c.path = std::string(value);
        have_path = true;
      }
    } else if (key == "expires") {
      if (auto t = ParseCookieDate(value)) expires = *t;
    } else if (key == "max-age") {
      std::int64_t secs = 0;
      bool neg = !value.empty() && value[0] == '-';
      auto v = neg ? value.substr(1) : value;
      auto res = std::from_chars(v.data(), v.data() + v.size(), secs);
      if (res.ec == std::errc() && res.ptr == v.data() + v.size() && !v.empty())
        max_age_expiry = neg || secs == 0 ? std::numeric_limits<std::int64_t>::min() : now + secs;
    } else if (key == "secure") {
      c.secure = true;
    } else if (key == "httponly") {
      c.http_only = true;
    }
  }
  if (max_age_expiry)
    c.expires = *max_age_expiry;
  else if (expires)
    c.expires = *expires;
  if (!have_path) c.path = DefaultPath(url);
  if (domain_attr.empty()) {
    c.domain = host;
    c.host_only = true;
  } else {
    c.domain = domain_attr;
    c.host_only = false;
    // A server may set cookies for its own domain and its parents, never for a sibling,
    // and an address is only ever its own domain.
    if (host != domain_attr && (IsAddress(host) || !CookieDomainMatches(host, c))) return std::nullopt;
    // A bare top-level name would share the cookie with every site under it.
    if (domain_attr.find('.') == std::string::npos && domain_attr != host) return std::nullopt;
  }
  return c;
}

void CookieJar::Set(Cookie cookie, std::int64_t now) {
  std::lock_guard lock(mutex_);
  auto same = [&](const Entry& e) {
    return e.cookie.name == cookie.name && e.cookie.domain == cookie.domain && e.cookie.path == cookie.path;
  };
  auto it = std::find_if(entries_.begin(), entries_.end(), same);
  const bool expired = cookie.expires && *cookie.expires <= now;
  if (it != entries_.end()) {
    if (expired) {
      entries_.erase(it);
    } else {
      it->cookie = std::move(cookie);  // keeps its creation order
    }
    return;
  }
  if (!expired) entries_.push_back({std::move(cookie), next_serial_++});
}

std::vector<Cookie> CookieJar::SetFromResponse(const std::vector<std::string>& fields, const values::Url& url,
                                               std::int64_t now) {
  std::vector<Cookie> stored;
  for (const std::string& f : fields) {
    if (auto c = ParseSetCookie(f, url, now)) {
      Set(*c, now);
      stored.push_back(std::move(*c));
    }
  }
  return stored;
}

std::vector<Cookie> CookieJar::CookiesForUrl(const values::Url& url, std::int64_t now) const {
  const values::Url abs = url.Absolute();
  auto host = abs.Host();
  if (!host) return {};
  const bool secure = values::AsciiLower(abs.Scheme()) == "https";
  std::string path = abs.Path();
  if (path.empty()) path.push_back('/');
  std::vector<const Entry*> hits;
  std::lock_guard lock(mutex_);
  for (const Entry& e : entries_) {
    const Cookie& c = e.cookie;
    if (c.expires && *c.expires <= now) continue;
    if (c.secure && !secure) continue;
    if (!CookieDomainMatches(*host, c) || !CookiePathMatches(path, c.path)) continue;
    hits.push_back(&e);
  }
  std::stable_sort(hits.begin(), hits.end(), [](const Entry* a, const Entry* b) {
    if (a->cookie.path.size() != b->cookie.path.size()) return a->cookie.path.size() > b->cookie.path.size();
    return a->created < b->created;
  });
  std::vector<Cookie> out;
  for (const Entry* e : hits) out.push_back(e->cookie);
  return out;
}

std::vector<Cookie> CookieJar::AllCookies() const {
  std::lock_guard lock(mutex_);
  std::vector<Cookie> out;
  for (const Entry& e : entries_) out.push_back(e.cookie);
  return out;
}

void CookieJar::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace net
