#pragma once
// What the main list reads of the remote browser: the saved servers (rows of My Servers),
// the remote hosts behind the source list's host rows and their root nodes (an FTP folder
// tree or a WebDAV / iDisk tree), and the few changes made from the list (renaming a node
// or a remote file, renaming a favourite, its auto-connect box).
//
// It also carries what the source list reads of the open connections (one row per host,
// view ids 1025 + index) and the queue's commands on remote rows: delete on the server,
// download into a local folder.
//
// The remote browser registers its implementation at start-up; until it is built the
// default knows no favourite, host or node, and changes do nothing.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/hook_slot.h"
#include "platform/runtime/service_slot.h"

namespace browser {

// Host types.
inline constexpr std::int32_t kHostFTP = 1;
inline constexpr std::int32_t kHostBonjourPeer = 2;
inline constexpr std::int32_t kHostPeerByAddress = 3;
inline constexpr std::int32_t kHostFTPS = 4;
inline constexpr std::int32_t kHostIDisk = 5;
inline constexpr std::int32_t kHostWebDAV = 6;
inline constexpr std::int32_t kHostSecureWebDAV = 7;

class FavouriteRow {
 public:
  virtual ~FavouriteRow() = default;
  virtual std::string name() const = 0;
  virtual std::string address() const = 0;
  virtual bool connected() const = 0;
  virtual std::int32_t hostType() const = 0;
  virtual bool publicIDisk() const = 0;
  virtual std::optional<std::string> user() const = 0;
  virtual std::optional<std::string> iDiskMemberName() const = 0;
  virtual bool autoConnect() const = 0;
};

class FTPNodeRow {
 public:
  virtual ~FTPNodeRow() = default;
  virtual bool hasParent() const = 0;
  virtual std::string name() const = 0;
  virtual std::string host() const = 0;
  virtual std::string path() const = 0;
  virtual bool secure() const = 0;
  virtual std::optional<std::string> owner() const = 0;
  virtual std::optional<std::string> group() const = 0;
  virtual std::uint32_t mode() const = 0;
  virtual std::string user() const = 0;
  // The connection's password (saving the connection as a favourite keeps it).
  virtual std::string password() const { return {}; }
  virtual std::optional<double> modificationDate() const = 0;  // absolute time
  virtual bool wasOpen() const = 0;
  // FTPNodeRename
  virtual void Rename(const std::string& name) = 0;
};

class DotMacNodeRow {
 public:
  virtual ~DotMacNodeRow() = default;
  virtual bool isDirectory() const = 0;
  virtual bool hasParent() const = 0;
  virtual std::string name() const = 0;
  virtual std::string iDiskMemberName() const = 0;
  virtual std::string path() const = 0;
  // The node's icon as a file-type extension ("" for a plain document); nothing: no icon.
  virtual std::optional<std::string> iconExtension() const = 0;
  virtual std::int64_t contentLength() const = 0;
  virtual std::optional<std::string> kind() const = 0;
  virtual std::string user() const = 0;
  virtual std::optional<double> lastModified() const = 0;  // absolute time
  virtual bool wasOpen() const = 0;
  // DotMacNodeRenameTo
  virtual void Rename(const std::string& name) = 0;
};

// A remote host of the source list (view ids 1025 to 4095).
struct RemoteHost {
  std::int32_t hostType = 0;
  std::string bonjourName;   // type 2
  std::uint32_t peerID = 0;  // type 3
  std::uint32_t ftpID = 0;   // types 1, 4
  std::uint32_t nodeID = 0;  // types 5-7
};

// What a host's source-list row shows.
struct RemoteHostRow {
  std::uint32_t viewID = 0;  // 1025 + index
  std::int32_t hostType = 0;
  std::string label;
  std::uint32_t icon = 0;  // four-character code of creator 'Truv' ('FTP_', 'FTPS', ...) or the system's
  bool lockIcon = false;   // 'SecI': the connection is secure
  bool ejectButton = false;
  bool busy = false;      // the progress mark
  bool disabled = false;  // state bit 16: the connection was lost and is not logged in again yet
  bool operator==(const RemoteHostRow&) const = default;
};

using FavouriteRowRef = std::shared_ptr<FavouriteRow>;

class RemoteRowsService {
 public:
  virtual ~RemoteRowsService() = default;
  // The values of the favourites dictionary.
  virtual std::vector<FavouriteRowRef> CopyFavourites() = 0;
  virtual bool HasFavouriteNamed(const std::string& name) = 0;
  // Gives the favourite its new name everywhere (the table, its open connection) and
  // stores the favourites.
  virtual void RenameFavourite(const FavouriteRowRef& favourite, const std::string& name) = 0;
  // Marks the favourites changed and stores the flag.
  virtual void SetFavouriteAutoConnect(const FavouriteRowRef& favourite, bool on) = 0;

