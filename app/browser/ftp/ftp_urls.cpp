#include "app/browser/ftp/ftp_urls.h"

#include "platform/values/url.h"
#include "platform/values/url_escape.h"

namespace browser {

std::optional<std::string> FTPFolderURL(const std::string& host, const std::string& path, bool secure,
                                        bool absolutize) {
  std::string p = path;
  if (p.empty() || p.back() != '/') p += '/';
  auto escaped = values::PercentEscape(p, {}, ";?#");
  if (!escaped) return std::nullopt;
  std::string result = *escaped;
  if (absolutize) {
    if (!result.empty() && result.front() == '/') result.erase(0, 1);
    result.insert(0, "%2F");
  }
  const std::string scheme = secure ? "ftps://" : "ftp://";
  std::string url = result == "/" ? scheme + host : scheme + host + "/" + result;
  if (!values::Url::Create(url)) return std::nullopt;
  return url;
}

std::optional<std::string> FTPFileURL(const std::string& folderURL, const std::string& name) {
  auto escaped = values::PercentEscape(name, {}, ";?#/");
  if (!escaped) return std::nullopt;
  std::string url = folderURL;
  if (url.empty() || url.back() != '/') url += '/';
  url += *escaped;
  if (auto at = url.find("/%2F/"); at != std::string::npos) url.erase(at + 4, 1);
  if (!values::Url::Create(url)) return std::nullopt;
  return url;
}

}  // namespace browser
