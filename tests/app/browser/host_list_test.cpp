// The host list: order, rows by index and what the source list is told.

#include <gtest/gtest.h>

#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_list.h"
#include "app/ui/services/source_list_rows.h"

namespace browser {
namespace {

class RecordingSourceList : public ui::SourceListRowsService {
 public:
  void AddHostRow(std::uint32_t id) override { added.push_back(id); }
  void RemoveHostRow(std::uint32_t id) override { removed.push_back(id); }
  void SetHostRowBusy(std::uint32_t id, bool busy) override { this->busy.emplace_back(id, busy); }
  std::vector<std::uint32_t> added, removed;
  std::vector<std::pair<std::uint32_t, bool>> busy;
};

class HostListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearHosts();
    auto list = std::make_unique<RecordingSourceList>();
    rows = list.get();
    ui::SourceListRowsServiceSlot::Set(std::move(list));
    RemoteHostRowHooksSlot::Get().updateHostRows = [this] { ++updates; };
  }
  void TearDown() override {
    ClearHosts();
    ui::SourceListRowsServiceSlot::Set(nullptr);
    RemoteHostRowHooksSlot::Get() = {};
  }
  RecordingSourceList* rows = nullptr;
  int updates = 0;
};

Host Make(std::int32_t type, const char* label) {
  Host h;
  h.type = type;
  h.label = label;
  return h;
}

TEST_F(HostListTest, OrderIsByRankThenLabelAndStrictlyWeak) {
  const Host hosts[] = {Make(kHostFTP, "b"),           Make(kHostFTPS, "A"),   Make(kHostBonjourPeer, "z"),
                        Make(kHostPeerByAddress, "z"), Make(kHostWebDAV, "a"), Make(kHostSecureWebDAV, "a"),
                        Make(kHostIDisk, "a")};
  EXPECT_LT(HostCompare(hosts[1], hosts[0]), 0);  // FTPS counts as FTP: by label alone
  EXPECT_LT(HostCompare(hosts[3], hosts[2]), 0);  // a copy by address before a Bonjour copy
  // Irreflexive, asymmetric and transitive over every triple.
  for (const Host& a : hosts) {
    EXPECT_EQ(HostCompare(a, a), 0);
    for (const Host& b : hosts) {
      EXPECT_EQ(HostCompare(a, b) < 0, HostCompare(b, a) > 0);
      for (const Host& c : hosts)
        if (HostCompare(a, b) < 0 && HostCompare(b, c) < 0) {
          EXPECT_LT(HostCompare(a, c), 0);
        }
    }
  }
}

TEST_F(HostListTest, RemovingTheFirstOfThreeRelabelsAndDropsTheLastRow) {
  AddBonjourPeerHost("one");
  AddBonjourPeerHost("two");
  AddBonjourPeerHost("three");
  EXPECT_EQ(rows->added, (std::vector<std::uint32_t>{1025, 1026, 1027}));
  RemoveBonjourPeerHost("one");
  EXPECT_EQ(rows->removed, (std::vector<std::uint32_t>{1027}));
  EXPECT_GT(updates, 0);
  auto rows = CopyHostRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].viewID, 1025u);
  EXPECT_EQ(rows[0].label, "two");
  EXPECT_EQ(rows[1].label, "three");
  EXPECT_EQ(HostForViewID(1024), nullptr);
  EXPECT_EQ(HostForViewID(1025)->rendezvousName, "two");
  EXPECT_EQ(HostForViewID(1027), nullptr);
  EXPECT_EQ(HostForViewID(4096), nullptr);
}

TEST_F(HostListTest, AnFTPHostShowsItsRootAndGoesWithIt) {
  FTPNodeRef root = FTPNodeCreateRoot("ftps://srv/pub", std::nullopt, std::nullopt, std::nullopt, false);
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->secure());
  EXPECT_EQ(root->name(), "srv/pub");
  EXPECT_EQ(root->host(), "srv");
  EXPECT_EQ(root->path(), "pub");
  EXPECT_EQ(root->user(), "anonymous");
  EXPECT_GE(root->ftpHostID(), kFirstFTPHostID);
  EXPECT_EQ(FTPNodeCreateRoot("srv/", std::nullopt, std::nullopt, std::nullopt, false)->path(), "");
  EXPECT_EQ(FTPNodeCreateRoot("/nohost", std::nullopt, std::nullopt, std::nullopt, false), nullptr);

  AddFTPHost(root->ftpHostID(), true);
  auto rows = CopyHostRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].label, "srv/pub");
  EXPECT_TRUE(rows[0].lockIcon);
  EXPECT_TRUE(rows[0].ejectButton);
  SetFTPHostRowBusy(root->ftpHostID(), true);
  EXPECT_EQ(this->rows->busy, (std::vector<std::pair<std::uint32_t, bool>>{{1025, true}}));
  SetFTPHostRowDisabled(root->ftpHostID(), true);
  EXPECT_TRUE(CopyHostRows()[0].disabled);
  EXPECT_EQ(HostForViewID(1025)->copyPath(), "srv/pub");
  HostDisconnect(HostForViewID(1025));
  EXPECT_EQ(GetHostCount(), 0u);
  EXPECT_EQ(FTPNodeForHostID(root->ftpHostID()), nullptr);
}

}  // namespace
}  // namespace browser
