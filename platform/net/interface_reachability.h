#pragma once
// The running program's reachability probe. Linux gives no per-host verdict short of
// trying, so a remote host counts as reachable while some interface other than loopback
// is up, running and has an address (the way the desktop's own "connected" state works);
// loopback names and addresses are always reachable. Interfaces are read with getifaddrs,
// which never sends anything. Nothing tells us when interfaces change, so whoever installs
// the probe re-asks it now and then (`ReachabilityTarget::AnnounceChange`).

#include <string_view>

#include "platform/net/reachability.h"

namespace net {

class InterfaceReachabilityProbe : public ReachabilityProbe {
 public:
  unsigned FlagsForHost(std::string_view host) override;
};

bool IsLoopbackHostName(std::string_view host);

}  // namespace net
