#include "app/browser/favourites/favourites.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/hosts/host_type_rank.h"
#include "app/browser/services/peer_connect_hooks.h"
#include "app/browser/services/stored_password_service.h"
#include "app/browser/stored_password_cipher.h"
#include "app/browser/webdav/dotmac_node.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/services/ui_services.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/string_compare.h"

namespace browser {
namespace {

// The legacy password field held at most this many bytes.
constexpr std::size_t kLegacyPasswordLimit = 127;

std::map<std::string, FavouriteRef>& Store() {
  static std::map<std::string, FavouriteRef> store;
  return store;
}

bool& Changed() {
  static bool changed = false;
  return changed;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return values::CompareStrings(a, b, values::kCaseInsensitive) == values::ComparisonResult::kEqualTo;
}

std::string StringOf(const values::Dictionary& d, const char* key) {
  auto it = d.find(key);
  if (it == d.end()) return {};
  const std::string* s = it->second.AsString();
  return s ? *s : std::string();
}

std::string Cut(std::string text, std::string_view prefix) {
  if (text.starts_with(prefix)) text.erase(0, prefix.size());
  return text;
}

// Text with every byte that is not part of valid UTF-8 as "?".
std::string ConvertibleUTF8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = n > 0 && i + n <= text.size();
    for (std::size_t k = 1; valid && k < n; ++k) valid = (static_cast<unsigned char>(text[i + k]) >> 6) == 2;
    if (!valid) {
      out += '?';
      ++i;
      continue;
    }
    out.append(text, i, n);
    i += n;
  }
  return out;
}

}  // namespace

TRFavourite::TRFavourite(const std::optional<std::string>& name, const std::string& address,
                         const std::string& user, const std::optional<std::string>& password,
                         std::int32_t hostType, const std::string& localPath)
    : hostType_(hostType), address_(address), localPath_(localPath) {
  if (hostType == kHostFTP) address_ = Cut(Cut(Cut(address_, "ftp://"), "http://"), "https://");
  if (hostType == kHostFTPS) address_ = Cut(address_, "ftps://");
  name_ = name ? *name : address;
  if (hostType == kHostPeerByAddress && address_.find(':') == std::string::npos) address_ += ":2550";
  if ((hostType == kHostFTP || hostType == kHostFTPS) && EqualsIgnoringCase(user, "anonymous") &&
      password.value_or("") == util::ReadSetting(util::kAnonymousFTPPasswordKey)) {
    return;
  }
  user_ = user;
  if ((hostType == kHostBonjourPeer || hostType == kHostPeerByAddress) && (user.empty() || user == "guest"))
    user_ = "Guest";
  password_ = password.value_or("");
}

std::string UnscrambleLegacyPassword(const values::Bytes& data) {
  std::string out;
  const std::size_t n = std::min(data.size(), kLegacyPasswordLimit);
  for (std::size_t i = 0; i < n; ++i)
    out += static_cast<char>(data[i] ^ static_cast<std::uint8_t>((23 + 17 * i) % 127));
  return out;
}

FavouriteRef TRFavourite::FromDictionary(const std::string& name, const values::Value& value, bool* legacy) {
  if (legacy) *legacy = false;
  const values::Dictionary* d = value.AsDictionary();
  if (!d) return nullptr;
  auto f = FavouriteRef(new TRFavourite());
  f->name_ = name;
  f->address_ = StringOf(*d, "address");
  f->user_ = StringOf(*d, "user");
  f->localPath_ = StringOf(*d, "localPath");
  auto edata = d->find("edata");
  auto data = d->find("data");
  if (edata != d->end() && edata->second.AsData()) {
    std::optional<values::Bytes> plain;
    if (!gStoredPasswordKeyOutOfReach)
      plain = StoredPasswordServiceSlot::Get().DecryptStoredPassword(edata->second.AsData()->bytes);
    if (plain) {
      f->password_.assign(plain->begin(), plain->end());
    } else {
      f->keptEdata_ = edata->second.AsData()->bytes;
    }
  } else if (data != d->end() && data->second.AsData()) {
    f->password_ = UnscrambleLegacyPassword(data->second.AsData()->bytes);
    if (legacy) *legacy = true;
  }
  auto type = d->find("hostType");
  if (type != d->end() && type->second.AsNumber()) {
    f->hostType_ = type->second.AsNumber()->AsInt32();
  } else {
    auto rendezvous = d->find("rendezvous");
    const bool r = rendezvous != d->end() && rendezvous->second.AsBool() && *rendezvous->second.AsBool();
    f->hostType_ = r ? kHostBonjourPeer : kHostPeerByAddress;
  }
  auto autoconnect = d->find("autoconnect");
  if (autoconnect != d->end() && autoconnect->second.AsBool())
    f->autoconnect_ = *autoconnect->second.AsBool();
  return f;
}

bool TRFavourite::publicIDisk() const {
  auto member = iDiskMemberName();
  return member && member->ends_with("-Public");
}

std::optional<std::string> TRFavourite::iDiskMemberName() const {
  if (hostType_ != kHostIDisk) return std::nullopt;
  return address_.substr(0, address_.find('/'));
}

