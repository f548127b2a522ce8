#include "app/browser/ftp/upload_refresh.h"

#include <algorithm>
#include <cctype>

#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_list.h"

namespace browser {
namespace {

constexpr std::int32_t kFTPHostType = 1;
constexpr std::int32_t kFTPSHostType = 4;

bool SameHostIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string WithoutFTPScheme(const std::string& host) {
  for (const char* scheme : {"ftp://", "ftps://"})
    if (host.rfind(scheme, 0) == 0) return host.substr(std::string(scheme).size());
  return host;
}

FTPNodeRef RootOfHost(std::uint32_t ftpHostID) {
  for (const FTPNodeRef& root : CopyFTPRootNodes())
    if (root->ftpHostID() == ftpHostID) return root;
  return nullptr;
}

// The child folder of that name in the node's last listing.
FTPNodeRef ChildFolder(const FTPNode& node, const std::string& name) {
  if (!node.items()) return nullptr;
  for (const FTPItem& item : *node.items())
    if (item.node && item.node->nameRef() == name) return item.node;
  return nullptr;
}

}  // namespace

std::vector<std::string> UploadPathComponents(const std::string& path) {
  std::string p = path;
  // The browser hands its uploads paths from the server's root as an escaped "/".
  if (p.size() >= 3 && p[0] == '%' && p[1] == '2' && (p[2] == 'F' || p[2] == 'f')) p = "/" + p.substr(3);
  if (p.empty() || p.front() != '/') p = "/" + p;
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p == "/") return {""};
  std::vector<std::string> components;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = p.find('/', start);
    components.push_back(p.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return components;
}

int RefreshBrowsersAfterUpload(std::int32_t hostType, const std::string& host,
                               const std::string& uploadPath) {
  if (hostType != kFTPHostType && hostType != kFTPSHostType) return 0;
  const std::string server = WithoutFTPScheme(host);
  const std::vector<std::string> target = UploadPathComponents(uploadPath);
  int refreshed = 0;
  for (std::size_t i = 0; i < GetHostCount(); ++i) {
    const HostRef h = GetHostAtIndex(i);
    if (!h || h->type != hostType) continue;
    FTPNodeRef node = RootOfHost(h->ftpHostID);
    if (!node || !node->items() || !SameHostIgnoringCase(node->host(), server)) continue;
    const std::vector<std::string> start = UploadPathComponents(node->path());
    if (start.size() > target.size() || !std::equal(start.begin(), start.end(), target.begin())) continue;
    // Down through the listed folders towards the upload's folder; all of it must be there.
    bool found = true;
    for (std::size_t c = start.size(); c < target.size() && found; ++c) {
      FTPNodeRef child = ChildFolder(*node, target[c]);
      if (child)
        node = child;
      else
        found = false;
    }
    if (!found) continue;
    node->refresh();
    ++refreshed;
  }
  return refreshed;
}

}  // namespace browser
