#include "app/engine/network/network_reachability.h"

#include "platform/net/reachability.h"

namespace engine {

bool IsNetworkReachable() {
  for (std::string_view host : kNetworkProbeHosts) {
    if (net::IsHostReachable(host)) return true;
  }
  return false;
}

}  // namespace engine
