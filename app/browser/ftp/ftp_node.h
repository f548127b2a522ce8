#pragma once
// The FTP browser's tree: one `FTPNode` per folder, symbolic link or server root of a
// connected FTP or FTPS server, and the files of each listed folder.
//
// The tree does not speak FTP. Every server operation is a request queued on the root's
// command client (engine::FTPConnectionParam in queue mode); the client reports through its
// callback (FTPBrowserClientCallback, ftp_browser_events.cpp), and the tree changes only when
// the server has answered: a rename, move or delete that the server refuses changes nothing
// here. A folder's children are exactly its last delivered listing (`items`, replaced whole).
//
// Roots live in a registry keyed by their `ftpHostID` (counted from 0x80000000), which holds
// the only reference: FTPNodeDisconnect removes a root and with it its tree. A child reaches
// the connection, the favourite and the log through its root. A remote file is a
// `RemoteFile` here and, for the main list, the download record the queue made for it (a row
// of kind kDownload that is never in the queue).
//
// The rows follow the tree through ui::MainListBrowser: a node that is open shows its items
// under its own row. Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/ftp/ftp_listing_reader.h"
#include "app/browser/services/remote_rows.h"
#include "app/engine/ftp/ftp_connection.h"
#include "app/queue/services/remote_files_service.h"
#include "app/ui/services/main_list_browser.h"

namespace browser {

class FTPNode;
class FTPLister;
using FTPNodeRef = std::shared_ptr<FTPNode>;

inline constexpr std::uint32_t kFirstFTPHostID = 0x80000000u;
inline constexpr std::uint32_t kLastFTPHostID = 0xBFFFFFFEu;
// The list's Name column.
inline constexpr std::uint32_t kNameProperty = 1025;

// One file of a listing.
struct RemoteFile {
  std::uint32_t hostID = 0;
  std::string name;
  std::string url;
  std::int64_t size = -1;
  std::optional<double> modified;  // absolute time
  std::string owner, group;
  std::uint32_t mode = 0;
  std::vector<std::weak_ptr<FTPNode>> folders;  // the folders whose listing holds it
  queue::RemoteHandle record;                   // the row's download record; may be null
};
using RemoteFileRef = std::shared_ptr<RemoteFile>;

// An entry of a folder: a node or a file.
struct FTPItem {
  FTPNodeRef node;
  RemoteFileRef file;
  const std::string& name() const;
  bool operator==(const FTPItem& o) const { return node == o.node && file == o.file; }
};

class FTPNode : public FTPNodeRow, public std::enable_shared_from_this<FTPNode> {
 public:
  FTPNode(std::string name, std::uint32_t ftpHostID);
  ~FTPNode() override;

  // FTPNodeRow
  bool hasParent() const override { return !parent_.expired(); }
  std::string name() const override { return name_; }
  std::string host() const override { return host_; }
  std::string path() const override { return path_; }
  bool secure() const override { return secure_; }
  std::optional<std::string> owner() const override { return owner_; }
  std::optional<std::string> group() const override { return group_; }
  std::uint32_t mode() const override { return mode_; }
  std::string user() const override { return user_; }
  std::string password() const override;
  std::optional<double> modificationDate() const override { return modificationDate_; }
  bool wasOpen() const override { return wasOpen_; }
  void Rename(const std::string& name) override;
  const std::string& nameRef() const { return name_; }

  // The row of this node in the main list.
  ui::MainListItem Item();
  std::shared_ptr<FTPNodeRow> Row() { return std::static_pointer_cast<FTPNodeRow>(shared_from_this()); }

  // Tree.
  FTPNodeRef parent() const { return parent_.lock(); }
  FTPNodeRef rootNode() const;
  bool isRoot() const { return parent_.expired(); }
  std::uint32_t ftpHostID() const { return ftpHostID_; }
  const std::optional<std::vector<FTPItem>>& items() const { return items_; }
  bool isAParentOf(const FTPNode& node) const;
  bool isLink() const { return isLink_; }
  bool busy() const { return busy_; }
  bool connected() const { return connected_; }
  const std::string& pass() const { return pass_; }
  const std::optional<std::string>& favourite() const { return favourite_; }
  void setFavourite(std::optional<std::string> name) { favourite_ = std::move(name); }
  bool listing() const { return lister_ != nullptr; }
  const std::string& log() const { return log_; }
  // The URL of this folder (ftp://host/path/), with the root's user and password copied in.
  std::optional<std::string> buildURL();

  void open();
  void openIfItemsAvailable();
  void close();
  void refresh();
  void newItems(std::vector<FTPItem> items);
  void clearUpFiles();
  void updatePaths();

  // Server operations (each queues a request once the root's connection is usable).
  void deleteFromServer();
  void renameItem(const FTPItem& item, const std::string& newName);
  void moveItem(const FTPItem& item, const FTPNodeRef& newParent);
  void deleteFile(const RemoteFileRef& file);
  // Queues downloads of this folder's tree into `localFolder` + this node's name; false
  // when the local folder cannot be made.
  bool downloadTo(const std::string& localFolder);
  // Uploads the local file into the folder `path` of this connection.
  bool uploadToPath(const std::string& path, const std::string& localPath);
  void navigateToPath(const std::string& path);
  void refreshConnection();
  engine::FTPConnectionParam* connection() const { return connection_.get(); }
  // The root's connection, replaced first when missing or unusable.
  engine::FTPConnectionParam* openConnection();
  void appendLog(const std::string& text);