int TRFavourite::compare(const TRFavourite& other) const {
  const int a = HostTypeRank(hostType_, WebDAVPlace::kLast),
            b = HostTypeRank(other.hostType_, WebDAVPlace::kLast);
  if (a != b) return a < b ? -1 : 1;
  return static_cast<int>(values::CompareStrings(name_, other.name_, values::kCaseInsensitive));
}

values::Dictionary TRFavourite::StoredEntry() const {
  values::Dictionary e;
  e.insert_or_assign("address", values::Value(address_));
  e.insert_or_assign("user", values::Value(user_));
  e.insert_or_assign("localPath", values::Value(localPath_));
  e.insert_or_assign("hostType", values::Value(static_cast<int>(hostType_)));
  e.insert_or_assign("rendezvous", values::Value(hostType_ == kHostBonjourPeer));
  e.insert_or_assign("autoconnect", values::Value(autoconnect_));
  if (password_.empty() && keptEdata_) e.insert_or_assign("edata", values::Value(values::Data{*keptEdata_}));
  if (!password_.empty()) {
    const std::string text = ConvertibleUTF8(password_);
    if (auto enciphered =
            StoredPasswordServiceSlot::Get().EncryptStoredPassword(values::Bytes(text.begin(), text.end()))) {
      e.insert_or_assign("edata", values::Value(values::Data{std::move(*enciphered)}));
    } else {
      // Never in clear: the password lives for this run only. Said once per favourite.
      static std::set<std::string> told;
      if (told.insert(name_).second)
        std::fprintf(stderr,
                     "The password of the favourite %s cannot be saved: no key for stored passwords\n",
                     name_.c_str());
    }
  }
  return e;
}

FavouriteRef FavouriteFindByName(const std::string& name) {
  auto it = Store().find(name);
  return it == Store().end() ? nullptr : it->second;
}

void SetFavouriteForName(const FavouriteRef& favourite, const std::string& name) {
  if (favourite) Store()[name] = favourite;
}

void RemoveFavouriteForName(const std::string& name) {
  FavouriteRef f = FavouriteFindByName(name);
  if (!f) return;
  if (f->connected() && f->connectionID()) {
    if (f->hostType() == kHostFTP || f->hostType() == kHostFTPS) {
      if (FTPNodeRef root = FTPNodeForHostID(*f->connectionID())) root->setFavourite(std::nullopt);
    }
  }
  Store().erase(name);
}

std::vector<FavouriteRef> CopyFavouritesInStore() {
  std::vector<FavouriteRef> out;
  for (auto& [name, f] : Store()) out.push_back(f);
  return out;
}

std::vector<FavouriteRef> CopySortedFavourites() {
  auto out = CopyFavouritesInStore();
  std::stable_sort(out.begin(), out.end(),
                   [](const FavouriteRef& a, const FavouriteRef& b) { return a->compare(*b) < 0; });
  return out;
}

std::string CopyUniqueFavouriteName(const std::string& base) {
  if (!FavouriteFindByName(base)) return base;
  for (unsigned n = 1;; ++n) {
    std::string name = base + " " + std::to_string(n);
    if (!FavouriteFindByName(name)) return name;
  }
}

FavouriteRef AddFavourite(const std::string& name, const std::string& address, const std::string& user,
                          const std::string& password, std::int32_t hostType, const std::string& localPath) {
  auto f = std::make_shared<TRFavourite>(name, address, user, password, hostType, localPath);
  SetFavouriteForName(f, name);
  SaveFavourites();
  return f;
}

bool RenameFavourite(const FavouriteRef& f, const std::string& name) {
  if (!f || name.empty() || FavouriteFindByName(name)) return false;
  const std::string old = f->name();
  // Dropped from the store without unlinking: the connection moves to the new name.
  Store().erase(old);
  f->setName(name);
  Store()[name] = f;
  if (f->connected() && f->connectionID() && (f->hostType() == kHostFTP || f->hostType() == kHostFTPS)) {
    if (FTPNodeRef root = FTPNodeForHostID(*f->connectionID())) root->setFavourite(name);
  }
  SaveFavourites();
  return true;
}

bool AddFavouriteFromPreference(const std::string& name, const values::Value& entry) {
  bool legacy = false;
  FavouriteRef f = TRFavourite::FromDictionary(name, entry, &legacy);
  if (!f) return false;
  Store()[name] = f;
  if (legacy) Changed() = true;
  return legacy;
}

values::Dictionary CopyFavouritesPreferenceDictionary() {
  values::Dictionary d;
  // Keyed by each favourite's own name.
  for (auto& [key, f] : Store()) d.insert_or_assign(f->name(), values::Value(f->StoredEntry()));
  Changed() = false;
  return d;
}

void SaveFavourites() {
  util::WriteSetting(util::kFavouritesKey, values::Value(CopyFavouritesPreferenceDictionary()));
  util::SynchronizeSettings();
}

void MarkFavouritesChanged() {
  Changed() = true;
}

bool FavouritesChanged() {
  return Changed();
}

