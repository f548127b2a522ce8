#include "platform/net/proxy_settings.h"

#include "platform/values/ascii.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/values/url_escape.h"

namespace net {

namespace {

bool IsLoopback(const std::string& host) {
  if (host == "localhost" || host.ends_with(".localhost") || host == "::1") return true;
  in_addr a{};
  return inet_pton(AF_INET, host.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

std::optional<ProxyServer> ParseProxyValue(std::string text, int default_port) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (text.empty()) return std::nullopt;
  if (text.find("://") == std::string::npos) text = "http://" + text;
  auto url = values::Url::Create(text);
  if (!url) return std::nullopt;
  auto host = url->Host();
  if (!host || host->empty()) return std::nullopt;
  ProxyServer p;
  p.host = *host;
  p.port = url->Port() > 0 ? url->Port() : default_port;
  if (auto u = url->User()) p.user = *u;
  if (auto pw = url->Password()) p.password = *pw;
  return p;
}

std::optional<ProxyServer> FromDictionary(const values::Dictionary& d, const char* prefix) {
  auto get = [&](const std::string& key) -> const values::Value* {
    auto it = d.find(key);
    return it == d.end() ? nullptr : &it->second;
  };
  const std::string p(prefix);
  const values::Value* enable = get(p + "Enable");
  const values::Value* host = get(p + "Proxy");
  if (!enable || !enable->BoolOr(false) || !host || host->StringOr("").empty()) return std::nullopt;
  ProxyServer s;
  s.host = host->StringOr("");
  const values::Value* port = get(p + "Port");
  s.port = port ? static_cast<int>(port->Int64Or(0)) : 0;
  if (s.port <= 0) s.port = 8080;
  return s;
}

}  // namespace

bool ProxySettings::IsException(std::string_view host_in) const {
  const std::string host = values::AsciiLower(host_in);
  if (IsLoopback(host)) return true;
  for (std::string e : exceptions) {
    e = values::AsciiLower(e);
    while (!e.empty() && e.back() == ' ') e.pop_back();
    while (!e.empty() && e.front() == ' ') e.erase(0, 1);
    if (e.empty()) continue;
    if (e == "*") return true;
    if (e.starts_with("*.")) e.erase(0, 1);
    if (e.front() == '.') e.erase(0, 1);
    // "host:port" entries name the host for every port.
    if (auto colon = e.rfind(':'); colon != std::string::npos && e.find(':') == colon) e.resize(colon);
    if (host == e || (host.size() > e.size() && host.ends_with(e) && host[host.size() - e.size() - 1] == '.'))
      return true;
  }
  return false;
}

std::optional<ProxyServer> ProxySettings::ProxyFor(const values::Url& url) const {
  const values::Url abs = url.Absolute();
  auto host = abs.Host();
  if (!host || IsException(*host)) return std::nullopt;
  const std::string scheme = values::AsciiLower(abs.Scheme());
  if (scheme == "http") return http;
  if (scheme == "https") return https;
  if (scheme == "ftp" || scheme == "ftps") return ftp;
  return std::nullopt;
}

values::Dictionary ProxySettings::ToDictionary() const {
  values::Dictionary d;
  auto put = [&](const char* prefix, const std::optional<ProxyServer>& s) {
    const std::string p(prefix);
    d[p + "Enable"] = values::Value(s ? 1 : 0);
    if (s) {
      d[p + "Proxy"] = values::Value(s->host);
      d[p + "Port"] = values::Value(s->port);
    }
  };
  put("HTTP", http);
  put("HTTPS", https);
  put("FTP", ftp);
  d["FTPPassive"] = values::Value(ftp_passive ? 1 : 0);
  values::Array ex;
  for (const auto& e : exceptions) ex.emplace_back(e);
  d["ExceptionsList"] = values::Value(std::move(ex));
  return d;
}

ProxySettings ProxySettingsFromEnvironment(
    const std::function<std::optional<std::string>(const char*)>& lookup_in) {
  auto lookup = [&](const char* name) -> std::optional<std::string> {
    if (lookup_in) return lookup_in(name);
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  // The lower-case name is the older convention and the one curl and wget read first.
  auto either = [&](const char* lower, const char* upper) {
    auto v = lookup(lower);
    return v && !v->empty() ? v : lookup(upper);
  };
  ProxySettings s;
  if (auto v = either("http_proxy", "HTTP_PROXY")) s.http = ParseProxyValue(*v, 80);
  if (auto v = either("https_proxy", "HTTPS_PROXY")) s.https = ParseProxyValue(*v, 80);
  if (auto v = either("ftp_proxy", "FTP_PROXY")) s.ftp = ParseProxyValue(*v, 80);
  if (auto v = either("no_proxy", "NO_PROXY")) {
    std::size_t b = 0;
    while (b <= v->size()) {
      std::size_t e = v->find(',', b);
      if (e == std::string::npos) e = v->size();
      std::string item = v->substr(b, e - b);
      if (!item.empty()) s.exceptions.push_back(item);
      b = e + 1;
    }
  }
  return s;
}

ProxySettings ProxySettingsFromDictionary(const values::Dictionary& d) {
  ProxySettings s;
  s.http = FromDictionary(d, "HTTP");
  s.https = FromDictionary(d, "HTTPS");
  s.ftp = FromDictionary(d, "FTP");
  if (auto it = d.find("FTPPassive"); it != d.end()) s.ftp_passive = it->second.BoolOr(true);
  if (auto it = d.find("ExceptionsList"); it != d.end())
    if (const values::Array* a = it->second.AsArray())
      for (const values::Value& v : *a)
        if (const std::string* str = v.AsString()) s.exceptions.push_back(*str);
  return s;
}

ProxySettingsSource& ProxySettingsSource::Shared() {
  static ProxySettingsSource source;
  return source;
}

ProxySettings ProxySettingsSource::Compute() const {
  return preferences_ ? ProxySettingsFromDictionary(*preferences_) : ProxySettingsFromEnvironment();
}

ProxySettings ProxySettingsSource::Current() const {
  std::lock_guard lock(mutex_);
  if (!loaded_) {
    auto* self = const_cast<ProxySettingsSource*>(this);
    self->current_ = Compute();
    self->loaded_ = true;
  }
  return current_;
}

void ProxySettingsSource::SetPreferenceDictionary(std::optional<values::Dictionary> dictionary) {
  {
    std::lock_guard lock(mutex_);
    preferences_ = std::move(dictionary);
  }
  Refresh();
}

void ProxySettingsSource::Refresh() {
  std::vector<Listener> to_call;
  ProxySettings now;
  {
    std::lock_guard lock(mutex_);
    now = Compute();
    const bool changed = !loaded_ || !(now == current_);
    current_ = now;
    loaded_ = true;
    if (!changed) return;
    for (auto& [id, l] : listeners_) to_call.push_back(l);
  }
  for (auto& l : to_call) l(now);
}

std::uint64_t ProxySettingsSource::AddListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listeners_.emplace_back(next_id_, std::move(listener));
  return next_id_++;
}

void ProxySettingsSource::RemoveListener(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  listeners_.erase(
      std::remove_if(listeners_.begin(), listeners_.end(), [&](auto& p) { return p.first == id; }),
      listeners_.end());
}

}  // namespace net
