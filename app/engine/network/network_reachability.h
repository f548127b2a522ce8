#pragma once
// Whether the machine has a working network, told apart from one server's name that does
// not resolve: a mirror whose name fails while the network works is given up for good;
// the same failure without a network is only retried.
//
// The verdict comes from the reachability layer (platform/net/reachability.h) for a few
// widely mirrored public names: the network counts as working as soon as one of them is
// reachable. The layer's probe decides how that is found out; tests install their own, so
// nothing here ever leaves the machine by itself.

#include <array>
#include <string_view>

namespace engine {

inline constexpr std::array<std::string_view, 4> kNetworkProbeHosts = {"www.debian.org", "www.kernel.org",
                                                                       "www.wikipedia.org", "www.gnu.org"};

// Any thread. May block for as long as the probe takes.
bool IsNetworkReachable();

}  // namespace engine
