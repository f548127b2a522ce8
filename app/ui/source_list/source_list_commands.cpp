// The source list's commands that reach other owners' windows and tables: the session
// log of an FTP server, a smart folder's saved-search file (made or revealed), a connected
// server kept as a favourite, and a folder's sharing.
#include <optional>
#include <string>

#include "app/browser/services/favourite_connections_service.h"
#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_files.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/services/row_command_windows.h"
#include "app/ui/sharing_windows/folder_sharing_sheet.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/transfer_log/session_log_window.h"
#include "platform/desktop/workspace.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {

namespace {

using values::FourCC;
using values::FourCharCode;

constexpr FourCharCode kAddToMyServers = values::FourCCFromBytes('A', 'M', 'y', 0xC4);

// A smart folder of the rule editor's kind (flag 8), or null.
queue::SmartFolderRef SelectedSmartFolder(std::uint32_t id) {
  if (!queue::IsSmartFolderID(id)) return nullptr;
  queue::SmartFolderRef folder = queue::LookUpSmartFolder(id);
  return folder && (folder->flags() & queue::kFolderFlagSmart) ? folder : nullptr;
}

void ShowFTPSessionLog(std::uint32_t id) {
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const auto host = remote.GetHostForViewID(id);
  if (!host || (host->hostType != browser::kHostFTP && host->hostType != browser::kHostFTPS)) return;
  const auto node = remote.FTPNodeForHostID(host->ftpID);
  if (!node) return;
  ShowSessionLogWindow(node->host(), remote.FTPNodeLog(node));
}

void CreateFinderSmartFolder(toolbox::Window* parent, std::uint32_t id) {
  const queue::SmartFolderRef folder = SelectedSmartFolder(id);
  if (!folder) return;
  toolbox::FileDialogRequest request;
  request.message = values::Localized("Specify a name and location for your smart folder");
  request.file_name = values::Format("%@.savedSearch", {folder->name()});
  request.parent = parent;
  const std::optional<std::string> path = toolbox::GetPresenter().PutFile(request);
  if (path) folder->createFolderAtURL(*path);
}

void RevealSavedSearch(std::uint32_t id) {
  const queue::SmartFolderRef folder = SelectedSmartFolder(id);
  if (!folder || !folder->savedSearchAlias()) return;
  std::optional<values::Bytes> alias = folder->savedSearchAlias();
  if (const auto file = queue::ResolveAliasField(alias)) {
    desktop::WorkspaceSlot::Get().OpenFile(file->Path());
  } else {
    folder->setSavedSearchAlias(std::nullopt);
  }
}

// The favourite made of an FTP or FTPS connection.
std::optional<browser::FavouriteInfo> FTPFavourite(const browser::RemoteHost& host) {
  const auto node = browser::RemoteRowsServiceSlot::Get().FTPNodeForHostID(host.ftpID);
  if (!node) return std::nullopt;
  const bool secure = host.hostType == browser::kHostFTPS || node->secure();
  const std::string path = node->path();
  browser::FavouriteInfo f;
  if (path.starts_with("/"))
    f.address = values::Format(secure ? "ftps://%@%@" : "ftp://%@%@", {node->host(), path});
  else
    f.address = values::Format(secure ? "ftps://%@/%@" : "ftp://%@/%@", {node->host(), path});
  f.hostType = secure ? browser::kHostFTPS : browser::kHostFTP;
  f.user = node->user();
  f.password = node->password();
  f.name = f.address;
  return f;
}

// The favourite made of a peer's session; nothing when the session belongs to a favourite
// that is still there.
std::optional<browser::FavouriteInfo> PeerFavourite(const browser::RemoteHost& host) {
  auto& favourites = browser::FavouriteConnectionsServiceSlot::Get();
  browser::FavouriteInfo f;
  if (host.hostType == browser::kHostPeerByAddress) {
    auto peer = sharing::PeerHostsServiceSlot::Get().CopyPeerHost(host.peerID);
    if (!peer) return std::nullopt;
    if (peer->favouriteName && favourites.FindFavourite(*peer->favouriteName)) return std::nullopt;
    const std::string address = values::Format("%@:%d", {peer->address, peer->port});
    if (peer->bonjourName) {
      f.address = *peer->bonjourName;
      f.hostType = browser::kHostBonjourPeer;
    } else {
      f.address = address;
      f.hostType = browser::kHostPeerByAddress;
    }
    f.name = !peer->displayName.empty() ? peer->displayName : peer->bonjourName.value_or(address);
    f.user = peer->user;
    f.password = peer->password;
    f.peerHostID = peer->hostID;
    return f;
  }
  auto peer = sharing::SharingRowsServiceSlot::Get().PeerForBonjourName(host.bonjourName);
  if (!peer) return std::nullopt;
  f.address = host.bonjourName;
  f.hostType = browser::kHostBonjourPeer;
  f.name = peer->serviceName().empty() ? host.bonjourName : peer->serviceName();
  return f;
}

void AddServerToMyServers(std::uint32_t id) {
  const auto host = browser::RemoteRowsServiceSlot::Get().GetHostForViewID(id);
  if (!host) return;
  std::optional<browser::FavouriteInfo> favourite;
  switch (host->hostType) {
    case browser::kHostFTP:
    case browser::kHostFTPS:
      favourite = FTPFavourite(*host);
      break;
    case browser::kHostBonjourPeer:
    case browser::kHostPeerByAddress:
      favourite = PeerFavourite(*host);
      break;
    case browser::kHostIDisk:
      if (auto node = browser::RemoteRowsServiceSlot::Get().DotMacNodeForHostID(host->nodeID)) {
        favourite.emplace();
        favourite->address = values::Format("%@%@", {node->iDiskMemberName(), node->path()});
        favourite->name = favourite->address;
        favourite->user = node->user();
        favourite->hostType = browser::kHostIDisk;
      }
      break;
    default:
      break;
  }
  if (!favourite) return;
  auto& favourites = browser::FavouriteConnectionsServiceSlot::Get();
  favourite->name = favourites.CopyUniqueFavouriteName(favourite->name);
  favourite->connected = true;
  favourites.AddFavourite(*favourite);
  if (host->hostType == browser::kHostPeerByAddress)
    sharing::PeerHostsServiceSlot::Get().SetFavouriteName(host->peerID, favourite->name);
}

}  // namespace

