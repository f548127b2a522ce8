#pragma once
// What this copy knows of the peers it is connected to: the peer-host table.
//
// One PeerHostRecord per peer that accepted a login, from that login until the peer is
// disconnected. Host ids come from a counter that only grows, so an id never names two
// peers in one run. A session fills a record's folders and items; a refresh empties and
// fills them again.
//
// The table is guarded by its own lock and each record by its own; take the table's
// before a record's. Readers outside the sharing code get copies (PeerHostsService).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/values/value.h"

namespace sharing {

// Element flag bits of a peer's item.
inline constexpr std::int16_t kItemFlagNameFixed = 1;
inline constexpr std::int16_t kItemFlagPeerDownload = 2;
inline constexpr std::int16_t kItemFlagFileAtPeer = 4;
inline constexpr std::int16_t kItemFlagSharingClient = 8;
inline constexpr std::int16_t kItemFlagReceivedFile = 16;
inline constexpr std::int32_t kPeerItemStatusOnHold = 32;

// Record flag bits.
inline constexpr std::uint32_t kPeerAcceptsFiles = 1;
inline constexpr std::uint32_t kPeerSessionEnciphered = 2;

struct PeerItem {
  std::uint32_t uid = 0;
  std::uint32_t hostID = 0;
  std::uint32_t folderUID = 0;
  std::string filename;
  values::Array urlData;  // {"url": text, optional "referer": text} entries
  std::int64_t fileSize = -1;
  std::int32_t downloadCount = 0;
  double startDate = 0;
  double endDate = 0;
  std::int16_t flags = 0;
  std::int32_t connections = 0;
  std::int32_t status = kPeerItemStatusOnHold;
  bool useAuth = false;
  std::string authUser;
  std::string authPassword;
};

struct PeerFolder {
  std::uint32_t uid = 0;
  std::string name;
  std::uint32_t flags = 0;
  std::map<std::uint32_t, PeerItem> items;
};

struct PeerHostRecord {
  std::uint32_t hostID = 0;
  std::string host;
  std::int32_t port = 0;
  std::string user;
  std::string password;
  std::map<std::uint32_t, PeerFolder> folders;  // under `region`
  std::string name;                             // the peer's computer name, else the host text
  std::optional<std::string> bonjourKey;
  std::optional<std::string> favouriteName;
  bool busy = false;
  std::uint32_t flags = 0;
  mutable std::recursive_mutex region;
};

using PeerHostRef = std::shared_ptr<PeerHostRecord>;

// The table of connected peers.
std::recursive_mutex& PeerTableRegion();
std::map<std::uint32_t, PeerHostRef>& PeerHostTable();
// The next host id (under the table's region).
std::uint32_t NextPeerHostID();
PeerHostRef FindPeerHost(std::uint32_t hostID);
// Removes the record; false when none has that id.
bool RemovePeerHost(std::uint32_t hostID);

}  // namespace sharing
