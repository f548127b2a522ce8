// How browse results become Bonjour peers: sightings counted per service key, one event per
// burst, a peer gone only with its last sighting.
#include <gtest/gtest.h>

#include "app/sharing/discovery/bonjour_discovery.h"
#include "platform/runtime/event_queue.h"
#include "platform/zeroconf/zeroconf.h"

namespace sharing {
namespace {

zeroconf::BrowseEvent Sighting(const std::string& name, bool appeared, int iface, bool moreComing = false) {
  zeroconf::BrowseEvent e;
  e.appeared = appeared;
  e.name = name;
  e.type = kSharingServiceType;
  e.domain = "local.";
  e.interfaceIndex = iface;
  e.moreComing = moreComing;
  return e;
}

class BonjourSightingsTest : public ::testing::Test {
 protected:
  void SetUp() override { runtime::EventQueue::Main()->Flush(); }
  void TearDown() override {
    for (int i = 0; i < 3; ++i) {
      for (const auto& p : CopyBonjourPeers()) HandleSharingBrowseEvent(Sighting(p.serviceName, false, 1));
    }
    StopBrowsingSharingServices();
    runtime::EventQueue::Main()->Flush();
  }
  static std::size_t Events() { return runtime::EventQueue::Main()->Count(); }
};

TEST_F(BonjourSightingsTest, KeysAreLowerCaseNameTypeAndDomain) {
  EXPECT_EQ(CopyServiceKey("Anne's Mac", "_trsharing._tcp.", "local."), "anne's mac._trsharing._tcp.local.");
}

TEST_F(BonjourSightingsTest, APeerOnTwoInterfacesComesOnceAndGoesWithItsLastSighting) {
  HandleSharingBrowseEvent(Sighting("Peer", true, 1));
  HandleSharingBrowseEvent(Sighting("Peer", true, 2));
  EXPECT_EQ(Events(), 1u);
  ASSERT_EQ(CopyBonjourPeers().size(), 1u);
  EXPECT_TRUE(FindBonjourPeer("peer"));
  HandleSharingBrowseEvent(Sighting("Peer", false, 1));
  EXPECT_TRUE(FindBonjourPeer("Peer"));
  EXPECT_EQ(Events(), 1u);
  HandleSharingBrowseEvent(Sighting("Peer", false, 2));
  EXPECT_FALSE(FindBonjourPeer("Peer"));
  EXPECT_EQ(Events(), 2u);
  // A service never seen going away changes nothing.
  HandleSharingBrowseEvent(Sighting("Stranger", false, 1));
  EXPECT_EQ(Events(), 2u);
}

TEST_F(BonjourSightingsTest, ABurstGivesOneEventAtItsEnd) {
  HandleSharingBrowseEvent(Sighting("One", true, 1, true));
  HandleSharingBrowseEvent(Sighting("Two", true, 1, true));
  EXPECT_EQ(Events(), 0u);
  HandleSharingBrowseEvent(Sighting("Three", true, 1, false));
  EXPECT_EQ(Events(), 1u);
  EXPECT_EQ(CopyBonjourPeers().size(), 3u);
}

TEST_F(BonjourSightingsTest, OpeningAnUnknownPeerDoesNothing) {
  ResolveAndConnectSharingPeer("nobody._trsharing._tcp.local.", true);
  EXPECT_TRUE(CopyBonjourPeers().empty());
}

}  // namespace
}  // namespace sharing
