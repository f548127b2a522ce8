#include "tests/servers/zeroconf_test_network.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/temp_home.h"

namespace testservers {
namespace {

constexpr const char kIp[] = "/usr/sbin/ip";
constexpr const char kDbusDaemon[] = "/usr/bin/dbus-daemon";
constexpr const char kAvahiDaemon[] = "/usr/sbin/avahi-daemon";

bool WaitForText(const std::string& path, const std::string& text, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(path) && testsupport::ReadFile(path).find(text) != std::string::npos)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

ZeroconfNetwork::ZeroconfNetwork() {
  ok_ = SetUp();
}

bool ZeroconfNetwork::Run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool ZeroconfNetwork::SetUp() {
  if (::geteuid() != 0) {
    why_ = "network namespaces need root";
    return false;
  }
  for (const char* tool : {kIp, kDbusDaemon, kAvahiDaemon}) {
    if (::access(tool, X_OK) != 0) {
      why_ = std::string(tool) + " is not installed (scripts/setup.sh)";
      return false;
    }
  }
  // Names and a subnet of this run's own, so that runs side by side do not meet.
  const int pid = static_cast<int>(::getpid());
  const std::string tag = std::to_string(pid % 100000);
  const std::string subnet = "10.213." + std::to_string(pid % 250) + ".";
  const char* names[] = {"a", "b"};
  for (int i = 0; i < 2; ++i) {
    Side& s = sides_[i];
    s.ns = "truvane-zc" + tag + names[i];
    s.veth = "tzc" + tag + names[i];
    s.address = subnet + std::to_string(i + 1);
    s.hostName = std::string("truvane-") + names[i];
    s.dir = testsupport::MakeTempDir(std::string("zeroconf-") + names[i]);
    if (!Run(std::string(kIp) + " netns add " + s.ns)) {
      why_ = "cannot make a network namespace (ip netns add " + s.ns + ")";
      s.ns.clear();
      return false;
    }
    Run(std::string(kIp) + " -n " + s.ns + " link set lo up");
  }
  if (!Run(std::string(kIp) + " link add " + sides_[0].veth + " netns " + sides_[0].ns +
           " type veth peer name " + sides_[1].veth + " netns " + sides_[1].ns)) {
    why_ = "cannot make a veth pair between the namespaces";
    return false;
  }
  for (Side& s : sides_) {
    if (!Run(std::string(kIp) + " -n " + s.ns + " addr add " + s.address + "/24 dev " + s.veth) ||
        !Run(std::string(kIp) + " -n " + s.ns + " link set " + s.veth + " up")) {
      why_ = "cannot configure " + s.veth;
      return false;
    }
    testsupport::WriteFile(s.dir + "/bus.conf",
                           "<busconfig><type>system</type><listen>unix:path=" + s.dir +
                               "/bus.sock</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                               "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                               "<allow receive_sender=\"*\"/></policy></busconfig>\n");
    testsupport::WriteFile(s.dir + "/avahi.conf",
                           "[server]\nhost-name=" + s.hostName +
                               "\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=" + s.veth +
                               "\n[wide-area]\nenable-wide-area=no\n[publish]\n"
                               "publish-hinfo=no\npublish-workstation=no\n");
    s.bus = ServerProcess({kDbusDaemon, "--config-file=" + s.dir + "/bus.conf", "--nofork", "--nopidfile"},
                          s.dir + "/bus.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(s.dir + "/bus.sock") && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The daemon's run folder is private to its namespace's mounts, so two daemons do not
    // share a PID file.
    s.avahi =
        ServerProcess({kIp, "netns", "exec", s.ns, "/bin/sh", "-c",
                       "mkdir -p /run/avahi-daemon && mount -t tmpfs tmpfs /run/avahi-daemon && exec env "
                       "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" +
                           s.dir + "/bus.sock " + kAvahiDaemon + " -f " + s.dir +
                           "/avahi.conf --no-drop-root --no-chroot --no-rlimits"},
                      s.dir + "/avahi.log");
  }
  for (Side& s : sides_) {
    if (!WaitForText(s.dir + "/avahi.log", "Server startup complete", std::chrono::seconds(15))) {
      why_ = "avahi-daemon did not start: " + testsupport::ReadFile(s.dir + "/avahi.log");
      return false;
    }
  }
  return true;
}

ZeroconfNetwork::~ZeroconfNetwork() {
  LeaveNamespace();
  for (Side& s : sides_) {
    s.avahi.Stop();
    s.bus.Stop();
  }
  for (Side& s : sides_) {
    if (!s.ns.empty()) Run(std::string(kIp) + " netns del " + s.ns);
  }
}

ServerProcess ZeroconfNetwork::Exec(int side, const std::vector<std::string>& argv,
                                    const std::vector<std::pair<std::string, std::string>>& env,
                                    const std::string& log) const {
  std::vector<std::string> all = {
      kIp, "netns", "exec", sides_[side].ns, "/usr/bin/env", "DBUS_SYSTEM_BUS_ADDRESS=" + BusAddress(side)};
  for (const auto& [k, v] : env) all.push_back(k + "=" + v);
  all.insert(all.end(), argv.begin(), argv.end());
  return ServerProcess(all, log);
}

bool ZeroconfNetwork::EnterNamespace(int side) {
  if (originalNs_ < 0) originalNs_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int fd = ::open(("/run/netns/" + sides_[side].ns).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
  ::close(fd);
  return ok;
}

void ZeroconfNetwork::LeaveNamespace() {
  if (originalNs_ < 0) return;
  ::setns(originalNs_, CLONE_NEWNET);
  ::close(originalNs_);
  originalNs_ = -1;
}

}  // namespace testservers
