#include "app/browser/remote_browser.h"

#include <algorithm>
#include "app/browser/favourites/favourites.h"
#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/webdav/dotmac_node.h"
#include "platform/values/fourcc.h"

namespace browser {
namespace {

FavouriteRef AsFavourite(const FavouriteRowRef& row) {
  return std::dynamic_pointer_cast<TRFavourite>(row);
}

FavouriteInfo Info(const TRFavourite& f) {
  FavouriteInfo i;
  i.name = f.name();
  i.address = f.address();
  i.user = f.user().value_or("");
  i.password = f.password();
  i.hostType = f.hostType();
  i.connected = f.connected();
  return i;
}

FTPNodeRef AsNode(const std::shared_ptr<FTPNodeRow>& row) {
  return std::dynamic_pointer_cast<FTPNode>(row);
}

DotMacNodeRef AsDotMacNode(const std::shared_ptr<DotMacNodeRow>& row) {
  return std::dynamic_pointer_cast<DotMacNode>(row);
}

}  // namespace

std::vector<FavouriteRowRef> BrowserRemoteRows::CopyFavourites() {
  std::vector<FavouriteRowRef> out;
  for (auto& f : CopyFavouritesInStore()) out.push_back(f);
  return out;
}

bool BrowserRemoteRows::HasFavouriteNamed(const std::string& name) {
  return FavouriteFindByName(name) != nullptr;
}

void BrowserRemoteRows::RenameFavourite(const FavouriteRowRef& favourite, const std::string& name) {
  browser::RenameFavourite(AsFavourite(favourite), name);
}

void BrowserRemoteRows::SetFavouriteAutoConnect(const FavouriteRowRef& favourite, bool on) {
  if (FavouriteRef f = AsFavourite(favourite)) {
    f->setAutoconnect(on);
    MarkFavouritesChanged();
    SaveFavourites();
  }
}

std::optional<RemoteHost> BrowserRemoteRows::GetHostForViewID(std::uint32_t viewID) {
  HostRef h = HostForViewID(viewID);
  if (!h) return std::nullopt;
  RemoteHost r;
  r.hostType = h->type;
  r.bonjourName = h->rendezvousName;
  r.peerID = h->hostID;
  r.ftpID = h->ftpHostID;
  r.nodeID = h->dotMacHostID;
  return r;
}

std::shared_ptr<FTPNodeRow> BrowserRemoteRows::FTPNodeForHostID(std::uint32_t ftpID) {
  FTPNodeRef root = browser::FTPNodeForHostID(ftpID);
  return root ? root->Row() : nullptr;
}

std::shared_ptr<DotMacNodeRow> BrowserRemoteRows::DotMacNodeForHostID(std::uint32_t nodeID) {
  return DotMacNode::dotMacNodeForDotMacHostID(nodeID);
}

std::optional<std::uint32_t> BrowserRemoteRows::GetIconTypeForHostType(std::int32_t hostType,
                                                                       bool publicIDisk) {
  switch (hostType) {
    case kHostFTP:
      return values::FourCC("FTP_");
    case kHostBonjourPeer:
      return values::FourCC("Rndv");
    case kHostPeerByAddress:
      return values::FourCC("Remo");
    case kHostFTPS:
      return values::FourCC("FTPS");
    case kHostIDisk:
      return publicIDisk ? values::FourCC("udsk") : values::FourCC("idsk");
    case kHostWebDAV:
    case kHostSecureWebDAV:
      return values::FourCC("srvr");
    default:
      return std::nullopt;
  }
}

std::optional<std::string> BrowserRemoteRows::FTPConnectionUser(std::uint32_t connectionID) {
  FTPNodeRef root = browser::FTPNodeForHostID(connectionID);
  if (!root) return std::nullopt;
  return root->user();
}

void BrowserRemoteRows::FTPFileItemRename(const std::shared_ptr<void>& record, const std::string& name) {
  RemoteFileRef file = record ? RemoteFileForRecord(record.get()) : nullptr;
  if (!file) return;
  for (const auto& weak : file->folders) {
    if (FTPNodeRef folder = weak.lock()) {
      folder->renameItem(FTPItem{{}, file}, name);
      return;
    }
  }
}

std::vector<RemoteHostRow> BrowserRemoteRows::CopyHostRows() {
  return browser::CopyHostRows();
}

void BrowserRemoteRows::DisconnectHost(std::uint32_t viewID) {
  HostDisconnect(HostForViewID(viewID));
}

void BrowserRemoteRows::DisconnectFavourite(const std::string& name) {
  for (std::size_t i = 0; i < GetHostCount(); ++i) {
    const HostRef host = GetHostAtIndex(i);
    if (!host || host->type == kHostBonjourPeer || host->type == kHostPeerByAddress) continue;
    if (HostCopyFavouriteName(host) == name) {
      HostDisconnect(host);
      return;
    }
  }
}

void BrowserRemoteRows::DisconnectRemoteHost(const RemoteHost& host) {
  int index = -1;
  switch (host.hostType) {
    case kHostFTP:
    case kHostFTPS:
      index = FindFTPHostIndex(host.ftpID);
      break;
    case kHostBonjourPeer:
      index = FindBonjourHostIndex(host.bonjourName);
      break;
    case kHostPeerByAddress:
      index = FindPeerHostIndex(host.peerID);
      break;
    default:
      index = FindDotMacHostIndex(host.nodeID);
      break;
  }
  if (index >= 0) HostDisconnect(GetHostAtIndex(static_cast<std::size_t>(index)));
}

void BrowserRemoteRows::RefreshHost(std::uint32_t viewID) {
  HostRefresh(HostForViewID(viewID));
}

bool BrowserRemoteRows::DeleteFTPNodeFromServer(const std::shared_ptr<FTPNodeRow>& row) {
  FTPNodeRef node = AsNode(row);
  if (!node || node->isRoot()) return false;
  node->deleteFromServer();
  return true;
}

bool BrowserRemoteRows::DeleteRemoteFileOfItem(const std::shared_ptr<void>& record) {
  RemoteFileRef file = RemoteFileForRecord(record.get());
  if (!file) return false;
  for (const auto& weak : file->folders) {
    if (FTPNodeRef folder = weak.lock()) {
      folder->deleteFile(file);
      return true;
    }
  }
  return false;
}

bool BrowserRemoteRows::DownloadFTPNodeTo(const std::shared_ptr<FTPNodeRow>& row, const std::string& folder) {
  FTPNodeRef node = AsNode(row);
  return node && node->downloadTo(folder);
}

bool BrowserRemoteRows::DownloadRemoteFileTo(const std::shared_ptr<void>& record, const std::string& folder) {
  RemoteFileRef file = RemoteFileForRecord(record.get());
  if (!file) return false;
  FTPNodeRef root = browser::FTPNodeForHostID(file->hostID);
  if (!root) return false;
  queue::RemoteDownloadRequest r;
  r.url = file->url;
  r.connections = 2;
  r.destinationFolder = folder;
  r.user = root->user();
  r.password = root->pass();
  r.useAuth = !r.user.empty() && !r.password.empty() && r.user != "anonymous";
  auto& queue = queue::RemoteFilesServiceSlot::Get();
  auto group = queue.BeginDownloadGroup("Add %d Downloads from FTP server");
  return queue.AddRemoteDownload(r, group) != 0;
}

void BrowserRemoteRows::OpenFTPNode(const std::shared_ptr<FTPNodeRow>& row) {
  if (FTPNodeRef node = AsNode(row)) node->open();
}

void BrowserRemoteRows::CloseFTPNode(const std::shared_ptr<FTPNodeRow>& row) {
  if (FTPNodeRef node = AsNode(row)) node->close();
}

void BrowserRemoteRows::RefreshFTPNode(const std::shared_ptr<FTPNodeRow>& row) {
  if (FTPNodeRef node = AsNode(row)) node->refresh();
}

bool BrowserRemoteRows::MoveFTPItem(const std::shared_ptr<void>& item, bool isNode,
                                    const std::shared_ptr<FTPNodeRow>& newParentRow) {
  FTPNodeRef newParent = AsNode(newParentRow);
  if (!newParent || !item) return false;
  if (isNode) {
    FTPNodeRef node = AsNode(std::static_pointer_cast<FTPNodeRow>(item));
    FTPNodeRef parent = node ? node->parent() : nullptr;
    if (!parent || node->ftpHostID() != newParent->ftpHostID()) return false;
    parent->moveItem(FTPItem{node, {}}, newParent);
    return true;
  }
  RemoteFileRef file = RemoteFileForRecord(item.get());
  if (!file || file->hostID != newParent->ftpHostID()) return false;
  for (const auto& weak : file->folders) {
    if (FTPNodeRef folder = weak.lock()) {
      folder->moveItem(FTPItem{{}, file}, newParent);
      return true;
    }
  }
  return false;
}

bool BrowserRemoteRows::UploadToFTPNode(const std::shared_ptr<FTPNodeRow>& row,
                                        const std::string& localPath) {
  FTPNodeRef folder = AsNode(row);
  return folder && folder->uploadToPath(folder->path(), localPath);
}

void BrowserRemoteRows::NavigateFTPNode(const std::shared_ptr<FTPNodeRow>& row, const std::string& path) {
  if (FTPNodeRef node = AsNode(row)) node->navigateToPath(path);
}

std::string BrowserRemoteRows::FTPNodeLog(const std::shared_ptr<FTPNodeRow>& row) {
  FTPNodeRef node = AsNode(row);
  FTPNodeRef root = node ? node->rootNode() : nullptr;
  return root ? root->log() : std::string();
}

bool BrowserFavourites::AddFavouriteFromPreference(const std::string& name, const values::Value& entry) {
  return browser::AddFavouriteFromPreference(name, entry);
}

values::Dictionary BrowserFavourites::CopyFavouritesPreferenceDictionary() {
  return browser::CopyFavouritesPreferenceDictionary();
}

std::vector<FavouriteInfo> BrowserFavouriteConnections::CopySortedFavourites() {
  std::vector<FavouriteInfo> out;
  for (auto& f : CopyFavouritesInStore()) out.push_back(Info(*f));
  std::sort(out.begin(), out.end(),
            [](const FavouriteInfo& a, const FavouriteInfo& b) { return a.name < b.name; });
  return out;
}

std::optional<FavouriteInfo> BrowserFavouriteConnections::FindFavourite(const std::string& name) {
  FavouriteRef f = FavouriteFindByName(name);
  if (!f) return std::nullopt;
  return Info(*f);
}

bool BrowserFavouriteConnections::ConnectFavourite(const std::string& name, bool silent) {
  FavouriteRef f = FavouriteFindByName(name);
  return f && FavouriteConnect(f, silent);
}

void BrowserFavouriteConnections::AddFavourite(const FavouriteInfo& info) {
  FavouriteRef f =
      browser::AddFavourite(info.name, info.address, info.user, info.password, info.hostType, "");
  if (info.connected && info.peerHostID) FavouriteMarkConnected(info.name, *info.peerHostID);
}

bool BrowserFavouriteConnections::RemoveFavourite(const std::string& name) {
  if (!FavouriteFindByName(name)) return false;
  RemoveFavouriteForName(name);
  SaveFavourites();
  return true;
}

std::optional<std::uint64_t> BrowserFavouriteUndo::ConnectionIdentifier(const FavouriteHandle& handle) {
  auto f = std::static_pointer_cast<TRFavourite>(handle);
  if (!f || !f->connected() || f->hostType() >= 8) return std::nullopt;
  return f->connectionID();
}

void BrowserFavouriteUndo::RemoveFavourite(const FavouriteHandle& handle) {
  auto f = std::static_pointer_cast<TRFavourite>(handle);
  if (f) RemoveFavouriteForName(f->name());
}

void BrowserFavouriteUndo::RestoreFavourite(const FavouriteHandle& handle,
                                            std::optional<std::uint64_t> connection) {
  auto f = std::static_pointer_cast<TRFavourite>(handle);
  if (!f) return;
  f->setConnected(false);
  f->setConnectionID(std::nullopt);
  SetFavouriteForName(f, f->name());
  if (!connection || (f->hostType() != kHostFTP && f->hostType() != kHostFTPS)) return;
  FTPNodeRef root = browser::FTPNodeForHostID(static_cast<std::uint32_t>(*connection));
  if (root && !root->favourite()) {
    root->setFavourite(f->name());
    FavouriteMarkConnected(f->name(), root->ftpHostID());
  }
}

void BrowserFavouriteUndo::MarkFavouritesChanged() {
  browser::MarkFavouritesChanged();
}

void InstallRemoteBrowser() {
  RemoteRowsServiceSlot::Set(std::make_unique<BrowserRemoteRows>());
  FavouritesServiceSlot::Set(std::make_unique<BrowserFavourites>());
  FavouriteConnectionsServiceSlot::Set(std::make_unique<BrowserFavouriteConnections>());
  FavouriteUndoServiceSlot::Set(std::make_unique<BrowserFavouriteUndo>());
}

void BrowserRemoteRows::OpenDotMacNode(const std::shared_ptr<DotMacNodeRow>& row) {
  if (DotMacNodeRef node = AsDotMacNode(row)) node->open();
}

void BrowserRemoteRows::CloseDotMacNode(const std::shared_ptr<DotMacNodeRow>& row) {
  if (DotMacNodeRef node = AsDotMacNode(row)) node->close();
}

void BrowserRemoteRows::RefreshDotMacNode(const std::shared_ptr<DotMacNodeRow>& row) {
  if (DotMacNodeRef node = AsDotMacNode(row)) node->refresh();
}

void BrowserRemoteRows::NavigateDotMacNode(const std::shared_ptr<DotMacNodeRow>& row) {
  DotMacNodeRef node = AsDotMacNode(row);
  if (node && node->isDirectory() && node->hasParent()) node->navigateToNode(node);
}

bool BrowserRemoteRows::DeleteDotMacNodeFromServer(const std::shared_ptr<DotMacNodeRow>& row) {
  DotMacNodeRef node = AsDotMacNode(row);
  if (!node || !node->hasParent()) return false;
  node->deleteNode();
  return true;
}

bool BrowserRemoteRows::DownloadDotMacNodeTo(const std::shared_ptr<DotMacNodeRow>& row,
                                             const std::string& folder) {
  DotMacNodeRef node = AsDotMacNode(row);
  if (!node) return false;
  if (node->isDirectory()) return node->downloadTo(folder);
  return node->addToDownloadQueue(folder) != 0;
}

bool BrowserRemoteRows::UploadToDotMacNode(const std::shared_ptr<DotMacNodeRow>& row,
                                           const std::string& localPath) {
  DotMacNodeRef folder = AsDotMacNode(row);
  if (!folder || !folder->isDirectory()) return false;
  return folder->uploadToPath(folder->path(), localPath);
}

bool BrowserRemoteRows::MoveDotMacNode(const std::shared_ptr<DotMacNodeRow>& row,
                                       const std::shared_ptr<DotMacNodeRow>& folderRow, bool copy) {
  DotMacNodeRef node = AsDotMacNode(row), folder = AsDotMacNode(folderRow);
  if (!node || !folder || !folder->isDirectory() || node->connection() != folder->connection()) return false;
  if (copy) {
    node->copyTo(folder);
  } else {
    node->moveTo(folder);
  }
  return true;
}

bool BrowserRemoteRows::CreateDotMacFolder(const std::shared_ptr<DotMacNodeRow>& row,
                                           const std::string& name) {
  DotMacNodeRef folder = AsDotMacNode(row);
  if (!folder || !folder->isDirectory()) return false;
  folder->createFolder(name);
  return true;
}

}  // namespace browser
