#include "app/sharing/install/sharing_services.h"

#include <memory>
#include <mutex>

#include "app/engine/services/peer_session_service.h"
#include "app/sharing/client/peer_host_record.h"
#include "app/sharing/client/sharing_client.h"
#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/fileserver/file_server_events.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/received/received_files.h"
#include "app/sharing/server/sharing_server.h"
#include "app/sharing/server/sharing_session.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/received_file_service.h"
#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/sharing/trust/host_policy_manager.h"
#include "app/ui/services/main_list_browser.h"
#include "app/upload/services/received_files_archive.h"
#include "app/upload/services/upload_queue_service.h"
#include "platform/runtime/event_target.h"

namespace sharing {
namespace {

std::optional<std::string> BonjourNameOf(const PeerHostRecord& r) {
  if (!r.bonjourKey) return std::nullopt;
  if (auto peer = FindBonjourPeer(*r.bonjourKey)) return peer->serviceName;
  return r.bonjourKey;
}

PeerHost CopyOf(const PeerHostRecord& r) {
  PeerHost h;
  std::lock_guard lock(r.region);
  h.hostID = r.hostID;
  h.address = r.host;
  h.port = r.port;
  h.user = r.user;
  h.password = r.password;
  h.displayName = r.name;
  h.bonjourName = BonjourNameOf(r);
  h.favouriteName = r.favouriteName;
  for (const auto& [uid, f] : r.folders) {
    SharedFolder folder;
    folder.uid = uid;
    folder.hostID = r.hostID;
    folder.name = f.name;
    folder.hasItems =
        uid == kReceivedFilesFolderUID || (uid >= kFirstUserFolderUID && (f.flags & kFolderFlagSmart) == 0);
    for (const auto& [itemUID, item] : f.items) {
      SharedItem s;
      s.uid = itemUID;
      s.hostID = r.hostID;
      s.urlData = item.urlData;
      s.connections = item.connections;
      s.useAuth = item.useAuth;
      s.authUser = item.authUser;
      s.authPassword = item.authPassword;
      folder.items.push_back(std::move(s));
    }
    h.folders.push_back(std::move(folder));
  }
  return h;
}

class PeerHosts : public PeerHostsService {
 public:
  std::vector<PeerHost> CopyPeerHosts() override {
    std::vector<PeerHostRef> records;
    {
      std::lock_guard lock(PeerTableRegion());
      for (const auto& [id, r] : PeerHostTable()) records.push_back(r);
    }
    std::vector<PeerHost> out;
    for (const auto& r : records) out.push_back(CopyOf(*r));
    return out;
  }
  std::optional<PeerHost> CopyPeerHost(std::uint32_t hostID) override {
    const PeerHostRef r = FindPeerHost(hostID);
    if (!r) return std::nullopt;
    return CopyOf(*r);
  }
  std::int32_t ConnectToSharingPeerSilently(const std::string& address, const std::string& user,
                                            const std::string& password) override {
    return sharing::ConnectToSharingPeerSilently(address, user, password, std::nullopt);
  }
  bool RefreshSharingHost(std::uint32_t hostID) override { return sharing::RefreshSharingHost(hostID); }
  bool DisconnectPeer(std::uint32_t hostID) override {
    if (!RemovePeerHost(hostID)) return false;
    ForgetBonjourPeerConnection(hostID);
    return true;
  }
  void SetFavouriteName(std::uint32_t hostID, const std::string& name) override {
    if (const PeerHostRef r = FindPeerHost(hostID)) {
      std::lock_guard lock(r->region);
      r->favouriteName = name;
    }
  }
  std::int32_t RunningUploadServers() override { return sharing::RunningUploadServers(); }
};

class PeerConnectionRow : public PeerHostRow {
 public:
  explicit PeerConnectionRow(PeerHost h) : h_(std::move(h)) {}
  std::string address() const override { return h_.address + ":" + std::to_string(h_.port); }
  std::string user() const override { return h_.user; }
  std::optional<std::string> bonjourServiceName() const override { return h_.bonjourName; }

