#include "app/browser/favourites/connect_form.h"

#include "app/browser/favourites/favourites.h"
#include "app/browser/services/remote_rows.h"

namespace browser {
namespace {

constexpr const char* kBlanks = " \t\r\n";
constexpr const char* kPublicSuffix = "-Public";

std::string Cut(const std::string& text, const std::string& prefix) {
  return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

std::string WithoutTrailingSlash(std::string text) {
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

std::string WithLeadingSlash(std::string path) {
  if (path.empty() || path.front() != '/') path.insert(0, "/");
  return path;
}

// The scheme an address starts with, or "".
std::string SchemeOf(const std::string& address) {
  for (const char* scheme : {"ftps://", "ftp://", "https://", "http://"}) {
    if (address.starts_with(scheme)) return scheme;
  }
  return {};
}

struct ServerAndPath {
  std::string server;
  std::string path;
};

// Server and path of an address after its optional scheme; `noSlash` is the path when
// the address has no "/" there.
ServerAndPath SplitAddress(const std::string& address, const std::string& noSlash) {
  const std::string rest = address.substr(SchemeOf(address).size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos) return {rest, noSlash};
  return {rest.substr(0, slash), rest.substr(slash)};
}

// "member[-Public][/path]" as the online-disk tags show it.
ConnectForm IDiskForm(const std::string& location) {
  ConnectForm form;
  const ServerAndPath parts = SplitAddress(location, "/");
  if (parts.server.ends_with(kPublicSuffix)) {
    form.tag = 5;
    form.host = parts.server.substr(0, parts.server.size() - std::string(kPublicSuffix).size());
    return form;
  }
  form.tag = 4;
  form.host = parts.server;
  form.path = parts.path;
  return form;
}

}  // namespace

std::string TrimConnectField(const std::string& text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool HasConnectText(const std::string& text) {
  return text.find_first_not_of(kBlanks) != std::string::npos;
}

ConnectFavourite ConnectFavouriteFor(const TRFavourite& f) {
  return {f.name(), f.address(), f.hostType(), f.user().value_or(""), f.password(), f.localPath()};
}

ConnectForm ParseConnectPreFill(const std::string& preFill) {
  static constexpr struct {
    const char* scheme;
    int tag;
  } kSchemes[] = {{"ftp://", 2}, {"ftps://", 3}, {"http://", 6}, {"https://", 7}};
  for (const auto& s : kSchemes) {
    if (!preFill.starts_with(s.scheme)) continue;
    ConnectForm form;
    const ServerAndPath parts = SplitAddress(preFill, "/");
    form.tag = s.tag;
    form.host = parts.server;
    form.path = parts.path;
    return form;
  }
  if (preFill.starts_with("idisk://")) return IDiskForm(preFill.substr(8));
  ConnectForm form;
  form.host = preFill;
  return form;
}

ConnectForm ConnectFormForFavourite(const ConnectFavourite& f) {
  ConnectForm form;
  const ServerAndPath parts = SplitAddress(f.host, "/");
  switch (f.hostType) {
    case kHostFTP:
    case kHostFTPS:
    case kHostWebDAV:
    case kHostSecureWebDAV:
      form.tag = f.hostType == kHostFTP ? 2 : f.hostType == kHostFTPS ? 3 : f.hostType == kHostWebDAV ? 6 : 7;
      form.host = parts.server;
      form.path = parts.path;
      break;
    case kHostPeerByAddress:
      form.tag = 1;
      form.host = parts.server;
      break;
    case kHostIDisk:
      form = IDiskForm(f.host);
      break;
    default:
      form.host = f.host;
      if (f.host.starts_with("ftp://")) {
        form.tag = 2;
        form.path = parts.path;
      } else if (f.host.starts_with("ftps://")) {
        form.tag = 3;
        form.path = parts.path;
      } else {
        form.tag = 1;
      }
      break;
  }
  if (f.hostType != kHostIDisk) form.user = f.user;
  form.password = f.password;
  form.localPath = f.localPath;
  return form;
}

bool MatchesFavourite(const ConnectForm& form, const ConnectFavourite& f) {
  std::string address = f.host;
  if (address.ends_with(kPublicSuffix)) address.resize(address.size() - std::string(kPublicSuffix).size());
  const ServerAndPath parts = SplitAddress(address, "");
  const std::string path = TrimConnectField(form.path);
  return form.localPath == f.localPath && TrimConnectField(form.host) == parts.server &&
         (f.hostType == kHostIDisk || TrimConnectField(form.user) == f.user) && form.password == f.password &&
         (path == parts.path || (path.empty() && parts.path == "/"));
}

StoredFavouriteAddress StoredAddressForConnectForm(const ConnectForm& form) {
  const std::string host = TrimConnectField(form.host);
  const std::string user = TrimConnectField(form.user);
  const std::string path = WithLeadingSlash(TrimConnectField(form.path));
  switch (form.tag) {
    case 2:
      return {WithoutTrailingSlash(Cut(host, "ftp://")) + path, user, kHostFTP};
    case 3:
      return {WithoutTrailingSlash(Cut(host, "ftps://")) + path, user, kHostFTPS};
    case 6:
      return {WithoutTrailingSlash(Cut(host, "http://")) + path, user, kHostWebDAV};
    case 7:
      return {WithoutTrailingSlash(Cut(host, "https://")) + path, user, kHostSecureWebDAV};
    case 4:
      return {host + path, host, kHostIDisk};
    case 5:
      return {host.ends_with(kPublicSuffix) ? host : host + kPublicSuffix, "public", kHostIDisk};
    default:
      return {host, user, kHostPeerByAddress};
  }
}

std::optional<ConnectRequest> ConnectRequestForForm(const ConnectForm& form) {
  ConnectRequest r;
  r.tag = form.tag;
  r.host = Cut(Cut(TrimConnectField(form.host), "ftp://"), "ftps://");
  r.user = TrimConnectField(form.user);
  r.password = form.password;
  r.path = WithLeadingSlash(TrimConnectField(form.path));
  if (r.host.empty()) return std::nullopt;
  switch (form.tag) {
    case 1:
      if (r.host.find(':') == std::string::npos) r.host += ":2550";
      break;
    case 2:
      r.host = "ftp://" + WithoutTrailingSlash(r.host) + r.path;
      break;
    case 3:
      r.host = "ftps://" + WithoutTrailingSlash(r.host) + r.path;
      break;
    case 4:
      r.user = r.host;
      break;
    case 5:
      if (!r.host.ends_with(kPublicSuffix)) r.host += kPublicSuffix;
      r.user = "public";
      break;
    case 6:
    case 7:
      // The server alone: a scheme typed into the box is the tag's own.
      r.host = WithoutTrailingSlash(Cut(Cut(r.host, "http://"), "https://"));
      break;
    default:
      break;
  }
  return r;
}

ConnectDialogRequest ConnectDialogRequestForUpload(std::int32_t hostType, const std::string& host,
                                                   const std::string& uploadPath, const std::string& user,
                                                   const std::string& password) {
  ConnectDialogRequest r;
  std::string scheme;
  switch (hostType) {
    case kHostFTP:
      scheme = "ftp://";
      break;
    case kHostFTPS:
      scheme = "ftps://";
      break;
    case kHostWebDAV:
      scheme = "http://";
      break;
    case kHostSecureWebDAV:
      scheme = "https://";
      break;
    case kHostIDisk:
      r.preFill = "idisk:/" + uploadPath;
      r.password = password;
      return r;
    default:
      r.preFill = host.ends_with(":2551") ? host.substr(0, host.size() - 5) : host;
      r.user = user;
      r.password = password;
      return r;
  }
  r.preFill = (host.starts_with(scheme) ? host : scheme + host) + uploadPath;
  r.user = user;
  r.password = password;
  return r;
}

}  // namespace browser