 private:
  friend FTPNodeRef FTPNodeCreateRoot(const std::string& location, const std::optional<std::string>& user,
                                      const std::optional<std::string>& password,
                                      const std::optional<std::string>& favourite, bool secure);
  friend class FTPLister;
  friend void FTPBrowserClientCallback(engine::FTPConnectionParam& connection, engine::FTPMessage message,
                                       const std::optional<std::string>& text, const FTPNodeRef& root,
                                       bool& stop);
  friend void FTPNodeDisconnect(const FTPNodeRef& node, bool, bool);
  friend class FTPBrowserEvents;

  FTPNodeRef MakeChild(const std::string& name) const;
  void InheritFrom(const FTPNode& parent);
  void AddItemRows(const std::vector<FTPItem>& items);
  void RemoveItemRows();
  void SetBusy(bool busy);
  void StartListing();
  void InstallConnection(std::unique_ptr<engine::FTPConnectionParam> connection);
  void saveOpenedFolders();
  void recallOpenedFolders();

  std::string name_;
  std::uint32_t ftpHostID_;
  std::optional<std::vector<FTPItem>> items_;
  std::weak_ptr<FTPNode> parent_;
  std::shared_ptr<FTPLister> lister_;
  bool wasOpen_ = false;
  std::string path_;
  std::uint32_t mode_ = 0;
  std::optional<std::string> owner_, group_;
  std::optional<double> modificationDate_;
  std::string user_, pass_, host_;
  std::optional<std::string> favourite_;
  std::map<std::string, std::shared_ptr<void>> savedFolders_;  // child name -> its own map
  bool savedFoldersSet_ = false;
  std::unique_ptr<engine::FTPConnectionParam> connection_;
  bool secure_ = false;
  bool deletingSelf_ = false;
  bool isLink_ = false;
  bool downloading_ = false;
  std::string downloadRoot_;      // the local folder of a recursive download
  std::string downloadRootPath_;  // "/" + the remote path the download started at
  queue::RemoteHandle downloadGroup_;
  bool busy_ = false;
  bool connected_ = false;
  int repairs_ = 0;  // silent repairs since the last login that ran a request
  std::string log_;
};

// The listing of one folder (one "ListFolder" request): reads the data connection as it
// arrives and delivers the entries once, at the end of the data or when aborted.
class FTPLister : public std::enable_shared_from_this<FTPLister> {
 public:
  FTPLister(const FTPNodeRef& target, std::string path);
  // Queues the request on the root's connection (made first when needed); false when the
  // tree has no root or no URL.
  bool start();
  void abort();
  void finish();
  void OnData(engine::FTPConnectionParam& connection, engine::FTPDataEvent event);
  // Bytes of the listing as they arrive (OnData reads them from the data connection).
  void Take(std::string_view bytes);
  void ClearItems() {
    currentItems_.clear();
    reader_ = FTPListingReader();
  }
  const std::string& path() const { return path_; }
  bool finished() const { return finished_; }

 private:
  void Deliver();
  void AddEntry(engine::FTPResource&& resource);

  std::weak_ptr<FTPNode> target_;
  std::uint32_t ftpHostID_;
  std::string path_;
  std::string baseUrl_;
  std::string user_, pass_;
  bool secure_ = false;
  FTPListingReader reader_;
  std::vector<FTPItem> currentItems_;
  bool finished_ = false;
};

// The registry of roots.
FTPNodeRef FTPNodeForHostID(std::uint32_t ftpHostID);
std::vector<FTPNodeRef> CopyFTPRootNodes();
// A new root for "[ftp://|ftps://]host[:port][/path]"; nothing when no URL can be made.
// The connection is not opened here (ConnectFTPServer does that).
FTPNodeRef FTPNodeCreateRoot(const std::string& location, const std::optional<std::string>& user,
                             const std::optional<std::string>& password,
                             const std::optional<std::string>& favourite, bool secure);
// Closes the whole host of any node of the tree; the flags are there for symmetry with the
// other host kinds.
void FTPNodeDisconnect(const FTPNodeRef& node, bool prompt = false, bool keepUploads = false);
// The file of a listing behind a download record the queue made for it.
RemoteFileRef RemoteFileForRecord(const void* record);

// The client callback of every root's connection.
void FTPBrowserClientCallback(engine::FTPConnectionParam& connection, engine::FTPMessage message,
                              const std::optional<std::string>& text, const FTPNodeRef& root, bool& stop);

// The certificate question for a root whose server's certificate is not trusted: accepted,
// the connection is made again and the root listed; refused, the host is disconnected.
void AskFTPBrowserCertificateTrust(const FTPNodeRef& node, const net::CertificateChain& certificates,
                                   int tlsError);

// How the tree makes its connections; tests put in one with their own certificate roots.
using FTPConnectionFactory = std::function<std::unique_ptr<engine::FTPConnectionParam>(
    const values::Url& url, const std::string& user, const std::string& password)>;
void SetFTPConnectionFactory(FTPConnectionFactory factory);

// Times a lost connection is repaired, or a failed transfer replayed, before the request
// fails with its alert: a server that always drops must not be reconnected to forever.
inline constexpr int kMaxFTPRepairs = 3;

}  // namespace browser