 private:
  PeerHost h_;
};

class BonjourRow : public BonjourPeerRow {
 public:
  explicit BonjourRow(BonjourPeer p) : p_(std::move(p)) {}
  std::string serviceName() const override { return p_.serviceName; }
  std::shared_ptr<PeerHostRow> connection() const override {
    if (p_.peerHostID == 0) return nullptr;
    const PeerHostRef r = FindPeerHost(p_.peerHostID);
    return r ? std::make_shared<PeerConnectionRow>(CopyOf(*r)) : nullptr;
  }
  bool wasOpen() const override { return p_.peerHostID != 0; }

 private:
  BonjourPeer p_;
};

class SharingRows : public SharingRowsService {
 public:
  std::vector<ReceivedFileRowRef> ReceivedFilesCopyArray() override {
    std::vector<ReceivedFileRowRef> out;
    for (auto& f : sharing::ReceivedFilesCopyArray()) out.push_back(std::move(f));
    return out;
  }
  std::shared_ptr<BonjourPeerRow> PeerForBonjourName(const std::string& name) override {
    auto peer = FindBonjourPeer(name);
    return peer ? std::make_shared<BonjourRow>(*peer) : nullptr;
  }
  std::shared_ptr<PeerHostRow> PeerConnectionForID(std::uint32_t peerID) override {
    const PeerHostRef r = FindPeerHost(peerID);
    return r ? std::make_shared<PeerConnectionRow>(CopyOf(*r)) : nullptr;
  }
  std::vector<std::shared_ptr<BonjourPeerRow>> CopyBonjourPeers() override {
    std::vector<std::shared_ptr<BonjourPeerRow>> out;
    for (auto& p : sharing::CopyBonjourPeers()) out.push_back(std::make_shared<BonjourRow>(std::move(p)));
    return out;
  }
};

class PeerCipher : public engine::PeerSessionCipher {
 public:
  explicit PeerCipher(SessionCipherPtr cipher) : cipher_(std::move(cipher)) {}
  void Apply(std::uint8_t* bytes, std::size_t length) override {
    SessionCipherApply(*cipher_, bytes, length);
  }

