#include "app/sharing/install/sharing_services.h"

#include <memory>
#include <mutex>

#include "app/sharing/client/peer_host_record.h"
#include "app/sharing/client/sharing_client.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/server/sharing_server.h"
#include "app/sharing/server/sharing_session.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/sharing_rows.h"

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
  // The file server that takes files from peers is not part of this program yet.
  std::int32_t RunningUploadServers() override { return 0; }
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
  // The received files are not listed by this program yet.
  std::vector<ReceivedFileRowRef> ReceivedFilesCopyArray() override { return {}; }
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

}  // namespace

void InstallSharingServices() {
  PeerHostsServiceSlot::Set(std::make_unique<PeerHosts>());
  SharingRowsServiceSlot::Set(std::make_unique<SharingRows>());
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
