#pragma once
// The browser tree of an online disk or a WebDAV server: one `DotMacNode` per folder or
// file the main list shows, the root standing for the whole connection.
//
// A folder lists itself on demand through the tree's connection (online_disk.h,
// webdav_client.h); nothing in the tree changes before the server has answered. A
// listing's entries become the folder's children only when they are direct children
// with a usable name: no "", ".", "..", nothing with a "/" and nothing outside the folder,
// whatever the server sends, so that a folder download can neither recurse without end
// nor write outside the folder it was given.
//
// Roots live in a registry keyed by their connection's host id (from 0xC0000000), which
// holds the only reference to them: DotMacNodeDisconnect removes a root, cancels what its
// connection still has pending, and so lets the tree go. A child reaches the connection
// through the shared pointer every node of the tree holds.
//
// The rows follow the tree through ui::MainListBrowser: a folder that is open shows its
// children under its own row. Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"
#include "app/browser/webdav/dotmac_connection.h"
#include "app/ui/services/main_list_browser.h"

namespace browser {

class DotMacNode;
using DotMacNodeRef = std::shared_ptr<DotMacNode>;

class DotMacNode : public DotMacNodeRow, public std::enable_shared_from_this<DotMacNode> {
 public:
  // A new root, listed at once; nothing when no connection could be made.
  static DotMacNodeRef connectToIdisk(const std::string& iDiskName, const std::string& user,
                                      const std::string& password, const std::string& rootPath,
                                      const std::optional<std::string>& favourite);
  static DotMacNodeRef connectToWebDAVServer(const std::string& host, const std::string& user,
                                             const std::string& password, const std::string& rootPath,
                                             const std::optional<std::string>& favourite, bool secure);
  static DotMacNodeRef nodeWithName(const std::string& name, const std::string& path, bool isDirectory,
                                    const DotMacNodeRef& parent,
                                    std::shared_ptr<TRDotMacNodeConnection> connection);
  static DotMacNodeRef dotMacNodeForDotMacHostID(std::uint32_t hostID);
  static std::vector<DotMacNodeRef> CopyRoots();

  DotMacNode(std::string name, std::string path, bool isDirectory,
             std::shared_ptr<TRDotMacNodeConnection> connection);
  ~DotMacNode() override;

  // DotMacNodeRow
  bool isDirectory() const override { return isDirectory_; }
  bool hasParent() const override { return !parent_.expired(); }
  std::string name() const override { return name_; }
  std::string iDiskMemberName() const override {
    return connection_ ? connection_->iDiskName() : std::string();
  }
  std::string path() const override { return path_; }
  std::optional<std::string> iconExtension() const override;
  std::int64_t contentLength() const override { return contentLength_; }
  std::optional<std::string> kind() const override { return kind_; }
  std::string user() const override { return connection_ ? connection_->user() : std::string(); }
  std::optional<double> lastModified() const override { return lastModifiedDate_; }
  bool wasOpen() const override { return wasOpen_; }
  void Rename(const std::string& name) override { renameTo(name); }

  ui::MainListItem Item();
  DotMacNodeRef parent() const { return parent_.lock(); }
  DotMacNodeRef rootNode();
  const std::shared_ptr<TRDotMacNodeConnection>& connection() const { return connection_; }
  const std::optional<std::vector<DotMacNodeRef>>& items() const { return items_; }
  const std::optional<std::string>& favourite() const { return favourite_; }
  void setFavourite(std::optional<std::string> favourite) { favourite_ = std::move(favourite); }
  void setName(std::string name) { name_ = std::move(name); }
  // A folder's path always ends with "/".
  void setPath(std::string path);
  bool isRefreshing() const { return isRefreshing_; }
  bool busy() const { return busy_; }
  void setBusy(bool busy) { busy_ = busy; }
  void setWasOpen(bool open) { wasOpen_ = open; }
  bool isPublic() const;
  bool downloading() const { return downloading_; }

  // Browsing.
  void list();
  void refresh();
  void open();
  void openIfItemsAvailable();
  void close();
  void saveOpenedFolders();
  void recallOpenedFolders();

  // Changing the server; each outcome comes back through the connection.
  void createFolder(const std::string& name);
  void deleteNode();
  void renameTo(const std::string& name);
  void moveTo(const DotMacNodeRef& newParent);
  void copyTo(const DotMacNodeRef& newParent);
  bool isChildOf(const DotMacNode& node) const;

  // Outcomes.
  void listingCompleteWithItems(const std::vector<DMListingEntry>& entries);
  void listingFailed(TRDotMacTransaction& transaction);
  void listingCancelled() { isRefreshing_ = false; }
  void createdSubFolder(const std::string& name);
  void creatingSubFolderFailed(TRDotMacTransaction& transaction, const std::string& folderName);
  void deletingSuceeded();
  void deletingFailed(TRDotMacTransaction& transaction);
  void renameToFinished(const std::string& name, bool success);
  void moveToFinished(const DotMacNodeRef& newParent, bool success);
  void copyToFinished(const DotMacNodeRef& newParent, bool success);

  // Downloads.
  std::string downloadURLString() const;
  // A file: its queue item's uid (0 when none was added). A folder: its tree goes into a
  // folder of its name in `folder` (the default download folder when none), 0xFFFFFFFF.
  std::uint32_t addToDownloadQueue(const std::optional<std::string>& folder);
  bool downloadTo(const std::string& localFolder);

  // Re-rooting and uploads.
  void navigateToNode(const DotMacNodeRef& target);
  void navigateToPath(const std::string& path);
  bool uploadToPath(const std::string& remoteFolder, const std::string& localPath);

 private:
  friend void DotMacNodeDisconnect(const DotMacNodeRef& node, bool, bool);
  std::vector<ui::MainListItem> VisibleChildRows() const;
  void AddChildRows();
  void RemoveChildRows();
  void recomputePaths();
  std::string childPath(const std::string& name, bool isDirectory) const;
  void setDefaultKind();
  void Alert(const std::string& message, const std::optional<std::string>& explanation) const;
  std::optional<std::string> FailureExplanation(const TRDotMacTransaction& transaction,
                                                bool forListing) const;

  std::string name_;
  std::string path_;
  std::optional<double> lastModifiedDate_;
  bool isDirectory_ = false;
  bool wasOpen_ = false;
  bool isRefreshing_ = false;
  std::int64_t contentLength_ = 0;
  std::optional<std::vector<DotMacNodeRef>> items_;
  std::weak_ptr<DotMacNode> parent_;
  std::shared_ptr<TRDotMacNodeConnection> connection_;
  std::optional<std::string> favourite_;
  std::map<std::string, std::shared_ptr<void>> savedFolders_;
  bool savedFoldersSet_ = false;
  std::optional<std::string> kind_;
  bool downloading_ = false;
  std::string downloadRoot_;      // the local folder of a folder download
  std::string downloadRootPath_;  // the remote path the download started at
  std::shared_ptr<void> downloadGroup_;
  bool busy_ = false;
};

// The whole tree of `node` goes: its root leaves the registry, its pending operations are
// cancelled, its Host row and the favourite's connected mark go. The flags do nothing.
void DotMacNodeDisconnect(const DotMacNodeRef& node, bool = false, bool = false);
// Tests: every tree disconnected.
void DisconnectAllDotMacNodes();

}  // namespace browser
