#include "app/engine/http/http_request_builder.h"

#include "app/browser/services/auth_items_service.h"
#include "app/engine/http/http_header_values.h"
#include "app/engine/urls/url_entries.h"

namespace engine {

namespace {

const values::Value* EntryValue(const values::Value* entry, const char* key) {
  return entry ? entry->Find(key) : nullptr;
}

std::optional<std::string> EntryString(const values::Value* entry, const char* key) {
  const values::Value* v = EntryValue(entry, key);
  if (v == nullptr || !v->IsString()) return std::nullopt;
  return *v->AsString();
}

std::string LookupPath(const values::Url& url) {
  std::string path = url.Path();
  if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
  if (path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace

std::optional<HttpCredentials> ResolveHttpCredentials(const values::Url& url,
                                                      const std::optional<std::string>& downloadUser,
                                                      const std::optional<std::string>& downloadPassword) {
  if (downloadUser && downloadPassword) return HttpCredentials{*downloadUser, *downloadPassword};
  if (auto user = url.User()) return HttpCredentials{*user, url.Password().value_or("")};
  const auto host = url.Host();
  if (!host) return std::nullopt;
  const bool https = AsciiLower(url.Scheme()) == "https";
  const int port = url.Port() > 0 ? url.Port() : (https ? 443 : 80);
  const auto item = browser::AuthItemsServiceSlot::Get().FindAuthItem(
      *host + ":" + std::to_string(port), LookupPath(url),
      https ? browser::kAuthItemTypeHTTPS : browser::kAuthItemTypeOther);
  if (!item) return std::nullopt;
  return HttpCredentials{item->user, item->password};
}

HttpRequestBuild BuildHttpRequest(const HttpRequestInput& input) {
  HttpRequestBuild out;
  const values::Value* entry = input.entry;
  const values::Value* form = EntryValue(entry, kEntryFormData);
  const bool post = form != nullptr && form->IsData();
  net::HttpRequest request(post ? "POST" : "GET", input.url);
  if (post) {
    const auto& bytes = form->AsData()->bytes;
    request.SetBody(std::string(bytes.begin(), bytes.end()));
    request.SetHeader("Content-Type", "application/x-www-form-urlencoded");
    request.SetHeader("Content-Length", std::to_string(bytes.size()));
  }
  if (auto referer = EntryString(entry, "referer"); referer && !referer->empty()) {
    request.SetHeader("Referer", *referer);
  }

  if (input.authentication) {
    const auto credentials = ResolveHttpCredentials(input.url, input.user, input.password);
    if (!credentials ||
        !input.authentication->ApplyCredentials(request, credentials->user, credentials->password)) {
      return out;
    }
  }

  const values::Value* own = EntryValue(entry, kEntryCookie);
  const CookieDictionary* ownCookies = (own && own->IsDictionary()) ? own->AsDictionary() : nullptr;
  const bool ownWins = entry && EntryFlag(*entry, kEntryJavaScriptPriority);
  out.cookies = CopyCookiesForURL(input.url, ownCookies, ownWins);
  if (auto header = CookieHeaderFromDictionary(out.cookies)) request.SetHeader("Cookie", *header);

  request.SetHeader("Accept-Language", "*");
  if (input.range.location != 0) {
    if (entry && EntryFlag(*entry, kEntryUseIfRange)) {
      if (auto date = EntryString(entry, kEntryDateString); date && !date->empty()) {
        request.SetHeader("If-Range", *date);
      } else if (auto etag = EntryString(entry, kEntryETag);
                 etag && !etag->empty() && !etag->starts_with("W/")) {
        request.SetHeader("If-Range", *etag);
      }
    }
    request.SetHeader("Range", "bytes=" + std::to_string(input.range.location) + "-");
  }
  if (!input.userAgent.empty()) request.SetHeader("User-Agent", input.userAgent);
  request.SetHeader("Accept", "*/*");
  request.SetHeader("Accept-Encoding", "identity");

  if (input.proxyAuthentication) {
    const ProxyCredentials proxy = CopyHTTPProxyCredentials();
    if (proxy.user && proxy.password)
      input.proxyAuthentication->ApplyCredentials(request, *proxy.user, *proxy.password);
  }
  out.request = std::move(request);
  return out;
}

}  // namespace engine
