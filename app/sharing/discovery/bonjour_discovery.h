#pragma once
// Finding other copies on the local network, and being found.
//
// A copy that shares advertises its line-protocol server as "_trsharing._tcp." on the
// share port and, when it takes files, its file server as "_utrsharing._tcp." on the port
// above. Every copy browses both types. Found sharing servers become Bonjour peer records
// (the rows of the source list, through SharingRowsService); opening one resolves its
// address and connects to it as "Guest", or with the favourite made of it.
//
// Services are known by their key, "name.type.domain" lower-cased. A service seen on
// several interfaces is counted once per sighting; it appears with the first and goes with
// the last. This copy's own sharing service is never listed, whatever the case of its name.
// 'S_Cl' kind 1 (appeared) and kind 2 (gone) go to the main queue once per burst of results.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zeroconf {
struct BrowseEvent;
}

namespace sharing {

inline constexpr const char kSharingServiceType[] = "_trsharing._tcp.";
inline constexpr const char kFileTransferServiceType[] = "_utrsharing._tcp.";
inline constexpr std::uint32_t kBonjourPeerAppeared = 1;
inline constexpr std::uint32_t kBonjourPeerGone = 2;

bool RegisterSharingService(std::uint16_t port);
bool RegisterFileTransferService(std::uint16_t port);
void UnregisterSharingService();
void UnregisterFileTransferService();
bool SharingServiceRegistered();
bool FileTransferServiceRegistered();
// The name this copy's sharing service has on the network (empty when not registered).
std::string OwnSharingServiceName();

bool StartBrowsingSharingServices();
bool StartBrowsingFileTransferServices();
void StopBrowsingSharingServices();
void StopBrowsingFileTransferServices();

std::string CopyServiceKey(const std::string& name, const std::string& type, const std::string& domain);

// What the browsers report: a sighting of a sharing or a file service come or gone.
void HandleSharingBrowseEvent(const zeroconf::BrowseEvent& e);
void HandleFileTransferBrowseEvent(const zeroconf::BrowseEvent& e);

// One found copy.
struct BonjourPeer {
  std::string serviceName;
  std::string domain;
  std::string key;
  bool resolving = false;
  std::uint32_t peerHostID = 0;  // its connection while connected, else 0
};

std::vector<BonjourPeer> CopyBonjourPeers();
std::optional<BonjourPeer> FindBonjourPeer(const std::string& keyOrName);
// Copies offering the file service now (sightings counted per service).
std::size_t FileTransferServiceCount();

// Resolves the peer (10 s at most) and connects to it; nothing for a peer already
// connected or unknown. `silent`: no progress display and no alerts.
void ResolveAndConnectSharingPeer(const std::string& key, bool silent = false);
// Resolves the peer (10 s at most) and hands its "address:port" to `then`; false (and
// `then` never called) for a peer unknown or already connected.
bool ResolveSharingPeer(const std::string& key, std::function<void(const std::string& address)> then);
void CancelPeerResolves();
// The peer under `key` is connected as `hostID`.
void LinkBonjourPeerConnection(const std::string& key, std::uint32_t hostID);
// Forgets the connection of the peer with that host id (it was disconnected).
void ForgetBonjourPeerConnection(std::uint32_t hostID);

}  // namespace sharing