runtime::Status SourceList::RunRowCommand(FourCharCode command, const std::vector<std::uint32_t>& selected) {
  switch (command) {
    case FourCC("SL*g"):
      for (std::uint32_t id : selected)
        if (IsHostRowIdentifier(id)) ShowFTPSessionLog(id);
      return runtime::kNoErr;
    case FourCC("CrSF"): {
      toolbox::Window* parent = GetMainWindow();
      for (std::uint32_t id : selected) CreateFinderSmartFolder(parent, id);
      return runtime::kNoErr;
    }
    case FourCC("RFin"):
      for (std::uint32_t id : selected) RevealSavedSearch(id);
      return runtime::kNoErr;
    case kAddToMyServers:
      for (std::uint32_t id : selected)
        if (IsHostRowIdentifier(id)) AddServerToMyServers(id);
      return runtime::kNoErr;
    case FourCC("Shar"):
      for (std::uint32_t id : selected) {
        const queue::FolderRef folder = queue::IsUserFolderID(id) ? queue::LookUpFolder(id) : nullptr;
        if (folder && !(folder->flags() & queue::kFolderFlagShared))
          OpenSharingUserItemsSheet(id, folder->name());
      }
      return runtime::kNoErr;
    case FourCC("ShrS"):
      runtime::CallHook(RowCommandWindowHooksSlot::Get().showPreferencesWindow, kSharingPreferencesPane);
      return runtime::kNoErr;
    default:
      return runtime::kEventNotHandledErr;
  }
}

}  // namespace ui
