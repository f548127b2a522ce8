// The receive buffer under a download limit, and the network check behind mirror
// failures.

#include "app/engine/network/socket_buffer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/engine/limits/bandwidth_presets.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/network/network_reachability.h"
#include "app/util/settings/settings_store.h"
#include "platform/net/reachability.h"
#include "platform/prefs/preference_store.h"
#include "tests/support/temp_home.h"

namespace engine {
namespace {

struct SizeCase {
  const char* name;
  bool on;
  std::int64_t rate;
  std::int32_t connections;
  int factor;
  std::optional<int> size;
};

TEST(StreamSocketBufferSize, FollowsTheShareOfTheLimit) {
  const SizeCase cases[] = {
      {"off", false, 102400, 1, 3, std::nullopt},
      {"three seconds of one connection", true, 102400, 1, 3, 307200},
      {"split among connections", true, 102400, 4, 3, 76800},
      {"never below 32 KiB", true, 5120, 10, 3, 32768},
      {"ftps takes five seconds", true, 102400, 1, 5, 512000},
      {"no connections counts as one", true, 102400, 0, 3, 307200},
      {"the unlimited preset is no limit", true, static_cast<std::int64_t>(kUnlimitedBytesPerSecond), 3, 3,
       std::nullopt},
      {"past autotuning's reach", true, 20 * 1024 * 1024, 3, 3, std::nullopt},
      {"zero rate", true, 0, 1, 3, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StreamSocketBufferSize(c.on, c.rate, c.connections, c.factor), c.size) << c.name;
  }
}

class SocketBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::SetSettingsPreferences(&store);
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
  }
  void TearDown() override {
    SetBandwidthLimitOn(TransferDirection::kDownload, false);
    util::SetSettingsPreferences(nullptr);
    ::close(fd);
  }
  int ReceiveBuffer() const {
    int value = 0;
    socklen_t length = sizeof value;
    ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &value, &length);
    return value;
  }

  prefs::PreferenceStore store{testsupport::MakeTempDir()};
  int fd = -1;
};

TEST_F(SocketBufferTest, SetOnlyUnderALimit) {
  DownloadFacts facts;
  facts.wantedConnections = 2;
  SetBandwidthLimitOn(TransferDirection::kDownload, false);
  SetDownloadBandwidthLimit(false, 65536);
  const int untouched = ReceiveBuffer();
  EXPECT_EQ(SetStreamSocketBuffer(fd, facts), std::nullopt);
  EXPECT_EQ(ReceiveBuffer(), untouched);

  SetBandwidthLimitOn(TransferDirection::kDownload, true);
  EXPECT_EQ(SetStreamSocketBuffer(fd, facts), 98304);
  // Linux doubles what it is asked for, to leave room for its own bookkeeping.
  EXPECT_EQ(ReceiveBuffer(), 2 * 98304);
  EXPECT_EQ(SetStreamSocketBuffer(-1, facts), std::nullopt);
}

class ScriptedReachability : public net::ReachabilityProbe {
 public:
  explicit ScriptedReachability(std::set<std::string> reachable) : reachable_(std::move(reachable)) {}
  unsigned FlagsForHost(std::string_view host) override {
    asked.emplace_back(host);
    return reachable_.contains(std::string(host)) ? net::kReachabilityReachable : 0u;
  }
  std::vector<std::string> asked;

 private:
  std::set<std::string> reachable_;
};

TEST(IsNetworkReachable, AnyOfTheProbeHostsWillDo) {
  auto none = std::make_shared<ScriptedReachability>(std::set<std::string>{});
  net::SetReachabilityProbe(none);
  EXPECT_FALSE(IsNetworkReachable());
  EXPECT_EQ(none->asked.size(), kNetworkProbeHosts.size());

  auto last =
      std::make_shared<ScriptedReachability>(std::set<std::string>{std::string(kNetworkProbeHosts.back())});
  net::SetReachabilityProbe(last);
  EXPECT_TRUE(IsNetworkReachable());

  auto first =
      std::make_shared<ScriptedReachability>(std::set<std::string>{std::string(kNetworkProbeHosts.front())});
  net::SetReachabilityProbe(first);
  EXPECT_TRUE(IsNetworkReachable());
  EXPECT_EQ(first->asked.size(), 1u) << "stops at the first answer";
  net::SetReachabilityProbe(nullptr);
}

}  // namespace
}  // namespace engine
