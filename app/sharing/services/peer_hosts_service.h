#pragma once
// What scripts ask of peer sharing: the connected peers with their shared folders and
// items, connecting to a peer, refreshing and disconnecting one, remembering the
// favourite made of a peer, and the count of files being received from peers.
//
// The peer-host table lives with the sharing code, under its critical region, each host
// under its own region and each folder's items under theirs. `CopyPeerHosts` hands back
// a copy taken inside those regions (entered in that order, left before returning), so a
// caller formats and replies without holding any lock.
//
// The sharing code registers its implementation at start-up with PeerHostsServiceSlot::Set().
// Until then there is no peer: the table is empty, connecting starts nothing, and no file
// is being received.
//
// Main thread only, except RunningUploadServers (any thread).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace sharing {

struct SharedItem {
  std::uint32_t uid = 0;
  std::uint32_t hostID = 0;
  values::Array urlData;
  std::int32_t connections = 0;
  bool useAuth = false;
  std::string authUser;
  std::string authPassword;
};

struct SharedFolder {
  std::uint32_t uid = 0;
  std::uint32_t hostID = 0;
  std::string name;
  bool hasItems = false;  // a folder that lists downloads of its own
  std::vector<SharedItem> items;
};

struct PeerHost {
  std::uint32_t hostID = 0;
  std::string address;
  std::int32_t port = 0;
  std::string user;
  std::string password;
  std::string displayName;                 // may be empty
  std::optional<std::string> bonjourName;  // none for a peer reached by address
  std::optional<std::string> favouriteName;
  std::vector<SharedFolder> folders;
};

class PeerHostsService {
 public:
  virtual ~PeerHostsService() = default;
  virtual std::vector<PeerHost> CopyPeerHosts() = 0;
  virtual std::optional<PeerHost> CopyPeerHost(std::uint32_t hostID) = 0;
  // Starts the sharing-client task for "host:port" without progress window or alerts;
  // the start's status.
  virtual std::int32_t ConnectToSharingPeerSilently(const std::string& address, const std::string& user,
                                                    const std::string& password) = 0;
  // Reconnects to reload the peer's folders and items. False for an unknown host.
  virtual bool RefreshSharingHost(std::uint32_t hostID) = 0;
  // Closes the peer's session and removes it, without asking and without cancelling
  // uploads (through its Bonjour record for a peer found by Bonjour). False for an
  // unknown host.
  virtual bool DisconnectPeer(std::uint32_t hostID) = 0;
  // The host keeps the name of the favourite made of it.
  virtual void SetFavouriteName(std::uint32_t hostID, const std::string& name) = 0;
  virtual std::int32_t RunningUploadServers() = 0;
};

class NoPeerHostsService : public PeerHostsService {
 public:
  std::vector<PeerHost> CopyPeerHosts() override { return {}; }
  std::optional<PeerHost> CopyPeerHost(std::uint32_t) override { return std::nullopt; }
  std::int32_t ConnectToSharingPeerSilently(const std::string&, const std::string&,
                                            const std::string&) override {
    return -1;
  }
  bool RefreshSharingHost(std::uint32_t) override { return false; }
  bool DisconnectPeer(std::uint32_t) override { return false; }
  void SetFavouriteName(std::uint32_t, const std::string&) override {}
  std::int32_t RunningUploadServers() override { return 0; }
};

using PeerHostsServiceSlot = runtime::ServiceSlot<PeerHostsService, NoPeerHostsService>;

}  // namespace sharing
