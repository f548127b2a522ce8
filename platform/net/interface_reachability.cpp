#include "platform/net/interface_reachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include "platform/values/ascii.h"

namespace net {

bool IsLoopbackHostName(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string name = values::AsciiLower(host);
  if (name == "localhost" || name.ends_with(".localhost") || name == "::1") return true;
  in_addr v4{};
  return inet_pton(AF_INET, name.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127;
}

namespace {

bool HasConnectedInterface() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return true;  // cannot tell: let the connection decide
  bool found = false;
  for (ifaddrs* i = list; i && !found; i = i->ifa_next) {
    if (!i->ifa_addr) continue;
    const int family = i->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    const unsigned flags = i->ifa_flags;
    found = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

unsigned InterfaceReachabilityProbe::FlagsForHost(std::string_view host) {
  if (IsLoopbackHostName(host) || HasConnectedInterface()) return kReachabilityReachable;
  return 0;
}

}  // namespace net
