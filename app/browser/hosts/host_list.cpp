#include "app/browser/hosts/host_list.h"

#include <algorithm>
#include <filesystem>

#include "app/browser/favourites/favourites.h"
#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_type_rank.h"
#include "app/browser/webdav/dotmac_node.h"
#include "app/ui/services/source_list_rows.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/fourcc.h"
#include "platform/values/string_compare.h"

namespace browser {
namespace {

std::vector<HostRef>& Hosts() {
  static std::vector<HostRef> hosts;
  return hosts;
}

std::int32_t TypeClass(std::int32_t type) {
  return type == kHostFTPS ? kHostFTP : type;
}

void Append(HostRef host) {
  // Rows past 4095 would collide with the other views' ids.
  if (Hosts().size() > kLastHostViewID - kFirstHostViewID) return;
  Hosts().push_back(std::move(host));
  const auto viewID = static_cast<std::uint32_t>(kFirstHostViewID + Hosts().size() - 1);
  ui::SourceListRowsServiceSlot::Get().AddHostRow(viewID);
}

template <class Match>
void RemoveFirst(Match match) {
  auto& hosts = Hosts();
  auto it = std::find_if(hosts.begin(), hosts.end(), [&](const HostRef& h) { return match(*h); });
  if (it == hosts.end()) return;
  hosts.erase(it);
  UpdateHostRows();
  ui::SourceListRowsServiceSlot::Get().RemoveHostRow(
      static_cast<std::uint32_t>(kFirstHostViewID + hosts.size()));
}

template <class Match>
int FindIndex(Match match) {
  auto& hosts = Hosts();
  for (std::size_t i = 0; i < hosts.size(); ++i)
    if (match(*hosts[i])) return static_cast<int>(i);
  return -1;
}

std::uint32_t Code(const char (&s)[5]) {
  return values::FourCC(s);
}

}  // namespace

bool Host::usingSplitPanes() const {
  if (viewType == 1) return true;
  if (viewType == 2) return false;
  return util::ReadSetting(util::kSplitPanesKey);
}

std::string Host::copyPath() const {
  switch (type) {
    case kHostFTP:
    case kHostFTPS:
      if (FTPNodeRef root = FTPNodeForHostID(ftpHostID)) {
        const std::string path = root->path();
        if (path.empty()) return root->host();
        return root->host() + "/" + path;
      }
      return {};
    case kHostBonjourPeer:
    case kHostPeerByAddress:
      return label;
    default:
      return {};
  }
}

int HostCompare(const Host& a, const Host& b) {
  const std::int32_t ta = TypeClass(a.type), tb = TypeClass(b.type);
  if (ta == tb) {
    return static_cast<int>(values::CompareStrings(a.label, b.label, values::kCaseInsensitive));
  }
  const int ra = HostTypeRank(ta, WebDAVPlace::kFirst), rb = HostTypeRank(tb, WebDAVPlace::kFirst);
  if (ra != rb) return ra < rb ? -1 : 1;
  return ta < tb ? -1 : 1;
}

void AddFTPHost(std::uint32_t ftpHostID, bool secure) {
  auto h = std::make_shared<Host>();
  h->type = secure ? kHostFTPS : kHostFTP;
  h->ftpHostID = ftpHostID;
  if (FTPNodeRef root = FTPNodeForHostID(ftpHostID)) h->label = root->name();
  Append(std::move(h));
}

void AddBonjourPeerHost(const std::string& serviceName) {
  auto h = std::make_shared<Host>();
  h->type = kHostBonjourPeer;
  h->rendezvousName = serviceName;
  h->label = serviceName;
  Append(std::move(h));
}

std::size_t AddPeerHost(std::uint32_t hostID, const std::optional<std::string>& localFolder) {
  if (int i = FindPeerHostIndex(hostID); i >= 0) return static_cast<std::size_t>(i);
  auto h = std::make_shared<Host>();
  h->type = kHostPeerByAddress;
  h->hostID = hostID;
  if (localFolder && std::filesystem::is_directory(*localFolder)) h->localFolder = *localFolder;
  Append(std::move(h));
  return Hosts().size() - 1;
}

void AddWebDAVHost(std::uint32_t dotMacHostID, bool secure) {
  auto h = std::make_shared<Host>();
  h->type = secure ? kHostSecureWebDAV : kHostWebDAV;
  h->dotMacHostID = dotMacHostID;
  if (DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(dotMacHostID)) h->label = root->name();
  Append(std::move(h));
}

void AddIdiskHost(std::uint32_t dotMacHostID) {
  auto h = std::make_shared<Host>();
  h->type = kHostIDisk;
  h->dotMacHostID = dotMacHostID;
  if (DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(dotMacHostID)) h->label = root->name();
  Append(std::move(h));
}

void RemoveFTPHost(std::uint32_t id) {
  RemoveFirst(
      [id](const Host& h) { return (h.type == kHostFTP || h.type == kHostFTPS) && h.ftpHostID == id; });
}

void RemoveBonjourPeerHost(const std::string& name) {
  RemoveFirst([&](const Host& h) { return h.type == kHostBonjourPeer && h.rendezvousName == name; });
}

void RemovePeerHost(std::uint32_t id) {
  RemoveFirst([id](const Host& h) { return h.type == kHostPeerByAddress && h.hostID == id; });
}

void RemoveDotMacHost(std::uint32_t id) {
  RemoveFirst([id](const Host& h) { return h.type >= kHostIDisk && h.dotMacHostID == id; });
}

std::size_t GetHostCount() {
  return Hosts().size();
}

HostRef GetHostAtIndex(std::size_t index) {
  return index < Hosts().size() ? Hosts()[index] : nullptr;
}

int FindFTPHostIndex(std::uint32_t id) {
  return FindIndex(
      [id](const Host& h) { return (h.type == kHostFTP || h.type == kHostFTPS) && h.ftpHostID == id; });
}

int FindPeerHostIndex(std::uint32_t id) {
  return FindIndex([id](const Host& h) { return h.type == kHostPeerByAddress && h.hostID == id; });
}

int FindBonjourHostIndex(const std::string& name) {
  return FindIndex([&](const Host& h) { return h.type == kHostBonjourPeer && h.rendezvousName == name; });
}

int FindDotMacHostIndex(std::uint32_t id) {
  return FindIndex([id](const Host& h) { return h.type >= kHostIDisk && h.dotMacHostID == id; });
}

HostRef HostForViewID(std::uint32_t viewID) {
  if (viewID < kFirstHostViewID || viewID > kLastHostViewID) return nullptr;
  return GetHostAtIndex(viewID - kFirstHostViewID);
}

std::vector<HostRef> SortHosts() {
  std::vector<HostRef> sorted = Hosts();
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const HostRef& a, const HostRef& b) { return HostCompare(*a, *b) < 0; });
  return sorted;
}

