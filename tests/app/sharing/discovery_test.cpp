// Discovery between a real program and this test, each in a network namespace of its own
// with its own Avahi daemon: the program advertises its sharing server; the test browses,
// sees it come, go and come back, never sees its own service, gets renamed on a name
// conflict, resolves the program's address and logs in to it as Guest.
#include "app/sharing/discovery/bonjour_discovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "app/sharing/client/peer_host_record.h"
#include "app/sharing/client/sharing_client.h"
#include "app/sharing/trust/host_policy_manager.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/plist.h"
#include "platform/zeroconf/zeroconf.h"
#include "tests/servers/zeroconf_test_network.h"
#include "tests/support/temp_home.h"

namespace sharing {
namespace {

using Clock = std::chrono::steady_clock;

// Runs the main loop until `done` or 20 s.
bool RunUntil(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(50));
  }
  return true;
}

values::Value Int(std::int64_t n) {
  return values::Value(values::Number::Int64(n));
}

// The sharing program on side 0: sharing on, Bonjour on, Guest may see one folder.
class SharingProgram {
 public:
  SharingProgram(testservers::ZeroconfNetwork& net, int port)
      : net_(net), home_(testsupport::MakeTempDir("peer")) {
    values::Dictionary guest{{"auth", values::Data{}},
                             {"access", values::Value(values::Array{Int(0x100000)})},
                             {"dlAccess", values::Value(values::Array{})},
                             {"canUpload", values::Value(false)}};
    values::Dictionary prefs{{"Share Folders", values::Value(true)},
                             {"Share port", Int(port)},
                             {"advertise rendezvous", values::Value(true)},
                             {"Users", values::Value(values::Dictionary{{"Guest", values::Value(guest)}})}};
    auto bytes = values::WritePropertyList(values::Value(prefs), values::PlistFormat::kXml);
    testsupport::WriteFile(home_ + "/.config/Truvane/com.orbenix.Truvane.plist",
                           std::string(bytes->begin(), bytes->end()));
    std::filesystem::create_directories(home_ + "/run");
    std::filesystem::permissions(home_ + "/run", std::filesystem::perms::owner_all);
  }
  void Start() {
    process_ = net_.Exec(0, {TRUVANE_PATH},
                         {{"HOME", home_},
                          {"XDG_CONFIG_HOME", home_ + "/.config"},
                          {"XDG_DATA_HOME", home_ + "/.local/share"},
                          {"XDG_STATE_HOME", home_ + "/.local/state"},
                          {"XDG_CACHE_HOME", home_ + "/.cache"},
                          {"XDG_RUNTIME_DIR", home_ + "/run"},
                          {"QT_QPA_PLATFORM", "offscreen"}},
                         home_ + "/program.log");
  }
  void Stop() { process_.Stop(); }
  std::string Log() const { return testsupport::ReadFile(home_ + "/program.log"); }

 private:
  testservers::ZeroconfNetwork& net_;
  std::string home_;
  testservers::ServerProcess process_;
};

TEST(Discovery, CopiesFindEachOtherResolveAndConnectInTheirOwnNetwork) {
  testservers::ZeroconfNetwork net;
  if (!net.ok()) GTEST_SKIP() << "zeroconf discovery not tested: " << net.why();
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", net.BusAddress(1).c_str(), 1);
  ASSERT_TRUE(net.EnterNamespace(1));
  HostPolicyManager::Default().SetUnknownHostPolicy(kUnknownHostAccept);
  const int port = 20000 + static_cast<int>(::getpid() % 12000);  // the "Share port" setting is 16-bit signed

  // This side advertises too: its own service is never listed.
  ASSERT_TRUE(RegisterSharingService(static_cast<std::uint16_t>(port)));
  ASSERT_TRUE(RunUntil([] { return OwnSharingServiceName() == "truvane-b"; }));
  ASSERT_TRUE(StartBrowsingSharingServices());

  SharingProgram program(net, port);
  program.Start();
  const std::string key = CopyServiceKey("truvane-a", kSharingServiceType, "local.");
  ASSERT_TRUE(RunUntil([&] { return FindBonjourPeer(key).has_value(); })) << program.Log();
  ASSERT_EQ(CopyBonjourPeers().size(), 1u);
  EXPECT_EQ(CopyBonjourPeers()[0].serviceName, "truvane-a");

  // A name already taken is replaced by the next free one.
  std::string renamed;
  zeroconf::RegistrationEvent::Kind kind = zeroconf::RegistrationEvent::kFailed;
  auto other =
      zeroconf::Registration::Register(kSharingServiceType, "truvane-b", static_cast<std::uint16_t>(port + 2),
                                       [&](const zeroconf::RegistrationEvent& e) {
                                         renamed = e.name;
                                         kind = e.kind;
                                       });
  ASSERT_TRUE(other);
  ASSERT_TRUE(RunUntil([&] { return !renamed.empty(); }));
  EXPECT_EQ(renamed, "truvane-b #2");
  EXPECT_EQ(kind, zeroconf::RegistrationEvent::kRenamed);
  other.reset();

  // The program quits: its service goes away, and comes back with the next start.
  program.Stop();
  ASSERT_TRUE(RunUntil([&] { return !FindBonjourPeer(key); }));
  program.Start();
  ASSERT_TRUE(RunUntil([&] { return FindBonjourPeer(key).has_value(); }));

  // Opening the peer resolves it and logs in as Guest.
  ResolveAndConnectSharingPeer(key, true);
  ASSERT_TRUE(RunUntil([&] {
    auto p = FindBonjourPeer(key);
    return p && p->peerHostID != 0;
  })) << program.Log();
  const PeerHostRef record = FindPeerHost(FindBonjourPeer(key)->peerHostID);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->host, net.Address(0));
  EXPECT_EQ(record->port, port);
  EXPECT_EQ(record->user, "Guest");
  EXPECT_TRUE(record->flags & kPeerSessionEnciphered);
  // Opening a connected peer again does nothing.
  ResolveAndConnectSharingPeer(key, true);
  EXPECT_FALSE(FindBonjourPeer(key)->resolving);

  RemovePeerHost(record->hostID);
  StopBrowsingSharingServices();
  UnregisterSharingService();
  program.Stop();
  net.LeaveNamespace();
}

}  // namespace
}  // namespace sharing
