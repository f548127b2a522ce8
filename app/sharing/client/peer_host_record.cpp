#include "app/sharing/client/peer_host_record.h"

namespace sharing {

std::recursive_mutex& PeerTableRegion() {
  static std::recursive_mutex region;
  return region;
}

std::map<std::uint32_t, PeerHostRef>& PeerHostTable() {
  static std::map<std::uint32_t, PeerHostRef> table;
  return table;
}

std::uint32_t NextPeerHostID() {
  static std::uint32_t last = 0;
  std::lock_guard lock(PeerTableRegion());
  return ++last;
}

PeerHostRef FindPeerHost(std::uint32_t hostID) {
  std::lock_guard lock(PeerTableRegion());
  const auto it = PeerHostTable().find(hostID);
  return it == PeerHostTable().end() ? nullptr : it->second;
}

bool RemovePeerHost(std::uint32_t hostID) {
  std::lock_guard lock(PeerTableRegion());
  return PeerHostTable().erase(hostID) > 0;
}

}  // namespace sharing
