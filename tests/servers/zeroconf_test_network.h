#pragma once
// A private local network for zeroconf tests: two network namespaces joined by a veth
// pair, each with its own D-Bus system bus and Avahi daemon, so that multicast DNS never
// reaches the machine's real interfaces. Needs root (CI runs as root); `ok()` is false and
// `why()` says why when the namespaces cannot be made, and the test skips.
//
// Each side has an address on the pair (side 0 .1, side 1 .2 of a /24 picked per run),
// a bus address for DBUS_SYSTEM_BUS_ADDRESS, and its Avahi host name ("truvane-a",
// "truvane-b"), which is also the default name of what it registers. Run a program on a
// side with Exec(); `EnterNamespace` moves the calling thread (and the threads it makes
// afterwards) into a side's namespace. Everything is stopped by its PID and the
// namespaces deleted when the object goes.

#include <sched.h>

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/servers/test_servers.h"

namespace testservers {

class ZeroconfNetwork {
 public:
  ZeroconfNetwork();
  ~ZeroconfNetwork();
  ZeroconfNetwork(const ZeroconfNetwork&) = delete;
  ZeroconfNetwork& operator=(const ZeroconfNetwork&) = delete;

  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }

  const std::string& Namespace(int side) const { return sides_[side].ns; }
  const std::string& Address(int side) const { return sides_[side].address; }
  std::string BusAddress(int side) const { return "unix:path=" + sides_[side].dir + "/bus.sock"; }
  const std::string& HostName(int side) const { return sides_[side].hostName; }

  // argv run inside the side's namespace with these extra environment variables (and the
  // side's bus); standard output and error go to `log`.
  ServerProcess Exec(int side, const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     const std::string& log) const;

  // Moves the calling thread into the side's namespace; false on failure.
  bool EnterNamespace(int side);
  // Back to the namespace the thread had before.
  void LeaveNamespace();

 private:
  struct Side {
    std::string ns, dir, address, hostName, veth;
    ServerProcess bus, avahi;
  };
  bool Run(const std::string& command);
  bool SetUp();
  std::array<Side, 2> sides_;
  bool ok_ = false;
  std::string why_;
  int originalNs_ = -1;
};

}  // namespace testservers
