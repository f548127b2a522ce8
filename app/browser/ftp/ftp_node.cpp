#include "app/browser/ftp/ftp_node.h"

#include <cstdio>
#include <unordered_map>

#include "app/browser/favourites/favourites.h"
#include "app/browser/ftp/ftp_urls.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/engine/ftp/ftp_request_queue.h"
#include "app/engine/ftp/ftp_socket_io.h"
#include "app/util/desktop/notification_bridges.h"
#include "app/util/files/file_bridges.h"
#include "app/util/files/file_names.h"
#include "app/util/files/path_utilities.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/clock.h"

namespace browser {
namespace {

using engine::FTPConnectionParam;
using engine::FTPRequest;
using engine::FTPRequestType;

// The data connection is read in pieces of this size; only the unparsed rest of the last
// line is kept between pieces.
constexpr std::size_t kListingReadSize = 24576;

std::map<std::uint32_t, FTPNodeRef>& Roots() {
  static std::map<std::uint32_t, FTPNodeRef> roots;
  return roots;
}

std::uint32_t& NextHostID() {
  static std::uint32_t next = kFirstFTPHostID;
  return next;
}

std::unordered_map<const void*, std::weak_ptr<RemoteFile>>& FilesByRecord() {
  static std::unordered_map<const void*, std::weak_ptr<RemoteFile>> files;
  return files;
}

FTPConnectionFactory& Factory() {
  static FTPConnectionFactory factory;
  return factory;
}

ui::MainListBrowser& Browser() {
  return ui::MainListBrowserSlot::Get();
}

ui::MainListItem FileItem(const RemoteFile& file) {
  return ui::MainListItem{ui::RowKind::kDownload, file.record};
}

bool HideHiddenFiles() {
  return util::ReadSetting(util::kHideHiddenFilesKey);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The connection's record is dropped on a later pass of the loop: the command client may
// still be on the stack below the callback that replaced it.
void RetireConnection(std::unique_ptr<FTPConnectionParam> connection) {
  if (!connection) return;
  engine::FTPConnectionClose(*connection);
  std::shared_ptr<FTPConnectionParam> keep(std::move(connection));
  runtime::RunLoop::Current()->Perform([keep] {});
}

std::string AnonymousPassword() {
  return util::ReadSetting(util::kAnonymousFTPPasswordKey);
}

}  // namespace

const std::string& FTPItem::name() const {
  return node ? node->nameRef() : file->name;
}

// ---- Registry ----

FTPNodeRef FTPNodeForHostID(std::uint32_t ftpHostID) {
  auto it = Roots().find(ftpHostID);
  return it == Roots().end() ? nullptr : it->second;
}

std::vector<FTPNodeRef> CopyFTPRootNodes() {
  std::vector<FTPNodeRef> out;
  for (auto& [id, node] : Roots()) out.push_back(node);
  return out;
}

RemoteFileRef RemoteFileForRecord(const void* record) {
  auto it = FilesByRecord().find(record);
  if (it == FilesByRecord().end()) return nullptr;
  RemoteFileRef file = it->second.lock();
  if (!file) FilesByRecord().erase(it);
  return file;
}

void SetFTPConnectionFactory(FTPConnectionFactory factory) {
  Factory() = std::move(factory);
}

FTPNodeRef FTPNodeCreateRoot(const std::string& location, const std::optional<std::string>& user,
                             const std::optional<std::string>& password,
                             const std::optional<std::string>& favourite, bool secure) {
  std::string rest = location;
  if (rest.starts_with("ftp://")) rest.erase(0, 6);
  if (rest.starts_with("ftps://")) {
    rest.erase(0, 7);
    secure = true;
  }
  const std::uint32_t id = NextHostID();
  auto root = std::make_shared<FTPNode>(favourite ? *favourite : rest, id);
  if (!user || user->empty()) {
    root->user_ = "anonymous";
    root->pass_ = AnonymousPassword();
  } else {
    root->user_ = *user;
    root->pass_ = password.value_or("");
  }
  const std::size_t slash = rest.find('/');
  root->host_ = rest.substr(0, slash);
  root->path_ = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  root->secure_ = secure;
  if (root->host_.empty() || !FTPFolderURL(root->host_, root->path_, secure, false)) return nullptr;
  NextHostID() = id >= kLastFTPHostID ? kFirstFTPHostID : id + 1;
  root->favourite_ = favourite;
  root->wasOpen_ = true;
  Roots()[id] = root;
  return root;
}

// ---- FTPNode ----

FTPNode::FTPNode(std::string name, std::uint32_t ftpHostID) : name_(std::move(name)), ftpHostID_(ftpHostID) {}

FTPNode::~FTPNode() {
  if (connection_) RetireConnection(std::move(connection_));
}

ui::MainListItem FTPNode::Item() {
  return ui::MakeListItem(ui::RowKind::kFTPNode, Row());
}

std::string FTPNode::password() const {
  return pass_;
}

FTPNodeRef FTPNode::rootNode() const {
  return FTPNodeForHostID(ftpHostID_);
}

bool FTPNode::isAParentOf(const FTPNode& node) const {
  for (const FTPNode* n = &node; n;) {
    if (n == this) return true;
    FTPNodeRef p = n->parent();
    n = p.get();
  }
  return false;
}

void FTPNode::InheritFrom(const FTPNode& parent) {
  secure_ = parent.secure_;
  host_ = parent.host_;
  user_ = parent.user_;
  pass_ = parent.pass_;
}

FTPNodeRef FTPNode::MakeChild(const std::string& name) const {
  auto child = std::make_shared<FTPNode>(name, ftpHostID_);
  child->InheritFrom(*this);
  child->parent_ = std::const_pointer_cast<FTPNode>(shared_from_this());
  child->path_ = JoinPath(path_, name);
  return child;
}

std::optional<std::string> FTPNode::buildURL() {
  FTPNodeRef root = rootNode();
  if (!root) return std::nullopt;
  user_ = root->user_;
  pass_ = root->pass_;
  return FTPFolderURL(root->host_, path_, root->secure_, true);
}

void FTPNode::appendLog(const std::string& text) {
  FTPNodeRef root = rootNode();
  FTPNode& target = root ? *root : *this;
  target.log_ += text;
  // The log of a long session is kept to its last megabyte.
  constexpr std::size_t kLogLimit = 1 << 20;
  if (target.log_.size() > kLogLimit) target.log_.erase(0, target.log_.size() - kLogLimit);
}

void FTPNode::SetBusy(bool busy) {
  busy_ = busy;
  SetFTPHostRowBusy(ftpHostID_, busy);
}

// ---- Connection ----

void FTPNode::InstallConnection(std::unique_ptr<FTPConnectionParam> c) {
  if (connection_) {
    std::fprintf(stderr, "ftp lister clearing up connection\n");
    RetireConnection(std::move(connection_));
  }
  const std::uint32_t id = ftpHostID_;
  c->queue_mode = true;
  c->tls_level = secure_ ? engine::kFTPTlsRequired : engine::kFTPTlsNone;
  c->callback = [id](FTPConnectionParam& connection, engine::FTPMessage message,
                     const std::optional<std::string>& text, bool& stop) {
    FTPNodeRef root = FTPNodeForHostID(id);
    // A connection that was replaced or whose tree is gone reports to nobody.
    if (!root || root->connection_.get() != &connection) return;
    FTPBrowserClientCallback(connection, message, text, root, stop);
  };
  c->data_callback = [id](FTPConnectionParam& connection, engine::FTPDataEvent event) {
    FTPNodeRef root = FTPNodeForHostID(id);
    if (!root || root->connection_.get() != &connection || connection.request_queue.empty()) return;
    const FTPRequest& r = connection.request_queue.front();
    if (r.type != FTPRequestType::kListFolder || !r.client) {
      if (event == engine::FTPDataEvent::kEnd) engine::FTPConnectionCloseDataConnection(connection);
      return;
    }
    std::static_pointer_cast<FTPLister>(r.client)->OnData(connection, event);
  };
  connection_ = std::move(c);
}

void FTPNode::refreshConnection() {
  FTPNodeRef root = rootNode();
  if (root && root.get() != this) return root->refreshConnection();
  const std::string url = (secure_ ? "ftps://" : "ftp://") + host_ + "/";
  auto parsed = values::Url::Create(url);
  if (!parsed) return;
  std::unique_ptr<FTPConnectionParam> c =
      Factory() ? Factory()(*parsed, user_, pass_) : engine::FTPConnectionCreate(*parsed, user_, pass_);
  if (!c) {
    appendLog("\rThe connection to " + host_ + " could not be made.\r");
    return;
  }
  InstallConnection(std::move(c));
  engine::FTPConnectionOpen(*connection_);
}

engine::FTPConnectionParam* FTPNode::openConnection() {
  FTPNodeRef root = rootNode();
  if (!root) return nullptr;
  if (!root->connection_ || !engine::FTPConnectionIsUsable(*root->connection_)) root->refreshConnection();
  return root->connection_.get();
}

// ---- Rows ----

void FTPNode::AddItemRows(const std::vector<FTPItem>& items) {
  const bool hide = HideHiddenFiles();
  std::vector<ui::MainListItem> rows;
  rows.reserve(items.size());
  for (const FTPItem& item : items) {
    if (hide && item.name().starts_with('.')) continue;
    if (item.node) {
      rows.push_back(item.node->Item());
    } else if (item.file->record) {
      rows.push_back(FileItem(*item.file));
    }
  }
  const ui::MainListItem self = Item();
  Browser().AddRows(rows, &self);
}

void FTPNode::RemoveItemRows() {
  const ui::MainListItem self = Item();
  Browser().RemoveRows(Browser().Rows(&self));
}

// ---- Listing ----

void FTPNode::StartListing() {
  if (lister_) return;
  auto lister = std::make_shared<FTPLister>(shared_from_this(), path_);
  lister_ = lister;
  if (!lister->start()) {
    lister_.reset();
    return;
  }
  SetFTPHostRowBusy(ftpHostID_, true);
}

void FTPNode::open() {
  if (!items_) {
    StartListing();
    if (lister_) {
      wasOpen_ = true;
      busy_ = false;
    }
    return;
  }
  wasOpen_ = true;
  RemoveItemRows();
  AddItemRows(*items_);
  for (const FTPItem& item : *items_)
    if (item.node) item.node->openIfItemsAvailable();
  recallOpenedFolders();
}

void FTPNode::openIfItemsAvailable() {
  if (!items_ || !wasOpen_) return;
  AddItemRows(*items_);
  for (const FTPItem& item : *items_)
    if (item.node) item.node->openIfItemsAvailable();
  recallOpenedFolders();
}

void FTPNode::close() {
  RemoveItemRows();
  saveOpenedFolders();
  wasOpen_ = false;
}

void FTPNode::refresh() {
  saveOpenedFolders();
  if (lister_) return;
  StartListing();
  if (lister_) busy_ = false;
}

void FTPNode::saveOpenedFolders() {
  savedFolders_.clear();
  if (!items_) return;
  for (const FTPItem& item : *items_) {
    if (!item.node || !item.node->wasOpen_) continue;
    item.node->saveOpenedFolders();
    savedFolders_[item.node->name_] =
        std::make_shared<std::map<std::string, std::shared_ptr<void>>>(item.node->savedFolders_);
  }
  savedFoldersSet_ = true;
}

void FTPNode::recallOpenedFolders() {
  if (!items_ || !savedFoldersSet_) return;
  auto saved = std::move(savedFolders_);
  savedFolders_.clear();
  savedFoldersSet_ = false;
  for (const FTPItem& item : *items_) {
    if (!item.node) continue;
    auto it = saved.find(item.node->name_);
    if (it == saved.end()) continue;
    item.node->savedFolders_ =
        *std::static_pointer_cast<std::map<std::string, std::shared_ptr<void>>>(it->second);
    item.node->savedFoldersSet_ = true;
    item.node->open();
  }
}

void FTPNode::newItems(std::vector<FTPItem> items) {
  lister_.reset();
  RemoveItemRows();
  const bool hide = HideHiddenFiles();
  std::vector<FTPNodeRef> toDelete, toDownload;
  auto self = shared_from_this();
  for (FTPItem& item : items) {
    if (item.node) {
      item.node->InheritFrom(*this);
      item.node->parent_ = self;
      item.node->path_ = JoinPath(path_, item.node->name_);
      if (deletingSelf_) toDelete.push_back(item.node);
      // Links are not followed by a recursive download: a link to a parent folder would
      // never end.
      if (downloading_ && !item.node->isLink_ && !(hide && item.node->name_.starts_with('.')))
        toDownload.push_back(item.node);
      continue;
    }
    item.file->folders.push_back(self);
    if (deletingSelf_) deleteFile(item.file);
    if (downloading_ && !(hide && item.file->name.starts_with('.'))) {
      queue::RemoteDownloadRequest r;
      r.url = item.file->url;
      r.connections = 2;
      r.destinationFolder = downloadRoot_;
      r.user = user_;
      r.password = pass_;
      r.useAuth = !user_.empty() && !pass_.empty() && user_ != "anonymous";
      r.relativeLocation = util::CopyPathRelativeToBase(downloadRootPath_, "/" + path_);
      queue::RemoteFilesServiceSlot::Get().AddRemoteDownload(r, downloadGroup_);
    }
  }
  for (const FTPNodeRef& child : toDelete) child->deleteFromServer();
  items_ = std::move(items);
  if (deletingSelf_ && items_->empty()) {
    if (FTPNodeRef p = parent()) {
      if (FTPConnectionParam* c = openConnection())
        engine::FTPConnectionQueueRemoveFolder(*c, path_, isLink_, p,
                                               std::make_shared<FTPItem>(FTPItem{self, {}}));
    }
  }
  SetBusy(false);
  for (const FTPNodeRef& child : toDownload) {
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
  if (wasOpen_ || savedFoldersSet_) open();
  util::PostConnectedHostListChanged();
}

void FTPNode::clearUpFiles() {
  if (items_) {
    for (const FTPItem& item : *items_)
      if (item.node) item.node->clearUpFiles();
  }
  items_.reset();
}

void FTPNode::updatePaths() {
  if (!items_) return;
  const std::optional<std::string> folderURL = buildURL();
  for (const FTPItem& item : *items_) {
    if (item.node) {
      item.node->path_ = JoinPath(path_, item.node->name_);
      item.node->updatePaths();
    } else if (folderURL) {
      if (auto url = FTPFileURL(*folderURL, item.file->name)) {
        item.file->url = *url;
        queue::RemoteFilesServiceSlot::Get().SetRemoteFileName(item.file->record, item.file->name, *url);
      }
    }
  }
}

// ---- Server operations ----

void FTPNode::deleteFromServer() {
  FTPNodeRef p = parent();
  if (!p) return;  // a root is never deleted
  auto self = shared_from_this();
  if (isLink_) {
    if (FTPConnectionParam* c = openConnection())
      engine::FTPConnectionQueueRemoveFolder(*c, path_, true, p,
                                             std::make_shared<FTPItem>(FTPItem{self, {}}));
    return;
  }
  deletingSelf_ = true;
  if (items_) {
    // Listed already: the deletions go out now; the folder itself once it is empty.
    std::vector<FTPItem> items = *items_;
    for (const FTPItem& item : items) {
      if (item.node) {
        item.node->deleteFromServer();
      } else {
        deleteFile(item.file);
      }
    }
    if (items.empty()) {
      if (FTPConnectionParam* c = openConnection())
        engine::FTPConnectionQueueRemoveFolder(*c, path_, false, p,
                                               std::make_shared<FTPItem>(FTPItem{self, {}}));
    }
    return;
  }
  StartListing();
  if (lister_) SetBusy(true);
}

void FTPNode::deleteFile(const RemoteFileRef& file) {
  FTPConnectionParam* c = openConnection();
  if (!c) return;
  engine::FTPConnectionQueueDeleteFile(*c, JoinPath(path_, file->name), shared_from_this(),
                                       std::make_shared<FTPItem>(FTPItem{{}, file}));
}

void FTPNode::renameItem(const FTPItem& item, const std::string& newName) {
  if (!util::ValidateFileName(newName, true)) return;
  const std::string& oldName = item.name();
  if (oldName == newName) return;
  FTPConnectionParam* c = openConnection();
  if (!c) return;
  auto self = shared_from_this();
  engine::FTPConnectionQueueMove(*c, JoinPath(path_, oldName), JoinPath(path_, newName), std::nullopt,
                                 std::make_shared<FTPItem>(item), self, self);
}

void FTPNode::moveItem(const FTPItem& item, const FTPNodeRef& newParent) {
  if (!newParent || newParent.get() == this) return;
  if (item.node && item.node->isAParentOf(*newParent)) return;
  FTPConnectionParam* c = openConnection();
  if (!c) return;
  const std::string& name = item.name();
  engine::FTPConnectionQueueMove(*c, JoinPath(path_, name), JoinPath(newParent->path_, name), std::nullopt,
                                 std::make_shared<FTPItem>(item), shared_from_this(), newParent);
}

void FTPNode::Rename(const std::string& name) {
  if (FTPNodeRef p = parent()) p->renameItem(FTPItem{shared_from_this(), {}}, name);
}

bool FTPNode::downloadTo(const std::string& localFolder) {
  std::string name = name_;
  if (name.starts_with("ftp://")) name.erase(0, 6);
  if (name.starts_with("ftps://")) name.erase(0, 7);
  // A root is named by its host and path: only the last component makes the folder.
  if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
  if (name.empty()) name = host_;
  const std::string folder = JoinPath(localFolder, name);
  if (!util::CreateDirectoryAtPath(folder)) return false;
  downloading_ = true;
  downloadRoot_ = folder;
  downloadRootPath_ = "/" + path_;
  downloadGroup_ =
      queue::RemoteFilesServiceSlot::Get().BeginDownloadGroup("Add %d Downloads from FTP server");
  // A fresh listing carries the download into every sub-folder.
  if (lister_) return true;
  StartListing();
  return lister_ != nullptr || !items_;
}

bool FTPNode::uploadToPath(const std::string& path, const std::string& localPath) {
  FTPNodeRef root = rootNode();
  if (!root) return false;
  // The tree's paths start at the server's root, an upload's at the login folder: "%2F" says
  // the path is absolute, as in the tree's download URLs.
  FTPUploadTarget target{root->host_, "%2F" + (path.starts_with('/') ? path.substr(1) : path), root->user_,
                         root->pass_, root->secure_};
  const auto& hook = FTPUploadHooksSlot::Get().uploadAliasToFTPNode;
  const bool queued = hook && hook(localPath, target);
  if (!queued) appendLog("\rThe file " + localPath + " could not be queued for upload.\r");
  return queued;
}

void FTPNode::navigateToPath(const std::string& path) {
  FTPNodeRef old = rootNode();
  if (!old || old->busy_) return;
  auto fresh = std::make_shared<FTPNode>(old->name_, old->ftpHostID_);
  fresh->InheritFrom(*old);
  fresh->favourite_ = old->favourite_;
  fresh->connected_ = true;
  fresh->wasOpen_ = true;
  fresh->path_ = path.starts_with('/') ? path.substr(1) : path;
  fresh->log_ = std::move(old->log_);
  if (old->connection_ && old->connection_->request_queue.empty()) {
    fresh->connection_ = std::move(old->connection_);
  } else if (old->connection_) {
    RetireConnection(std::move(old->connection_));
  }
  Browser().RemoveAllRows();
  Roots()[fresh->ftpHostID_] = fresh;
  if (fresh->favourite_) FavouriteMarkConnected(*fresh->favourite_, fresh->ftpHostID_);
  const ui::MainListItem item = fresh->Item();
  Browser().AddRows({item}, nullptr);
  Browser().SetTarget(&item);
  fresh->open();
  util::PostConnectedHostListChanged();
}

// ---- Disconnecting ----

void FTPNodeDisconnect(const FTPNodeRef& node, bool, bool) {
  if (!node) return;
  FTPNodeRef root = node->rootNode();
  if (!root) return;
  const std::uint32_t id = root->ftpHostID_;
  root->clearUpFiles();
  RemoveFTPHost(id);
  if (root->favourite_) FavouriteMarkDisconnected(*root->favourite_);
  const ui::MainListItem item = root->Item();
  Browser().RemoveRows({item});
  if (root->connection_) RetireConnection(std::move(root->connection_));
  Roots().erase(id);
  util::PostConnectedHostListChanged();
}

// ---- FTPLister ----

FTPLister::FTPLister(const FTPNodeRef& target, std::string path)
    : target_(target), ftpHostID_(target->ftpHostID()), path_(std::move(path)) {}

bool FTPLister::start() {
  FTPNodeRef target = target_.lock();
  FTPNodeRef root = target ? target->rootNode() : nullptr;
  if (!root) return false;
  user_ = root->user_;
  pass_ = root->pass_;
  secure_ = root->secure_;
  auto base = FTPFolderURL(root->host_, path_, secure_, true);
  if (!base) return false;
  baseUrl_ = *base;
  FTPConnectionParam* c = target->openConnection();
  if (!c) return false;
  engine::FTPConnectionQueueListFolder(*c, path_, shared_from_this());
  return true;
}

void FTPLister::AddEntry(engine::FTPResource&& r) {
  if (r.type == engine::kFTPResourceFile) {
    auto url = FTPFileURL(baseUrl_, r.name);
    if (!url) return;
    auto file = std::make_shared<RemoteFile>();
    file->hostID = ftpHostID_;
    file->name = std::move(r.name);
    file->url = std::move(*url);
    file->size = r.size && *r.size > 0 ? *r.size : -1;
    if (r.modified) file->modified = r.modified->seconds;
    file->owner = std::move(r.owner);
    file->group = std::move(r.group);
    file->mode = r.mode ? static_cast<std::uint32_t>(*r.mode) : 0;
    queue::RemoteFileFacts facts;
    facts.hostID = ftpHostID_;
    facts.name = file->name;
    facts.url = file->url;
    facts.size = file->size;
    facts.modified = file->modified;
    facts.useAuth = !user_.empty() && !pass_.empty() && user_ != "anonymous";
    facts.user = user_;
    facts.password = pass_;
    if (!file->owner.empty()) facts.owner = file->owner;
    if (!file->group.empty()) facts.group = file->group;
    facts.mode = file->mode;
    file->record = queue::RemoteFilesServiceSlot::Get().MakeRemoteFileRecord(facts);
    if (file->record) FilesByRecord()[file->record.get()] = file;
    currentItems_.push_back(FTPItem{{}, std::move(file)});
    return;
  }
  auto node = std::make_shared<FTPNode>(r.name, ftpHostID_);
  if (r.type == engine::kFTPResourceLink) {
    node->isLink_ = true;
  } else {
    if (!r.owner.empty()) node->owner_ = r.owner;
    if (!r.group.empty()) node->group_ = r.group;
    node->mode_ = r.mode ? static_cast<std::uint32_t>(*r.mode) : 0;
    if (r.modified) node->modificationDate_ = r.modified->seconds;
  }
  currentItems_.push_back(FTPItem{std::move(node), {}});
}

void FTPLister::OnData(FTPConnectionParam& c, engine::FTPDataEvent event) {
  if (finished_) return;
  auto add = [this](engine::FTPResource&& r) { AddEntry(std::move(r)); };
  switch (event) {
    case engine::FTPDataEvent::kHasBytes: {
      char buffer[kListingReadSize];
      while (true) {
        std::size_t got = 0;
        const engine::FTPDataResult result = engine::FTPConnectionReadData(c, buffer, sizeof buffer, got);
        if (got > 0) Take(std::string_view(buffer, got));
        if (result == engine::FTPDataResult::kOk) continue;
        if (result == engine::FTPDataResult::kEnd) {
          reader_.Finish(add);
          engine::FTPConnectionCloseDataConnection(c);
        }
        // An error ends the data; the server's reply (or the lost connection) decides.
        return;
      }
    }
    case engine::FTPDataEvent::kEnd:
      reader_.Finish(add);
      engine::FTPConnectionCloseDataConnection(c);
      return;
    case engine::FTPDataEvent::kCanWrite:
    case engine::FTPDataEvent::kError:
      return;
  }
}

void FTPLister::Take(std::string_view bytes) {
  if (finished_) return;
  reader_.Feed(bytes, [this](engine::FTPResource&& r) { AddEntry(std::move(r)); });
}

void FTPLister::abort() {
  if (finished_) return;
  std::fprintf(stderr, "FTPLister:abort\n");
  Deliver();
}

void FTPLister::finish() {
  if (finished_) return;
  reader_.Finish([this](engine::FTPResource&& r) { AddEntry(std::move(r)); });
  Deliver();
}

void FTPLister::Deliver() {
  finished_ = true;
  FTPNodeRef target = target_.lock();
  std::vector<FTPItem> items = std::move(currentItems_);
  currentItems_.clear();
  if (target) target->newItems(std::move(items));
}

}  // namespace browser
