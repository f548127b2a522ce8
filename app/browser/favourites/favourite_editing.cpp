#include "app/browser/favourites/favourite_editing.h"

namespace browser {
namespace {

std::string Trimmed(const std::string& text) {
  const char* space = " \t\r\n";
  const std::size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string WithoutScheme(std::string text) {
  for (const char* scheme : {"ftp://", "ftps://", "http://", "https://"}) {
    if (text.starts_with(scheme)) return text.substr(std::string(scheme).size());
  }
  return text;
}

FavouriteEditForm Form(int tag, std::string host, std::string path) {
  FavouriteEditForm form;
  form.tag = tag;
  form.host = std::move(host);
  form.path = std::move(path);
  return form;
}

}  // namespace

std::optional<ProtocolLayout> AdjustForProtocolTag(int tag) {
  ProtocolLayout l;
  l.serverLabel = "Server:";
  switch (tag) {
    case 1:
      l.pathEnabled = false;
      l.pathLabelDimmed = true;
      l.image = "tricon";
      return l;
    case 2:
    case 3:
    case 6:
    case 7:
      l.image = tag == 2 ? "ftp" : tag == 3 ? "ftp_ssl" : tag == 6 ? "webdav" : "webdav_ssl";
      return l;
    case 4:
      l.serverLabel = "iDisk Name:";
      l.userEnabled = false;
      l.userEmptied = true;
      l.userLabelDimmed = true;
      l.image = "idisk";
      return l;
    case 5:
      l.serverLabel = "iDisk Name:";
      l.userEnabled = false;
      l.userEmptied = true;
      l.passwordEmptied = true;
      l.pathEnabled = false;
      l.pathEmptied = true;
      l.userLabelDimmed = true;
      l.pathLabelDimmed = true;
      l.image = "publicIdisk";
      return l;
    default:
      return std::nullopt;
  }
}

FavouriteEditForm FavouriteEditFormFor(const TRFavourite& f) {
  FavouriteEditForm form;
  const std::string address = f.address();
  std::string scheme;
  for (const char* s : {"ftp://", "ftps://", "http://", "https://"}) {
    if (address.starts_with(s)) scheme = s;
  }
  const std::string rest = address.substr(scheme.size());
  const std::size_t slash = rest.find('/');
  const std::string server = rest.substr(0, slash);
  const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
  switch (f.hostType()) {
    case kHostFTP:
      form = Form(2, "ftp://" + server, path);
      break;
    case kHostFTPS:
      form = Form(3, "ftps://" + server, path);
      break;
    case kHostWebDAV:
      form = Form(6, "http://" + server, path);
      break;
    case kHostSecureWebDAV:
      form = Form(7, "https://" + server, path);
      break;
    case kHostPeerByAddress:
      form = Form(1, server, "");
      break;
    case kHostIDisk:
      if (server.ends_with("-Public")) {
        form = Form(5, server.substr(0, server.size() - 7), "");
      } else {
        form = Form(4, server, path);
      }
      break;
    default:
      form.host = address;
      form.tag = scheme == "ftp://" ? 2 : scheme == "ftps://" ? 3 : 1;
      if (form.tag == 1) form.path.clear();
      break;
  }
  form.name = f.name();
  if (f.hostType() != kHostIDisk) form.user = f.user().value_or("");
  form.password = f.password();
  form.localPath = f.localPath();
  return form;
}

bool ApplyFavouriteEdit(const FavouriteRef& f, FavouriteEditForm form) {
  if (!f) return false;
  std::string host = Trimmed(form.host);
  std::string user = Trimmed(form.user);
  std::string path = Trimmed(form.path);
  if (form.name != f->name()) {
    if (FavouriteFindByName(form.name)) return false;
    if (!RenameFavourite(f, form.name)) return false;
  }
  host = WithoutScheme(host);
  if (path.empty() || path.front() != '/') path.insert(0, "/");
  std::string server = host;
  if (!server.empty() && server.back() == '/') server.pop_back();
  std::string address;
  std::int32_t type = f->hostType();
  switch (form.tag) {
    case 2:
      address = "ftp://" + server + path;
      type = kHostFTP;
      break;
    case 3:
      address = "ftps://" + server + path;
      type = kHostFTPS;
      break;
    case 6:
      address = "http://" + server + path;
      type = kHostWebDAV;
      break;
    case 7:
      address = "https://" + server + path;
      type = kHostSecureWebDAV;
      break;
    case 4:
      address = host + path;
      type = kHostIDisk;
      user = host;
      break;
    case 5:
      address = (host.ends_with("-Public") ? host : host + "-Public") + path;
      type = kHostIDisk;
      user = "public";
      break;
    default:
      address = host;
      if (type != kHostBonjourPeer) type = kHostPeerByAddress;
      break;
  }
  f->setLocalPath(form.localPath);
  f->setUser(user);
  f->setAddress(address);
  f->setHostType(type);
  f->setPassword(form.password);
  SaveFavourites();
  return true;
}

}  // namespace browser
