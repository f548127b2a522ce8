#pragma once
// The remote browser's services: the rows the main list and the source list read, the
// favourites the settings store and scripts use, the undo of favourites, and the queue's
// commands on remote rows. Start-up installs them before the settings are read.

#include <memory>
#include <vector>

#include "app/browser/services/favourite_connections_service.h"
#include "app/browser/services/favourite_undo_service.h"
#include "app/browser/services/favourites_service.h"
#include "app/browser/services/remote_rows.h"

namespace browser {

class BrowserRemoteRows : public RemoteRowsService {
 public:
  std::vector<FavouriteRowRef> CopyFavourites() override;
  bool HasFavouriteNamed(const std::string& name) override;
  void RenameFavourite(const FavouriteRowRef& favourite, const std::string& name) override;
  void SetFavouriteAutoConnect(const FavouriteRowRef& favourite, bool on) override;
  std::optional<RemoteHost> GetHostForViewID(std::uint32_t viewID) override;
  std::shared_ptr<FTPNodeRow> FTPNodeForHostID(std::uint32_t ftpID) override;
  std::shared_ptr<DotMacNodeRow> DotMacNodeForHostID(std::uint32_t nodeID) override;
  std::optional<std::uint32_t> GetIconTypeForHostType(std::int32_t hostType, bool publicIDisk) override;
  std::optional<std::string> FTPConnectionUser(std::uint32_t connectionID) override;
  void FTPFileItemRename(const std::shared_ptr<void>& record, const std::string& name) override;
  std::vector<RemoteHostRow> CopyHostRows() override;
  void DisconnectHost(std::uint32_t viewID) override;
  void DisconnectRemoteHost(const RemoteHost& host) override;
  void DisconnectFavourite(const std::string& name) override;
  void RefreshHost(std::uint32_t viewID) override;
  bool DeleteFTPNodeFromServer(const std::shared_ptr<FTPNodeRow>& node) override;
  bool DeleteRemoteFileOfItem(const std::shared_ptr<void>& record) override;
  bool DownloadFTPNodeTo(const std::shared_ptr<FTPNodeRow>& node, const std::string& folder) override;
  bool DownloadRemoteFileTo(const std::shared_ptr<void>& record, const std::string& folder) override;
  void OpenFTPNode(const std::shared_ptr<FTPNodeRow>& node) override;
  void CloseFTPNode(const std::shared_ptr<FTPNodeRow>& node) override;
  void RefreshFTPNode(const std::shared_ptr<FTPNodeRow>& node) override;
  bool MoveFTPItem(const std::shared_ptr<void>& item, bool isNode,
                   const std::shared_ptr<FTPNodeRow>& newParent) override;
  bool UploadToFTPNode(const std::shared_ptr<FTPNodeRow>& folder, const std::string& localPath) override;
  void NavigateFTPNode(const std::shared_ptr<FTPNodeRow>& node, const std::string& path) override;
  std::string FTPNodeLog(const std::shared_ptr<FTPNodeRow>& node) override;
  void OpenDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) override;
  void CloseDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) override;
  void RefreshDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) override;
  void NavigateDotMacNode(const std::shared_ptr<DotMacNodeRow>& node) override;
  bool DeleteDotMacNodeFromServer(const std::shared_ptr<DotMacNodeRow>& node) override;
  bool DownloadDotMacNodeTo(const std::shared_ptr<DotMacNodeRow>& node, const std::string& folder) override;
  bool UploadToDotMacNode(const std::shared_ptr<DotMacNodeRow>& folder,
                          const std::string& localPath) override;
  bool MoveDotMacNode(const std::shared_ptr<DotMacNodeRow>& node,
                      const std::shared_ptr<DotMacNodeRow>& folder, bool copy) override;
  bool CreateDotMacFolder(const std::shared_ptr<DotMacNodeRow>& folder, const std::string& name) override;
};

class BrowserFavourites : public FavouritesService {
 public:
  bool AddFavouriteFromPreference(const std::string& name, const values::Value& entry) override;
  values::Dictionary CopyFavouritesPreferenceDictionary() override;
};

class BrowserFavouriteConnections : public FavouriteConnectionsService {
 public:
  std::vector<FavouriteInfo> CopySortedFavourites() override;
  std::optional<FavouriteInfo> FindFavourite(const std::string& name) override;
  bool ConnectFavourite(const std::string& name, bool silent) override;
  void AddFavourite(const FavouriteInfo& favourite) override;
  bool RemoveFavourite(const std::string& name) override;
  int ImportFetchShortcuts(const std::string&, bool) override { return 0; }
};

class BrowserFavouriteUndo : public FavouriteUndoService {
 public:
  std::optional<std::uint64_t> ConnectionIdentifier(const FavouriteHandle& favourite) override;
  void RemoveFavourite(const FavouriteHandle& favourite) override;
  void RestoreFavourite(const FavouriteHandle& favourite, std::optional<std::uint64_t> connection) override;
  void AddFavouriteRow(const FavouriteHandle&, bool) override {}
  void RemoveFavouriteRow(const FavouriteHandle&) override {}
  void MarkFavouritesChanged() override;
};

// Installs the services above.
void InstallRemoteBrowser();

}  // namespace browser
