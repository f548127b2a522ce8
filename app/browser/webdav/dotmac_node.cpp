#include "app/browser/webdav/dotmac_node.h"

#include <algorithm>
#include <set>

#include "app/browser/favourites/favourites.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/services/connect_dialog_hooks.h"
#include "app/browser/services/dav_upload_hooks.h"
#include "app/browser/webdav/online_disk.h"
#include "app/queue/services/remote_files_service.h"
#include "app/ui/services/ui_services.h"
#include "app/util/desktop/notification_bridges.h"
#include "app/util/files/file_bridges.h"
#include "app/util/files/file_names.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/clock.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace browser {

namespace {

std::map<std::uint32_t, DotMacNodeRef>& Roots() {
  static std::map<std::uint32_t, DotMacNodeRef> roots;
  return roots;
}

ui::MainListBrowser& Browser() {
  return ui::MainListBrowserSlot::Get();
}

bool HideHiddenFiles() {
  return util::ReadSetting(util::kHideHiddenFilesKey);
}

std::string LastComponent(std::string path) {
  while (path.size() > 1 && path.ends_with('/')) path.pop_back();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name a listing may give a child: one path component that means itself.
bool SaneChildName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string L(const char* key) {
  return values::Localized(key);
}

// ---- operation records

class TRDMListFolderTransactionInfo : public TRDMTransactionInfo {
 public:
  TRDMListFolderTransactionInfo(DotMacNodeRef node, TRDotMacTransactionRef t)
      : TRDMTransactionInfo(std::move(t)), targetNode(std::move(node)) {}
  void succeeded() override {
    static const std::vector<DMListingEntry> none;
    targetNode->listingCompleteWithItems(transaction()->result() ? *transaction()->result() : none);
  }
  void failed() override { targetNode->listingFailed(*transaction()); }
  void aborted() override { targetNode->listingCancelled(); }
  DotMacNodeRef targetNode;
};

class TRDMCreateFolderTransactionInfo : public TRDMTransactionInfo {
 public:
  TRDMCreateFolderTransactionInfo(DotMacNodeRef node, std::string name, TRDotMacTransactionRef t)
      : TRDMTransactionInfo(std::move(t)), targetNode(std::move(node)), folderName(std::move(name)) {}
  void succeeded() override { targetNode->createdSubFolder(folderName); }
  void failed() override { targetNode->creatingSubFolderFailed(*transaction(), folderName); }
  DotMacNodeRef targetNode;
  std::string folderName;
};

class TRDMDeleteNodeTransactionInfo : public TRDMTransactionInfo {
 public:
  TRDMDeleteNodeTransactionInfo(DotMacNodeRef node, TRDotMacTransactionRef t)
      : TRDMTransactionInfo(std::move(t)), targetNode(std::move(node)) {}
  void succeeded() override { targetNode->deletingSuceeded(); }
  void failed() override { targetNode->deletingFailed(*transaction()); }
  DotMacNodeRef targetNode;
};

class TRDMMoveNodeTransactionInfo : public TRDMTransactionInfo {
 public:
  TRDMMoveNodeTransactionInfo(DotMacNodeRef node, DotMacNodeRef parent, TRDotMacTransactionRef t)
      : TRDMTransactionInfo(std::move(t)), targetNode(std::move(node)), newParent(std::move(parent)) {}
  void succeeded() override { targetNode->moveToFinished(newParent, true); }
  void failed() override { targetNode->moveToFinished(newParent, false); }
  DotMacNodeRef targetNode, newParent;
};

class TRDMCopyNodeTransactionInfo : public TRDMTransactionInfo {
 public:
  TRDMCopyNodeTransactionInfo(DotMacNodeRef node, DotMacNodeRef parent, TRDotMacTransactionRef t)
      : TRDMTransactionInfo(std::move(t)), targetNode(std::move(node)), newParent(std::move(parent)) {}
  void succeeded() override { targetNode->copyToFinished(newParent, true); }
  void failed() override { targetNode->copyToFinished(newParent, false); }
  DotMacNodeRef targetNode, newParent;
};

class TRDMRenameNodeTransactionInfo : public TRDMTransactionInfo {
 public:
  TRDMRenameNodeTransactionInfo(DotMacNodeRef node, std::string name, TRDotMacTransactionRef t)
      : TRDMTransactionInfo(std::move(t)), targetNode(std::move(node)), newName(std::move(name)) {}
  void succeeded() override { targetNode->renameToFinished(newName, true); }
  void failed() override { targetNode->renameToFinished(newName, false); }
  DotMacNodeRef targetNode;
  std::string newName;
};

template <class Record, class... Args>
void Register(const std::shared_ptr<TRDotMacNodeConnection>& connection, TRDotMacTransactionRef t,
              Args&&... args) {
  if (!t || !connection) return;
  connection->addTransactionInfo(std::make_shared<Record>(std::forward<Args>(args)..., std::move(t)));
}

DotMacNodeRef MakeRoot(std::string name, const std::string& rootPath,
                       std::shared_ptr<TRDotMacNodeConnection> c,
                       const std::optional<std::string>& favourite) {
  std::string path = rootPath.empty() ? "/" : rootPath;
  if (!path.starts_with('/')) path = "/" + path;
  auto root =
      std::make_shared<DotMacNode>(favourite ? *favourite : std::move(name), path, true, std::move(c));
  root->setFavourite(favourite);
  return root;
}

void Connected(const DotMacNodeRef& root, bool isIDisk, bool secure) {
  const std::uint32_t id = root->connection()->hostID();
  Roots()[id] = root;
  if (isIDisk) {
    AddIdiskHost(id);
  } else {
    AddWebDAVHost(id, secure);
  }
  if (root->favourite() && FavouriteFindByName(*root->favourite()))
    FavouriteMarkConnected(*root->favourite(), id);
  root->list();
  root->setWasOpen(true);
  util::PostConnectedHostListChanged();
}

}  // namespace

// ---- registry and making

DotMacNodeRef DotMacNode::dotMacNodeForDotMacHostID(std::uint32_t hostID) {
  auto it = Roots().find(hostID);
  return it == Roots().end() ? nullptr : it->second;
}

std::vector<DotMacNodeRef> DotMacNode::CopyRoots() {
  std::vector<DotMacNodeRef> out;
  for (const auto& [id, root] : Roots()) out.push_back(root);
  return out;
}

DotMacNodeRef DotMacNode::connectToIdisk(const std::string& iDiskName, const std::string& user,
                                         const std::string& password, const std::string& rootPath,
                                         const std::optional<std::string>& favourite) {
  auto connection = TRIDiskConnection::connectionWithName(user, password, iDiskName);
  if (!connection) return nullptr;
  DotMacNodeRef root = MakeRoot(iDiskName, rootPath, connection, favourite);
  Connected(root, true, false);
  return root;
}

DotMacNodeRef DotMacNode::connectToWebDAVServer(const std::string& host, const std::string& user,
                                                const std::string& password, const std::string& rootPath,
                                                const std::optional<std::string>& favourite, bool secure) {
  // The browsed folder travels in the node's path: the connection's root is the server's.
  auto connection = std::make_shared<TRWebDAVConnection>(host, "/", user, password, secure);
  if (connection->host().empty()) return nullptr;
  DotMacNodeRef root = MakeRoot(connection->host(), rootPath, connection, favourite);
  Connected(root, false, secure);
  return root;
}

DotMacNodeRef DotMacNode::nodeWithName(const std::string& name, const std::string& path, bool isDirectory,
                                       const DotMacNodeRef& parent,
                                       std::shared_ptr<TRDotMacNodeConnection> c) {
  auto node = std::make_shared<DotMacNode>(name, path, isDirectory, std::move(c));
  node->parent_ = parent;
  node->setDefaultKind();
  return node;
}

DotMacNode::DotMacNode(std::string name, std::string path, bool isDirectory,
                       std::shared_ptr<TRDotMacNodeConnection> connection)
    : name_(std::move(name)), isDirectory_(isDirectory), connection_(std::move(connection)) {
  setPath(std::move(path));
}

DotMacNode::~DotMacNode() = default;

ui::MainListItem DotMacNode::Item() {
  return ui::MakeListItem(ui::RowKind::kDotMacNode,
                          std::static_pointer_cast<DotMacNodeRow>(shared_from_this()));
}

void DotMacNode::setPath(std::string path) {
  if (isDirectory_ && !path.ends_with('/')) path += '/';
  path_ = std::move(path);
}

DotMacNodeRef DotMacNode::rootNode() {
  DotMacNodeRef node = shared_from_this();
  while (DotMacNodeRef up = node->parent()) node = up;
  return node;
}

bool DotMacNode::isPublic() const {
  return connection_ && connection_->type() == "idisk" && connection_->iDiskName().ends_with("-Public");
}

std::optional<std::string> DotMacNode::iconExtension() const {
  if (isDirectory_) return std::nullopt;
  const auto dot = name_.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name_.substr(dot + 1);
}

void DotMacNode::setDefaultKind() {
  kind_.reset();
  if (isDirectory_) return;
  // The kind text of the extension, as the list's Kind column shows for downloads.
  if (auto extension = iconExtension(); extension && !extension->empty()) kind_ = *extension;
}

std::string DotMacNode::childPath(const std::string& name, bool isDirectory) const {
  std::string p = path_;
  if (!p.ends_with('/')) p += '/';
  p += name;
  if (isDirectory) p += '/';
  return p;
}

bool DotMacNode::isChildOf(const DotMacNode& node) const {
  for (const DotMacNode* n = this; n != nullptr;) {
    if (n == &node) return true;
    DotMacNodeRef up = n->parent();
    n = up.get();
  }
  return false;
}

// ---- rows

std::vector<ui::MainListItem> DotMacNode::VisibleChildRows() const {
  std::vector<ui::MainListItem> rows;
  if (!items_) return rows;
  const bool hide = HideHiddenFiles();
  for (const auto& child : *items_) {
    if (hide && child->name_.starts_with('.')) continue;
    rows.push_back(child->Item());
  }
  return rows;
}

void DotMacNode::AddChildRows() {
  const ui::MainListItem self = Item();
  Browser().AddRows(VisibleChildRows(), &self);
}

void DotMacNode::RemoveChildRows() {
  const ui::MainListItem self = Item();
  Browser().RemoveRows(Browser().Rows(&self));
}

// ---- browsing

void DotMacNode::list() {
  if (isRefreshing_ || !connection_) return;
  TRDotMacTransactionRef t = connection_->listCollectionAtPath(path_);
  if (!t) return;
  isRefreshing_ = true;
  Register<TRDMListFolderTransactionInfo>(connection_, t, shared_from_this());
}

void DotMacNode::refresh() {
  saveOpenedFolders();
  list();
}

void DotMacNode::open() {
  if (!items_) {
    list();
    wasOpen_ = true;
    return;
  }
  RemoveChildRows();
  AddChildRows();
  for (const auto& child : *items_) child->openIfItemsAvailable();
  wasOpen_ = true;
  recallOpenedFolders();
}

void DotMacNode::openIfItemsAvailable() {
  if (!items_ || !wasOpen_) return;
  AddChildRows();
  for (const auto& child : *items_) child->openIfItemsAvailable();
  recallOpenedFolders();
}

void DotMacNode::close() {
  RemoveChildRows();
  wasOpen_ = false;
  saveOpenedFolders();
}

void DotMacNode::saveOpenedFolders() {
  savedFolders_.clear();
  if (!items_) return;
  for (const auto& child : *items_) {
    if (!child->isDirectory_ || !child->wasOpen_) continue;
    child->saveOpenedFolders();
    savedFolders_[child->name_] =
        std::make_shared<std::map<std::string, std::shared_ptr<void>>>(child->savedFolders_);
  }
  savedFoldersSet_ = true;
}

void DotMacNode::recallOpenedFolders() {
  if (!items_ || !savedFoldersSet_) return;
  auto saved = std::move(savedFolders_);
  savedFolders_.clear();
  savedFoldersSet_ = false;
  for (const auto& child : *items_) {
    if (!child->isDirectory_) continue;
    auto it = saved.find(child->name_);
    if (it == saved.end()) continue;
    child->savedFolders_ =
        *std::static_pointer_cast<std::map<std::string, std::shared_ptr<void>>>(it->second);
    child->savedFoldersSet_ = true;
    child->open();
  }
}

void DotMacNode::listingCompleteWithItems(const std::vector<DMListingEntry>& entries) {
  isRefreshing_ = false;
  RemoveChildRows();
  items_.emplace();
  const bool hide = HideHiddenFiles();
  std::vector<DotMacNodeRef> descend;
  std::set<std::string> seen;
  std::string folder = path_;
  if (!folder.ends_with('/')) folder += '/';
  for (const DMListingEntry& entry : entries) {
    // Only direct children with a usable name: a server listing an ancestor, itself or a
    // place elsewhere would make a download recurse for ever or write outside its folder.
    if (!entry.uri.starts_with(folder)) continue;
    const std::string name = entry.uri.substr(folder.size());
    if (!SaneChildName(name) || !seen.insert(name).second) continue;
    DotMacNodeRef child = nodeWithName(name, childPath(name, entry.isCollection), entry.isCollection,
                                       shared_from_this(), connection_);
    if (entry.contentLength) child->contentLength_ = *entry.contentLength;
    child->lastModifiedDate_ = entry.lastModified;
    if (downloading_ && !(hide && name.starts_with('.'))) {
      if (entry.isCollection) {
        descend.push_back(child);
      } else {
        queue::RemoteDownloadRequest request;
        request.url = child->downloadURLString();
        request.destinationFolder = downloadRoot_;
        request.user = user();
        request.password = connection_->password();
        request.useAuth = !request.user.empty();
        if (path_.size() > downloadRootPath_.size() && path_.starts_with(downloadRootPath_))
          request.relativeLocation = path_.substr(downloadRootPath_.size());
        queue::RemoteFilesServiceSlot::Get().AddRemoteDownload(request, downloadGroup_);
      }
    }
    items_->push_back(std::move(child));
  }
  if (wasOpen_) open();
  for (const auto& child : descend) {
    child->downloading_ = true;
    child->downloadRoot_ = downloadRoot_;
    child->downloadRootPath_ = downloadRootPath_;
    child->downloadGroup_ = downloadGroup_;
    child->refresh();
  }
  downloading_ = false;
  downloadRoot_.clear();
  downloadRootPath_.clear();
  downloadGroup_.reset();
  util::PostConnectedHostListChanged();
}

void DotMacNode::Alert(const std::string& message, const std::optional<std::string>& explanation) const {
  ui::UiServicesSlot::Get().RunStandardAlert(ui::AlertType::kCaution, message, explanation);
}

std::optional<std::string> DotMacNode::FailureExplanation(const TRDotMacTransaction& t,
                                                          bool forListing) const {
  const int type = t.errorType();
  if (type == kDMErrorLoginRefused || (type == kDMErrorOther && t.httpStatusCode() == 401))
    return L("The server did not accept the supplied login information. ");
  if (type == kDMErrorNoConnection) return L("Truvane could not establish a connection with the server.");
  if (!forListing) return std::nullopt;
  if (type == kDMErrorNotFound)
    return values::Format(L("The folder %@ does not exist on the iDisk."), {path_});
  return values::Format(L("An error of type %ld occurred."), {static_cast<std::int64_t>(t.httpStatusCode())});
}

void DotMacNode::listingFailed(TRDotMacTransaction& transaction) {
  isRefreshing_ = false;
  downloading_ = false;
  downloadGroup_.reset();
  if (hasParent()) return;
  const bool iDisk = connection_->type() == "idisk";
  Alert(values::Format(
            L(iDisk ? "The connection to the %@'s iDisk has failed." : "The connection to %@ has failed."),
            {connection_->iDiskName()}),
        FailureExplanation(transaction, true));
  // The dialog again with what failed, for the user to correct the address or login.
  ConnectDialogRequest again;
  again.preFill = (iDisk                   ? "idisk://"
                   : connection_->secure() ? "https://"
                                           : "http://") +
                  connection_->iDiskName() + path_;
  again.user = connection_->user();
  again.password = connection_->password();
  again.favouriteName = favourite_;
  DotMacNodeDisconnect(shared_from_this());
  runtime::CallHook(ConnectDialogHooksSlot::Get().openConnectDialog, again);
}

// ---- changes

void DotMacNode::createFolder(const std::string& name) {
  if (!util::ValidateFileName(name, true)) return;
  TRDotMacTransactionRef t = connection_->makeCollectionAtPath(childPath(name, false));
  Register<TRDMCreateFolderTransactionInfo>(connection_, t, shared_from_this(), name);
}

void DotMacNode::createdSubFolder(const std::string& name) {
  if (!items_) items_.emplace();
  DotMacNodeRef child = nodeWithName(name, childPath(name, true), true, shared_from_this(), connection_);
  child->lastModifiedDate_ = values::Now();
  items_->push_back(child);
  if (wasOpen_) {
    const ui::MainListItem self = Item();
    Browser().AddRows({child->Item()}, &self);
  } else {
    open();
  }
}

void DotMacNode::creatingSubFolderFailed(TRDotMacTransaction& transaction, const std::string& folderName) {
  const bool iDisk = connection_->type() == "idisk";
  Alert(values::Format(L(iDisk ? "The folder %@ could not be created on the %@'s iDisk."
                               : "The folder %@ could not be created on %@."),
                       {folderName, connection_->iDiskName()}),
        FailureExplanation(transaction, false));
}

void DotMacNode::deleteNode() {
  if (!hasParent()) return;
  TRDotMacTransactionRef t = connection_->deleteResourceAtPath(path_);
  Register<TRDMDeleteNodeTransactionInfo>(connection_, t, shared_from_this());
}

void DotMacNode::deletingSuceeded() {
  DotMacNodeRef parent = this->parent();
  if (!parent) return;
  DotMacNodeRef self = shared_from_this();
  if (parent->wasOpen_) Browser().RemoveRows({Item()});
  if (parent->items_) std::erase(*parent->items_, self);
}

void DotMacNode::deletingFailed(TRDotMacTransaction& transaction) {
  const bool iDisk = connection_->type() == "idisk";
  Alert(values::Format(L(iDisk ? "The item %@ could not be deleted from the %@'s iDisk."
                               : "The item %@ could not be deleted from %@."),
                       {name_, connection_->iDiskName()}),
        FailureExplanation(transaction, false));
}

void DotMacNode::renameTo(const std::string& name) {
  DotMacNodeRef parent = this->parent();
  if (!parent || name == name_) return;
  if (!util::ValidateFileName(name, true)) return;
  TRDotMacTransactionRef t = connection_->moveResourceAtPath(path_, parent->childPath(name, false));
  Register<TRDMRenameNodeTransactionInfo>(connection_, t, shared_from_this(), name);
}

void DotMacNode::recomputePaths() {
  if (DotMacNodeRef parent = this->parent()) setPath(parent->childPath(name_, isDirectory_));
  if (!items_) return;
  for (const auto& child : *items_) child->recomputePaths();
}

void DotMacNode::renameToFinished(const std::string& name, bool success) {
  if (success) {
    name_ = name;
    recomputePaths();
    setDefaultKind();
    Browser().UpdateColumn(1025);
    return;
  }
  const bool iDisk = connection_->type() == "idisk";
  if (iDisk) {
    Alert(values::Format(L("The item %@ could not be renamed to %@ on %@'s iDisk."),
                         {path_, name, connection_->iDiskName()}),
          std::nullopt);
  } else {
    Alert(values::Format(L("The item %@ could not be renamed to %@."), {path_, name}), std::nullopt);
  }
}

void DotMacNode::moveTo(const DotMacNodeRef& newParent) {
  if (!newParent || !hasParent() || newParent->isChildOf(*this)) return;
  TRDotMacTransactionRef t = connection_->moveResourceAtPath(path_, newParent->childPath(name_, false));
  Register<TRDMMoveNodeTransactionInfo>(connection_, t, shared_from_this(), newParent);
}

void DotMacNode::moveToFinished(const DotMacNodeRef& newParent, bool success) {
  if (!success) {
    const bool iDisk = connection_->type() == "idisk";
    if (iDisk) {
      Alert(values::Format(L("The item %@ could not be moved to the folder %@ on %@'s iDisk."),
                           {name_, newParent->name_, connection_->iDiskName()}),
            std::nullopt);
    } else {
      Alert(values::Format(L("The item %@ could not be moved to %@."), {name_, newParent->path_}),
            std::nullopt);
    }
    return;
  }
  DotMacNodeRef self = shared_from_this();
  DotMacNodeRef old = parent();
  if (!newParent->items_) newParent->items_.emplace();
  newParent->items_->push_back(self);
  if (old) {
    if (old->wasOpen_) Browser().RemoveRows({Item()});
    if (old->items_) std::erase(*old->items_, self);
  }
  parent_ = newParent;
  recomputePaths();
  if (newParent->wasOpen_) {
    const ui::MainListItem container = newParent->Item();
    Browser().AddRows({Item()}, &container);
  }
}

void DotMacNode::copyTo(const DotMacNodeRef& newParent) {
  if (!newParent || !hasParent() || newParent->isChildOf(*this)) return;
  TRDotMacTransactionRef t = connection_->copyResourceAtPath(path_, newParent->childPath(name_, false));
  Register<TRDMCopyNodeTransactionInfo>(connection_, t, shared_from_this(), newParent);
}

void DotMacNode::copyToFinished(const DotMacNodeRef& newParent, bool success) {
  if (!success) {
    const bool iDisk = connection_->type() == "idisk";
    Alert(values::Format(L(iDisk ? "The item %@ could not be copied to the folder %@ on %@'s iDisk."
                                 : "The item %@ could not be copied to the folder %@."),
                         {name_, newParent->name_, connection_->iDiskName()}),
          std::nullopt);
    return;
  }
  DotMacNodeRef copy =
      nodeWithName(name_, newParent->childPath(name_, isDirectory_), isDirectory_, newParent, connection_);
  copy->contentLength_ = contentLength_;
  copy->lastModifiedDate_ = lastModifiedDate_;
  if (!newParent->items_) newParent->items_.emplace();
  newParent->items_->push_back(copy);
  if (newParent->wasOpen_) {
    const ui::MainListItem container = newParent->Item();
    Browser().AddRows({copy->Item()}, &container);
  }
}

// ---- downloads

std::string DotMacNode::downloadURLString() const {
  return connection_ ? connection_->urlForPath(path_) : "";
}

std::uint32_t DotMacNode::addToDownloadQueue(const std::optional<std::string>& folder) {
  std::string destination;
  if (folder) {
    destination = *folder;
  } else {
    files::FileRef standard;
    if (util::GetDefaultDownloadFolder(standard)) destination = standard.Path();
  }
  if (isDirectory_) {
    if (!destination.empty()) downloadTo(destination);
    return 0xFFFFFFFFu;
  }
  if (destination.empty()) return 0;
  queue::RemoteDownloadRequest request;
  request.url = downloadURLString();
  request.destinationFolder = destination;
  request.user = user();
  request.password = connection_->password();
  request.useAuth = !request.user.empty();
  auto& queue = queue::RemoteFilesServiceSlot::Get();
  return queue.AddRemoteDownload(request, queue.BeginDownloadGroup("Add %d Downloads from iDisk"));
}

bool DotMacNode::downloadTo(const std::string& localFolder) {
  // A root is named after its favourite or host: the folder takes the last component of
  // the browsed path when there is one.
  std::string name = hasParent() ? name_ : LastComponent(path_);
  if (!SaneChildName(name)) name = SaneChildName(name_) ? name_ : connection_->iDiskName();
  if (!SaneChildName(name)) return false;
  std::string folder = localFolder;
  if (!folder.ends_with('/')) folder += '/';
  folder += name;
  if (!util::CreateDirectoryAtPath(folder)) return false;
  downloading_ = true;
  downloadRoot_ = folder;
  downloadRootPath_ = path_;
  downloadGroup_ = queue::RemoteFilesServiceSlot::Get().BeginDownloadGroup("Add %d Downloads from iDisk");
  if (isRefreshing_) return true;  // the listing under way carries the download
  refresh();
  return true;
}

// ---- re-rooting and uploads

void DotMacNode::navigateToNode(const DotMacNodeRef& target) {
  if (!isDirectory_ || !target) return;
  DotMacNodeRef old = rootNode();
  target->favourite_ = old->favourite_;
  target->name_ = old->name_;
  target->parent_.reset();
  const std::uint32_t id = connection_->hostID();
  if (target->favourite_ && FavouriteFindByName(*target->favourite_))
    FavouriteMarkConnected(*target->favourite_, id);
  old->parent_ = target;
  connection_->cancelAllTransactions();
  Roots()[id] = target;
  Browser().RemoveAllRows();
  const ui::MainListItem item = target->Item();
  Browser().AddRows({item}, nullptr);
  Browser().SetTarget(&item);
  target->open();
  util::PostConnectedHostListChanged();
}

void DotMacNode::navigateToPath(const std::string& path) {
  DotMacNodeRef root = rootNode();
  auto target = std::make_shared<DotMacNode>(root->name_, path, true, connection_);
  target->favourite_ = root->favourite_;
  navigateToNode(target);
}

bool DotMacNode::uploadToPath(const std::string& remoteFolder, const std::string& localPath) {
  const auto& hook = DAVUploadHooksSlot::Get().uploadAliasToDAVNode;
  if (!hook || !connection_) return false;
  DAVUploadTarget target;
  target.user = connection_->user();
  target.password = connection_->password();
  target.path = remoteFolder;
  if (connection_->type() == "idisk") {
    target.hostType = kHostIDisk;
    target.host = connection_->urlForPath("");
    while (target.host.ends_with('/')) target.host.pop_back();
  } else {
    target.hostType = connection_->secure() ? kHostSecureWebDAV : kHostWebDAV;
    target.host = connection_->host();
  }
  return hook(localPath, target);
}

// ---- disconnecting

void DotMacNodeDisconnect(const DotMacNodeRef& node, bool, bool) {
  if (!node) return;
  DotMacNodeRef root = node->rootNode();
  const std::uint32_t id = root->connection_ ? root->connection_->hostID() : 0;
  auto it = Roots().find(id);
  if (it == Roots().end() || it->second != root) return;
  Roots().erase(it);
  // The records of pending operations hold nodes of this tree: cancelling them lets the
  // tree go.
  root->connection_->cancelAllTransactions();
  Browser().RemoveRows({root->Item()});
  RemoveDotMacHost(id);
  if (root->favourite_) FavouriteMarkDisconnected(*root->favourite_);
  util::PostConnectedHostListChanged();
}

void DisconnectAllDotMacNodes() {
  for (const auto& root : DotMacNode::CopyRoots()) DotMacNodeDisconnect(root);
}

}  // namespace browser