FavouriteRef FavouriteDuplicate(const FavouriteRef& f) {
  if (!f) return nullptr;
  const std::string base = f->name();
  std::string name;
  if (base.ends_with(" copy")) {
    for (unsigned n = 1; name.empty() || FavouriteFindByName(name); ++n)
      name = base + " " + std::to_string(n);
  } else {
    name = base + " copy";
    for (unsigned n = 1; FavouriteFindByName(name); ++n) name = base + " copy " + std::to_string(n);
  }
  return AddFavourite(name, f->address(), f->user().value_or(""), f->password(), f->hostType(),
                      f->localPath());
}

std::optional<std::string> FindFavouriteNameForLogin(const std::string& address, const std::string& user,
                                                     const std::string& password) {
  const std::string wanted = user.empty() || user == "guest" ? "Guest" : user;
  for (auto& [name, f] : Store()) {
    if (f->password().empty()) continue;
    if (f->address() == address && f->user() == wanted && f->password() == password) return f->name();
  }
  return std::nullopt;
}

std::optional<std::string> FindFavouriteNameForHost(const std::string& address, const std::string& user,
                                                    const std::string& password, std::int32_t hostType) {
  for (auto& [name, f] : Store()) {
    if (f->hostType() != hostType || f->address() != address) continue;
    if (f->user().value_or("") != user) continue;
    if (!f->password().empty() && f->password() != password) continue;
    return f->name();
  }
  return std::nullopt;
}

bool FavouriteConnect(const FavouriteRef& f, bool silent) {
  if (!f) return false;
  if (f->connected()) return true;
  switch (f->hostType()) {
    case kHostFTP:
    case kHostFTPS: {
      auto root = ConnectFTPServer(f->address(), f->user().value_or(""), f->password(), f->name(),
                                   f->hostType() == kHostFTPS);
      if (!root) return false;
      const int index = FindFTPHostIndex(root->ftpHostID());
      if (index >= 0) HostSetLocalFolderPath(GetHostAtIndex(static_cast<std::size_t>(index)), f->localPath());
      return true;
    }
    case kHostPeerByAddress:
      return sharing::PeerHostsServiceSlot::Get().ConnectToSharingPeerSilently(
                 f->address(), f->user().value_or(""), f->password()) >= 0;
    case kHostBonjourPeer: {
      auto peer = sharing::SharingRowsServiceSlot::Get().PeerForBonjourName(f->address());
      auto& ui = ui::UiServicesSlot::Get();
      if (!peer) {
        if (!silent)
          ui.RunStandardAlert(
              ui::AlertType::kNote,
              values::Format(values::Localized("The computer named %@ could not be found on the network."),
                             {f->address()}),
              std::nullopt);
        return false;
      }
      if (auto session = peer->connection()) {
        ui.RunStandardAlert(
            ui::AlertType::kNote,
            values::Format(values::Localized("You are already connected to %@ as %@. You need to "
                                             "disconnect first in order to re-establish a new "
                                             "connection to %@."),
                           {peer->serviceName(), session->user(), peer->serviceName()}),
            std::nullopt);
        return false;
      }
      const auto& connect = PeerConnectHooksSlot::Get().connectBonjourPeer;
      return connect && connect(f->address(), f->user().value_or(""), f->password(), f->name(), silent);
    }
    case kHostWebDAV:
    case kHostSecureWebDAV: {
      // "http://server[:port]/path": the server and the folder the tree opens at.
      std::string rest = f->address();
      if (rest.starts_with("http://")) rest.erase(0, 7);
      if (rest.starts_with("https://")) rest.erase(0, 8);
      const std::size_t slash = rest.find('/');
      const std::string server = rest.substr(0, slash);
      const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
      return DotMacNode::connectToWebDAVServer(server, f->user().value_or(""), f->password(), path, f->name(),
                                               f->hostType() == kHostSecureWebDAV) != nullptr;
    }
    case kHostIDisk: {
      // "member[/path]"; a public disk is read as the user "public", and a disk whose user
      // is not given is its owner's.
      const std::string& address = f->address();
      const std::size_t slash = address.find('/');
      const std::string member = address.substr(0, slash);
      const std::string path = slash == std::string::npos ? "/" : address.substr(slash);
      std::string user = f->user().value_or("");
      if (member.ends_with("-Public")) {
        user = "public";
      } else if (user.empty()) {
        user = member;
      }
      return DotMacNode::connectToIdisk(member, user, f->password(), path, f->name()) != nullptr;
    }
    default:
      return false;
  }
}

void ConnectAutoconnectFavourites() {
  for (const FavouriteRef& f : CopySortedFavourites())
    if (f->autoConnect()) FavouriteConnect(f, true);
}

void FavouriteMarkConnected(const std::string& name, std::uint32_t id) {
  if (FavouriteRef f = FavouriteFindByName(name)) {
    f->setConnected(true);
    f->setConnectionID(id);
  }
}

void FavouriteMarkDisconnected(const std::string& name) {
  if (FavouriteRef f = FavouriteFindByName(name)) {
    f->setConnected(false);
    f->setConnectionID(std::nullopt);
  }
}

void ClearFavourites() {
  Store().clear();
  Changed() = false;
}

}  // namespace browser