  // The host at view id - 1025, nothing outside 1025-4095 or when none is there.
  virtual std::optional<RemoteHost> GetHostForViewID(std::uint32_t viewID) = 0;
  virtual std::shared_ptr<FTPNodeRow> FTPNodeForHostID(std::uint32_t ftpID) = 0;
  virtual std::shared_ptr<DotMacNodeRow> DotMacNodeForHostID(std::uint32_t nodeID) = 0;
  // The registered icon (creator 'Truv') of a host type, nothing when it has none.
  virtual std::optional<std::uint32_t> GetIconTypeForHostType(std::int32_t hostType, bool publicIDisk) = 0;
  // The user of the FTP connection with this id, when the connection table has its root.
  virtual std::optional<std::string> FTPConnectionUser(std::uint32_t connectionID) = 0;
  // A file of a remote listing renamed in place (FTPFileItemRename): the file whose row's
  // record this is, whatever other folder holds a file of the same name.
  virtual void FTPFileItemRename(const std::shared_ptr<void>& record, const std::string& name) = 0;

  // The source list's host rows, in host-list order.
  virtual std::vector<RemoteHostRow> CopyHostRows() = 0;
  // The eject button of a host row (HostDisconnect).
  virtual void DisconnectHost(std::uint32_t viewID) = 0;
  // The same for a host named by type and key, as it was before other hosts went.
  virtual void DisconnectRemoteHost(const RemoteHost& host) = 0;
  // The connection opened from the favourite of that name (FTP, FTPS, online disk or
  // WebDAV), closed; nothing when none is open.
  virtual void DisconnectFavourite(const std::string& name) { (void)name; }
  // The refresh command on a host row: its folder listed again (HostRefresh).
  virtual void RefreshHost(std::uint32_t viewID) = 0;

  // The queue's commands on the rows of a remote view. A remote file is the download
  // record the browser had the queue make for it (hostID with the top bit set).
  // Deletes the node on its server (nothing for a root); false when it is not an FTP node.
  virtual bool DeleteFTPNodeFromServer(const std::shared_ptr<FTPNodeRow>& node) = 0;
  // DeleteRemoteFileOfItem: false when the record is not a file of an open FTP listing.
  virtual bool DeleteRemoteFileOfItem(const std::shared_ptr<void>& record) = 0;
  // Queues downloads of the node's tree (FTPNodeDownloadTo) or of the one file into the
  // folder; false when nothing could be queued.
  virtual bool DownloadFTPNodeTo(const std::shared_ptr<FTPNodeRow>& node, const std::string& folder) = 0;
  virtual bool DownloadRemoteFileTo(const std::shared_ptr<void>& record, const std::string& folder) = 0;

  // What the main window does to an FTP tree's rows. A remote file is its record, as above.
  // Lists the folder when it was never listed, then shows its rows (FTPNodeOpen).
  virtual void OpenFTPNode(const std::shared_ptr<FTPNodeRow>& node) = 0;
  virtual void CloseFTPNode(const std::shared_ptr<FTPNodeRow>& node) = 0;
  // Lists the folder again (FTPNodeRefresh; a root: the host's refresh).
  virtual void RefreshFTPNode(const std::shared_ptr<FTPNodeRow>& node) = 0;
  // A drop of a folder or a remote file onto a folder of the same tree (FTPNodeMove,
  // FTPFileItemMove); false when either is not an FTP item or the trees differ.
  virtual bool MoveFTPItem(const std::shared_ptr<void>& item, bool isNode,
                           const std::shared_ptr<FTPNodeRow>& newParent) = 0;
  // A local file dropped onto a folder (FTPNodeUploadToPath): false when not queued.
  virtual bool UploadToFTPNode(const std::shared_ptr<FTPNodeRow>& folder, const std::string& localPath) = 0;
  // Re-roots the host's tree at a path of the same server, unless the root is busy.
  virtual void NavigateFTPNode(const std::shared_ptr<FTPNodeRow>& node, const std::string& path) = 0;
  // The connection's log (commands and replies), for its log window.
  virtual std::string FTPNodeLog(const std::shared_ptr<FTPNodeRow>& node) = 0;

  // What the main window does to an online-disk or WebDAV tree's rows (DotMacNodeOpen,
  // DotMacNodeRefresh...). Each answers false when the row is no node of an open tree.
  // Lists the folder when it was never listed, then shows its rows.
  virtual void OpenDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) = 0;
  virtual void CloseDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) = 0;
  virtual void RefreshDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) = 0;
  // The tree re-rooted at the folder (a double click).
  virtual void NavigateDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) = 0;
  // Deletes the item on its server (nothing for a root).
  virtual bool DeleteDotMacNodeFromServer(const std::shared_ptr<DotMacNodeRow>& node) = 0;
  // A file, or a folder's whole tree, queued for download into the local folder.
  virtual bool DownloadDotMacNodeTo(const std::shared_ptr<DotMacNodeRow>& node,
                                    const std::string& folder) = 0;
  // A local file or folder dropped onto a folder: queued for upload into it.
  virtual bool UploadToDotMacNode(const std::shared_ptr<DotMacNodeRow>& folder,
                                  const std::string& localPath) = 0;
  // A drop of an item onto a folder of the same tree: moved there, or copied.
  virtual bool MoveDotMacNode(const std::shared_ptr<DotMacNodeRow>& node,
                              const std::shared_ptr<DotMacNodeRow>& folder, bool copy) = 0;
  // A new folder of that name inside the folder (DotMacNodeCreateFolder).
  virtual bool CreateDotMacFolder(const std::shared_ptr<DotMacNodeRow>& folder, const std::string& name) = 0;
};