 private:
  SessionCipherPtr cipher_;
};

// Keys of other copies' file servers, for the engine's fetches of their items.
class PeerSessions : public engine::PeerSessionService {
 public:
  engine::PeerKey AcceptPeerKey(const std::string& keyText, const std::string& host) override {
    std::shared_ptr<const RSAKey> key = RSAKey::FromPublicKeyString(keyText, "65537");
    if (!key || !HostPolicyCheckKey(key->Fingerprint(), host)) return nullptr;
    return key;
  }
  std::unique_ptr<engine::PeerSessionCipher> CreateSession(const engine::PeerKey& key,
                                                           std::string& headerText) override {
    if (!key) return nullptr;
    SessionCipherPtr cipher = CreateSessionKey(*std::static_pointer_cast<const RSAKey>(key), headerText);
    if (!cipher) return nullptr;
    return std::make_unique<PeerCipher>(std::move(cipher));
  }
  bool AllowUnsecuredConnection(const std::string& host) override {
    bool asked = false;
    return HostPolicyAllowUnsecuredConnection(host, &asked);
  }
};

class ReceivedFolder : public ReceivedFilesService {
 public:
  std::optional<std::filesystem::path> GetReceivedFilesFolder(bool create) override {
    return sharing::GetReceivedFilesFolder(create);
  }
};

class ReceivedArchive : public upload::ReceivedFilesArchive {
 public:
  values::Value CopyReceivedFiles() override { return ArchiveReceivedFiles(); }
  void SetReceivedFiles(const values::Value& files) override { UnarchiveReceivedFiles(files); }
};

class ListedReceived : public SharedReceivedFiles {
 public:
  std::vector<ListedReceivedFile> CopyReceivedFiles() override {
    std::vector<ListedReceivedFile> out;
    for (const auto& file : ReceivedFilesCopyArray()) {
      const auto path = file->UpdatePath();
      const auto f = file->Copy();
      out.push_back({f.name, f.fileSize, f.uidString, f.status, path});
    }
    return out;
  }
};

// The undo manager's side of the list: a removal taken back and done again.
class ReceivedFileUndo : public ReceivedFileService {
 public:
  // The received files selected in the main list.
  static std::vector<ui::MainListItem> SelectedRows() {
    std::vector<ui::MainListItem> out;
    for (const auto& row : ui::MainListBrowserSlot::Get().SelectedRows()) {
      if (row.kind == ui::RowKind::kReceivedFile) out.push_back(row);
    }
    return out;
  }
  static ReceivedFileRef FileOf(const ui::MainListItem& row) {
    return std::static_pointer_cast<ReceivedFile>(std::static_pointer_cast<ReceivedFileRow>(row.record));
  }
  void StopSelectedReceivedFiles() override {
    for (const auto& row : SelectedRows()) ReceivedFileCancel(FileOf(row));
  }
  // Files still arriving stay in the list.
  std::size_t RemoveSelectedReceivedFiles(bool undoable) override {
    std::size_t removed = 0;
    std::vector<ui::MainListItem> rows;
    for (const auto& row : SelectedRows()) {
      if (!ReceivedFileRemove(FileOf(row), undoable)) continue;
      rows.push_back(row);
      removed += 1;
    }
    if (!rows.empty()) ui::MainListBrowserSlot::Get().RemoveRows(rows);
    return removed;
  }
  void AddToList(const ReceivedFileHandle& file) override {
    ReceivedFileAddToList(std::static_pointer_cast<ReceivedFile>(file));
  }
  void RemoveFromList(const ReceivedFileHandle& file) override {
    ReceivedFileRemove(std::static_pointer_cast<ReceivedFile>(file), false);
  }
  std::optional<std::string> UpdatePath(const ReceivedFileHandle& file) override {
    return file ? std::static_pointer_cast<ReceivedFile>(file)->UpdatePath() : std::nullopt;
  }
  void SelectReceivedFileRow(const ReceivedFileHandle&) override {}
};

}  // namespace

void InstallSharingServices() {
  PeerHostsServiceSlot::Set(std::make_unique<PeerHosts>());
  SharingRowsServiceSlot::Set(std::make_unique<SharingRows>());
  ReceivedFilesServiceSlot::Set(std::make_unique<ReceivedFolder>());
  engine::PeerSessionServiceSlot::Set(std::make_unique<PeerSessions>());
  upload::ReceivedFilesArchiveSlot::Set(std::make_unique<ReceivedArchive>());
  SharedReceivedFilesSlot::Set(std::make_unique<ListedReceived>());
  ReceivedFileServiceSlot::Set(std::make_unique<ReceivedFileUndo>());
  ReceivedFileHooksSlot::Get().listChanged = [] {
    upload::UploadQueueServiceSlot::Get().MarkUploadsChanged();
  };
  // The file server's receptions keep the list in step (kinds 5 to 7); the rest of its
  // events are the activity window's.
  runtime::EventTarget::Application()->InstallHandler({{kFileServerEventClass, kFileServerReceptionStarted},
                                                       {kFileServerEventClass, kFileServerReceptionEnded},
                                                       {kFileServerEventClass, kFileServerReceptionProgress}},
                                                      [](runtime::HandlerCall&, runtime::Event& event) {
                                                        HandleFileServerEvent(event);
                                                        return runtime::kNoErr;
                                                      });
}

void StartSharingServers() {
  StartSharingServer();
  StartFileTransferServer();
}

void StartBrowsingForPeers() {
  StartBrowsingSharingServices();
  StartBrowsingFileTransferServices();
}

void StopSharingServices() {
  ReceivedFilesCancelAll();
  StopSharingServer();
  StopFileTransferServer();
  CancelSharingClients();
  CancelPeerResolves();
  StopBrowsingSharingServices();
  StopBrowsingFileTransferServices();
  UnregisterSharingService();
  UnregisterFileTransferService();
}

}  // namespace sharing