void SetFTPHostRowBusy(std::uint32_t id, bool busy) {
  const int i = FindFTPHostIndex(id);
  if (i < 0 || Hosts()[i]->busy == busy) return;
  Hosts()[i]->busy = busy;
  ui::SourceListRowsServiceSlot::Get().SetHostRowBusy(static_cast<std::uint32_t>(kFirstHostViewID + i), busy);
}

void SetFTPHostRowDisabled(std::uint32_t id, bool disabled) {
  const int i = FindFTPHostIndex(id);
  if (i < 0 || Hosts()[i]->disabled == disabled) return;
  Hosts()[i]->disabled = disabled;
  UpdateHostRows();
}

void UpdateHostRows() {
  for (const HostRef& h : Hosts()) {
    if (h->type == kHostFTP || h->type == kHostFTPS) {
      if (FTPNodeRef root = FTPNodeForHostID(h->ftpHostID)) h->label = root->name();
    } else if (h->type >= kHostIDisk && h->type <= kHostSecureWebDAV) {
      if (DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(h->dotMacHostID))
        h->label = root->name();
    }
  }
  runtime::CallHook(RemoteHostRowHooksSlot::Get().updateHostRows);
}

std::vector<RemoteHostRow> CopyHostRows() {
  std::vector<RemoteHostRow> rows;
  for (std::size_t i = 0; i < Hosts().size(); ++i) {
    const Host& h = *Hosts()[i];
    RemoteHostRow row;
    row.viewID = static_cast<std::uint32_t>(kFirstHostViewID + i);
    row.hostType = h.type;
    row.label = h.label;
    switch (h.type) {
      case kHostFTP:
      case kHostFTPS:
        row.icon = h.type == kHostFTPS ? Code("FTPS") : Code("FTP_");
        if (FTPNodeRef root = FTPNodeForHostID(h.ftpHostID)) {
          row.ejectButton = true;
          row.lockIcon = h.type == kHostFTPS;
          row.busy = h.busy;
        }
        row.disabled = h.disabled;
        break;
      case kHostBonjourPeer:
        row.icon = Code("Rndv");
        break;
      case kHostPeerByAddress:
        row.icon = Code("Remo");
        row.ejectButton = true;
        break;
      case kHostIDisk: {
        DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(h.dotMacHostID);
        row.icon = Code(root && root->isPublic() ? "udsk" : "idsk");
        row.ejectButton = root != nullptr;
        row.busy = h.busy;
        break;
      }
      default:
        row.icon = Code("srvr");
        row.lockIcon = h.type == kHostSecureWebDAV;
        row.ejectButton = DotMacNode::dotMacNodeForDotMacHostID(h.dotMacHostID) != nullptr;
        row.busy = h.busy;
        break;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

bool HostSetLocalFolderPath(const HostRef& host, const std::string& path) {
  if (!host || path.empty() || !std::filesystem::is_directory(path)) return false;
  host->localFolder = path;
  return true;
}

std::optional<std::string> HostCopyFavouriteName(const HostRef& host) {
  if (!host) return std::nullopt;
  if (host->type == kHostFTP || host->type == kHostFTPS) {
    if (FTPNodeRef root = FTPNodeForHostID(host->ftpHostID)) return root->favourite();
  }
  if (host->type >= kHostIDisk && host->type <= kHostSecureWebDAV) {
    if (DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(host->dotMacHostID))
      return root->favourite();
  }
  return std::nullopt;
}

void HostDisconnect(const HostRef& host) {
  if (!host) return;
  if (host->type == kHostFTP || host->type == kHostFTPS) FTPNodeDisconnect(FTPNodeForHostID(host->ftpHostID));
  if (host->type >= kHostIDisk && host->type <= kHostSecureWebDAV)
    DotMacNodeDisconnect(DotMacNode::dotMacNodeForDotMacHostID(host->dotMacHostID));
}

void HostRefresh(const HostRef& host) {
  if (!host) return;
  if (host->type == kHostFTP || host->type == kHostFTPS) {
    if (FTPNodeRef root = FTPNodeForHostID(host->ftpHostID)) root->refresh();
  }
  if (host->type >= kHostIDisk && host->type <= kHostSecureWebDAV) {
    if (DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(host->dotMacHostID)) root->refresh();
  }
}

std::shared_ptr<FTPNode> ConnectFTPServer(const std::string& address, const std::string& user,
                                          const std::string& password,
                                          const std::optional<std::string>& favourite, bool secure) {
  FTPNodeRef root = FTPNodeCreateRoot(address, user, password, favourite, secure);
  if (!root) return nullptr;
  AddFTPHost(root->ftpHostID(), root->secure());
  if (favourite && FavouriteFindByName(*favourite)) FavouriteMarkConnected(*favourite, root->ftpHostID());
  root->refreshConnection();
  return root;
}

void ClearHosts() {
  for (const FTPNodeRef& root : CopyFTPRootNodes()) FTPNodeDisconnect(root);
  DisconnectAllDotMacNodes();
  Hosts().clear();
}

}  // namespace browser