class NoRemoteRows : public RemoteRowsService {
 public:
  std::vector<FavouriteRowRef> CopyFavourites() override { return {}; }
  bool HasFavouriteNamed(const std::string&) override { return false; }
  void RenameFavourite(const FavouriteRowRef&, const std::string&) override {}
  void SetFavouriteAutoConnect(const FavouriteRowRef&, bool) override {}
  std::optional<RemoteHost> GetHostForViewID(std::uint32_t) override { return std::nullopt; }
  std::shared_ptr<FTPNodeRow> FTPNodeForHostID(std::uint32_t) override { return nullptr; }
  std::shared_ptr<DotMacNodeRow> DotMacNodeForHostID(std::uint32_t) override { return nullptr; }
  std::optional<std::uint32_t> GetIconTypeForHostType(std::int32_t, bool) override { return std::nullopt; }
  std::optional<std::string> FTPConnectionUser(std::uint32_t) override { return std::nullopt; }
  void FTPFileItemRename(const std::shared_ptr<void>&, const std::string&) override {}
  std::vector<RemoteHostRow> CopyHostRows() override { return {}; }
  void DisconnectHost(std::uint32_t) override {}
  void DisconnectRemoteHost(const RemoteHost&) override {}
  void RefreshHost(std::uint32_t) override {}
  bool DeleteFTPNodeFromServer(const std::shared_ptr<FTPNodeRow>&) override { return false; }
  bool DeleteRemoteFileOfItem(const std::shared_ptr<void>&) override { return false; }
  bool DownloadFTPNodeTo(const std::shared_ptr<FTPNodeRow>&, const std::string&) override { return false; }
  bool DownloadRemoteFileTo(const std::shared_ptr<void>&, const std::string&) override { return false; }
  void OpenFTPNode(const std::shared_ptr<FTPNodeRow>&) override {}
  void CloseFTPNode(const std::shared_ptr<FTPNodeRow>&) override {}
  void RefreshFTPNode(const std::shared_ptr<FTPNodeRow>&) override {}
  bool MoveFTPItem(const std::shared_ptr<void>&, bool, const std::shared_ptr<FTPNodeRow>&) override {
    return false;
  }
  bool UploadToFTPNode(const std::shared_ptr<FTPNodeRow>&, const std::string&) override { return false; }
  void NavigateFTPNode(const std::shared_ptr<FTPNodeRow>&, const std::string&) override {}
  std::string FTPNodeLog(const std::shared_ptr<FTPNodeRow>&) override { return {}; }
  void OpenDotMacNode(const std::shared_ptr<DotMacNodeRow>&) override {}
  void CloseDotMacNode(const std::shared_ptr<DotMacNodeRow>&) override {}
  void RefreshDotMacNode(const std::shared_ptr<DotMacNodeRow>&) override {}
  void NavigateDotMacNode(const std::shared_ptr<DotMacNodeRow>&) override {}
  bool DeleteDotMacNodeFromServer(const std::shared_ptr<DotMacNodeRow>&) override { return false; }
  bool DownloadDotMacNodeTo(const std::shared_ptr<DotMacNodeRow>&, const std::string&) override {
    return false;
  }
  bool UploadToDotMacNode(const std::shared_ptr<DotMacNodeRow>&, const std::string&) override {
    return false;
  }
  bool MoveDotMacNode(const std::shared_ptr<DotMacNodeRow>&, const std::shared_ptr<DotMacNodeRow>&,
                      bool) override {
    return false;
  }
  bool CreateDotMacFolder(const std::shared_ptr<DotMacNodeRow>&, const std::string&) override {
    return false;
  }
};

// What the remote browser tells the source list beyond ui::SourceListRowsService (which
// adds, removes and marks busy a host's row): the rows' labels, icons or order changed, or
// a row was shown disabled; read them again with CopyHostRows. The main window installs it
// with its other services at start-up; until then nothing listens.
struct RemoteHostRowHooks {
  std::function<void()> updateHostRows;
};
using RemoteHostRowHooksSlot = runtime::HookSlot<RemoteHostRowHooks>;

using RemoteRowsServiceSlot = runtime::ServiceSlot<RemoteRowsService, NoRemoteRows>;

}  // namespace browser
