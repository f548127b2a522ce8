#include "app/sharing/discovery/bonjour_discovery.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

#include "app/browser/services/favourite_connections_service.h"
#include "app/sharing/client/peer_host_record.h"
#include "app/sharing/client/sharing_client.h"
#include "app/util/desktop/notification_bridges.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/run_loop.h"
#include "platform/zeroconf/zeroconf.h"

namespace sharing {
namespace {

constexpr auto kResolveTimeout = std::chrono::seconds(10);

struct PeerRecord {
  BonjourPeer peer;
  std::unique_ptr<zeroconf::Resolver> resolve;
};

struct Discovery {
  std::unique_ptr<zeroconf::Registration> sharingRegistration;
  std::unique_ptr<zeroconf::Registration> fileRegistration;
  std::string ownName;
  std::unique_ptr<zeroconf::Browser> sharingBrowser;
  std::unique_ptr<zeroconf::Browser> fileBrowser;
  std::map<std::string, int> sharingCounts;
  std::map<std::string, int> fileCounts;
  // Found and lost services, also read by other tasks: under their own locks.
  std::mutex foundLock;
  std::map<std::string, zeroconf::BrowseEvent> found;
  std::mutex lostLock;
  std::map<std::string, bool> lost;
  std::map<std::string, PeerRecord> peers;  // the Bonjour peer table, by key
};

Discovery& D() {
  static Discovery d;
  return d;
}

std::string Lower(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

void PostDiscoveryEvent(std::uint32_t kind) {
  runtime::EventRef event = runtime::Event::Create(kSharingClientEventClass, kind);
  event->SetPostTarget(runtime::EventTarget::Application());
  runtime::EventQueue::Main()->Post(std::move(event), runtime::EventPriority::kStandard);
}

// What the peers' rows make of the found and lost tables: a record per found service, none
// for a lost one.
void TakeFoundAndLost() {
  Discovery& d = D();
  std::map<std::string, zeroconf::BrowseEvent> found;
  {
    std::lock_guard lock(d.foundLock);
    found.swap(d.found);
  }
  for (auto& [key, e] : found) {
    if (d.peers.contains(key)) continue;
    PeerRecord r;
    r.peer.serviceName = e.name;
    r.peer.domain = e.domain;
    r.peer.key = key;
    d.peers.emplace(key, std::move(r));
  }
  std::map<std::string, bool> lost;
  {
    std::lock_guard lock(d.lostLock);
    lost.swap(d.lost);
  }
  for (const auto& [key, unused] : lost) {
    auto it = d.peers.find(key);
    // A connected peer keeps its row until it is disconnected.
    if (it != d.peers.end() && it->second.peer.peerHostID == 0) d.peers.erase(it);
  }
}

}  // namespace

void HandleSharingBrowseEvent(const zeroconf::BrowseEvent& e) {
  Discovery& d = D();
  const std::string key = CopyServiceKey(e.name, e.type, e.domain);
  if (e.appeared) {
    if (!d.ownName.empty() && Lower(e.name) == Lower(d.ownName)) return;
    ++d.sharingCounts[key];
    if (!d.peers.contains(key)) {
      {
        std::lock_guard lock(d.foundLock);
        d.found[key] = e;
      }
      if (!e.moreComing) {
        TakeFoundAndLost();
        PostDiscoveryEvent(kBonjourPeerAppeared);
      }
    }
  } else {
    auto it = d.sharingCounts.find(key);
    if (it == d.sharingCounts.end()) return;
    if (--it->second > 0) return;
    d.sharingCounts.erase(it);
    {
      std::lock_guard lock(d.lostLock);
      d.lost[key] = true;
    }
    {
      std::lock_guard lock(d.foundLock);
      d.found.erase(key);
    }
    if (auto peer = d.peers.find(key); peer != d.peers.end()) {
      peer->second.resolve.reset();
      peer->second.peer.resolving = false;
    }
    if (!e.moreComing) {
      TakeFoundAndLost();
      PostDiscoveryEvent(kBonjourPeerGone);
    }
  }
}

void HandleFileTransferBrowseEvent(const zeroconf::BrowseEvent& e) {
  Discovery& d = D();
  const std::string key = CopyServiceKey(e.name, e.type, e.domain);
  if (e.appeared) {
    ++d.fileCounts[key];
  } else if (auto it = d.fileCounts.find(key); it != d.fileCounts.end() && --it->second <= 0) {
    d.fileCounts.erase(it);
  }
  if (!e.moreComing) util::PostConnectedHostListChanged();
}

namespace {

std::unique_ptr<zeroconf::Registration> Register(const char* type, std::uint16_t port, bool sharing) {
  std::int32_t error = 0;
  auto r = zeroconf::Registration::Register(
      type, "", port,
      [sharing](const zeroconf::RegistrationEvent& e) {
        Discovery& d = D();
        switch (e.kind) {
          case zeroconf::RegistrationEvent::kRenamed:
            std::fprintf(stderr, "kCFNetServicesErrorCollision occured\n");
            [[fallthrough]];
          case zeroconf::RegistrationEvent::kRegistered:
            if (sharing) d.ownName = e.name;
            break;
          case zeroconf::RegistrationEvent::kFailed:
            std::fprintf(stderr, "MyRegisterCallback returned (domain = %d, error = %ld)\n", 1,
                         static_cast<long>(e.error));
            if (sharing) {
              d.sharingRegistration.reset();
              d.ownName.clear();
            } else {
              d.fileRegistration.reset();
            }
            break;
        }
      },
      &error);
  if (!r) {
    std::fprintf(stderr, "CFNetServiceRegister returned (domain = %d, error = %ld)\n", 1,
                 static_cast<long>(error));
  }
  return r;
}

}  // namespace

std::string CopyServiceKey(const std::string& name, const std::string& type, const std::string& domain) {
  return Lower(name + "." + type + domain);
}

bool RegisterSharingService(std::uint16_t port) {
  Discovery& d = D();
  if (d.sharingRegistration) return true;
  d.sharingRegistration = Register(kSharingServiceType, port, true);
  if (!d.sharingRegistration) return false;
  d.ownName = d.sharingRegistration->name();
  return true;
}

bool RegisterFileTransferService(std::uint16_t port) {
  Discovery& d = D();
  if (d.fileRegistration) return true;
  d.fileRegistration = Register(kFileTransferServiceType, port, false);
  return d.fileRegistration != nullptr;
}

void UnregisterSharingService() {
  D().sharingRegistration.reset();
  D().ownName.clear();
}

void UnregisterFileTransferService() {
  D().fileRegistration.reset();
}

bool SharingServiceRegistered() {
  return D().sharingRegistration != nullptr;
}

bool FileTransferServiceRegistered() {
  return D().fileRegistration != nullptr;
}

std::string OwnSharingServiceName() {
  return D().ownName;
}

bool StartBrowsingSharingServices() {
  Discovery& d = D();
  if (d.sharingBrowser) return true;
  std::int32_t error = 0;
  d.sharingBrowser = zeroconf::Browser::Browse(kSharingServiceType, HandleSharingBrowseEvent, &error);
  if (!d.sharingBrowser) {
    std::fprintf(stderr, "CFNetServiceBrowserSearchForServices returned (domain = %d, error = %ld)\n", 1,
                 static_cast<long>(error));
  }
  return d.sharingBrowser != nullptr;
}

bool StartBrowsingFileTransferServices() {
  Discovery& d = D();
  if (d.fileBrowser) return true;
  std::int32_t error = 0;
  d.fileBrowser = zeroconf::Browser::Browse(kFileTransferServiceType, HandleFileTransferBrowseEvent, &error);
  if (!d.fileBrowser) {
    std::fprintf(stderr, "CFNetServiceBrowserSearchForServices returned (domain = %d, error = %ld)\n", 1,
                 static_cast<long>(error));
  }
  return d.fileBrowser != nullptr;
}

void StopBrowsingSharingServices() {
  Discovery& d = D();
  d.sharingBrowser.reset();
  d.sharingCounts.clear();
  std::lock_guard found(d.foundLock);
  d.found.clear();
  std::lock_guard lost(d.lostLock);
  d.lost.clear();
}

void StopBrowsingFileTransferServices() {
  D().fileBrowser.reset();
  D().fileCounts.clear();
}

std::vector<BonjourPeer> CopyBonjourPeers() {
  std::vector<BonjourPeer> out;
  for (const auto& [key, r] : D().peers) out.push_back(r.peer);
  return out;
}

std::optional<BonjourPeer> FindBonjourPeer(const std::string& keyOrName) {
  const std::string lower = Lower(keyOrName);
  for (const auto& [key, r] : D().peers) {
    if (key == lower || Lower(r.peer.serviceName) == lower) return r.peer;
  }
  return std::nullopt;
}

std::size_t FileTransferServiceCount() {
  return D().fileCounts.size();
}

void ResolveAndConnectSharingPeer(const std::string& key, bool silent) {
  const std::string peerKey = Lower(key);
  ResolveSharingPeer(peerKey, [peerKey, silent](const std::string& address) {
    if (silent) {
      ConnectToSharingPeerSilently(address, "Guest", "", std::nullopt, peerKey);
    } else {
      ConnectToSharingPeer(address, "Guest", "", std::nullopt, peerKey);
    }
  });
}

bool ResolveSharingPeer(const std::string& key, std::function<void(const std::string& address)> then) {
  Discovery& d = D();
  auto it = d.peers.find(Lower(key));
  if (it == d.peers.end() || it->second.peer.peerHostID != 0) return false;
  PeerRecord& r = it->second;
  r.peer.resolving = true;
  r.resolve.reset();
  const std::string peerKey = it->first;
  r.resolve = zeroconf::Resolver::Resolve(
      r.peer.serviceName, kSharingServiceType, r.peer.domain, kResolveTimeout,
      [peerKey, then = std::move(then)](const std::optional<std::string>& address) {
        auto found = D().peers.find(peerKey);
        if (found == D().peers.end()) return;
        found->second.peer.resolving = false;
        if (!address) return;
        then(*address);
        // The resolver may not be destroyed from inside its own callback.
        runtime::RunLoop::Main()->Perform([peerKey] {
          if (auto p = D().peers.find(peerKey); p != D().peers.end()) p->second.resolve.reset();
        });
      });
  if (!r.resolve) r.peer.resolving = false;
  return r.resolve != nullptr;
}

void CancelPeerResolves() {
  for (auto& [key, r] : D().peers) {
    r.resolve.reset();
    r.peer.resolving = false;
  }
}

void LinkBonjourPeerConnection(const std::string& key, std::uint32_t hostID) {
  if (auto it = D().peers.find(Lower(key)); it != D().peers.end()) it->second.peer.peerHostID = hostID;
}

void ForgetBonjourPeerConnection(std::uint32_t hostID) {
  for (auto& [key, r] : D().peers) {
    if (r.peer.peerHostID == hostID) r.peer.peerHostID = 0;
  }
}

}  // namespace sharing
