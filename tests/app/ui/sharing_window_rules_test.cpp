#include "app/ui/sharing_windows/sharing_window_rules.h"

#include <gtest/gtest.h>

namespace {

using ui::ConnectionOutcomeForResult;

TEST(SharingWindowRules, TypedAddressGetsTheSharePortOnlyWhenItNamesNone) {
  const struct {
    const char* typed;
    const char* address;
  } cases[] = {
      {"myhost", "myhost:2550"},
      {"myhost:3000", "myhost:3000"},
      {"127.0.0.1", "127.0.0.1:2550"},
      {"10.0.0.2:2550", "10.0.0.2:2550"},
      {"", ":2550"},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::PeerAddressFromTyped(c.typed), c.address) << c.typed;
}

TEST(SharingWindowRules, EmptyOrLowerCaseGuestLogsInAsGuest) {
  const struct {
    const char* typed;
    const char* user;
  } cases[] = {{"", "Guest"}, {"guest", "Guest"}, {"Guest", "Guest"}, {"GUEST", "GUEST"}, {"anna", "anna"}};
  for (const auto& c : cases) EXPECT_EQ(ui::PeerUserFromTyped(c.typed), c.user) << c.typed;
}

TEST(SharingWindowRules, FavouritesOfCopiesAreKeptOnlyWhileTheEntrySaysWhatTheyStore) {
  const ui::PeerConnectEntry byAddress{"host:2550", "anna", "pw", std::nullopt};
  const ui::PeerConnectEntry byBonjour{"10.0.0.2:2550", "anna", "pw", "studio._trsharing._tcp.local."};
  const struct {
    const char* what;
    ui::PeerFavouriteFields favourite;
    ui::PeerConnectEntry entry;
    bool kept;
  } cases[] = {
      {"type 3, all equal", {"F", "host:2550", "anna", "pw", 3}, byAddress, true},
      {"type 3, other address", {"F", "other:2550", "anna", "pw", 3}, byAddress, false},
      {"type 3, other user", {"F", "host:2550", "bob", "pw", 3}, byAddress, false},
      {"type 3, other password", {"F", "host:2550", "anna", "x", 3}, byAddress, false},
      {"type 3 against a Bonjour entry", {"F", "host:2550", "anna", "pw", 3}, byBonjour, false},
      {"type 2, same key", {"F", "studio._trsharing._tcp.local.", "anna", "pw", 2}, byBonjour, true},
      {"type 2, entry without key", {"F", "host:2550", "anna", "pw", 2}, byAddress, false},
      {"type 2, other password", {"F", "studio._trsharing._tcp.local.", "anna", "", 2}, byBonjour, false},
      {"an FTP favourite whatever was typed", {"F", "ftp.example", "x", "y", 1}, byAddress, true},
  };
  for (const auto& c : cases) {
    const auto name = ui::RequestFavouriteName(c.favourite, c.entry);
    EXPECT_EQ(name.has_value(), c.kept) << c.what;
    if (name) {
      EXPECT_EQ(*name, "F") << c.what;
    }
  }
  EXPECT_FALSE(ui::RequestFavouriteName(std::nullopt, byAddress));
}

TEST(SharingWindowRules, ProgressStepsHaveTheirTextsAndOtherValuesNone) {
  EXPECT_EQ(ui::ConnectionStepText(1), "Connecting...");
  EXPECT_EQ(ui::ConnectionStepText(2), "Authenticating...");
  EXPECT_EQ(ui::ConnectionStepText(3), "Receiving Folder list...");
  EXPECT_EQ(ui::ConnectionStepText(4), "Receiving Item list...");
  EXPECT_FALSE(ui::ConnectionStepText(0));
  EXPECT_FALSE(ui::ConnectionStepText(5));
}

TEST(SharingWindowRules, EachResultLeadsToItsActions) {
  const std::string generic =
      "Truvane is unable to connect to studio. The remote machine may be offline, or Truvane may not be "
      "currently running on it.\rError : ";
  const struct {
    std::int64_t result;
    bool silent;
    bool success, reopenLogin, removeRecord, markDisconnected, release;
    std::optional<std::string> alert;
  } cases[] = {
      {-5, false, true, false, false, false, true, std::nullopt},
      {-4, false, false, false, true, true, true, std::nullopt},
      {-3, false, false, true, false, false, false, std::nullopt},
      {-3, true, false, true, false, false, false, std::nullopt},
      {-2, false, false, false, true, true, true, std::nullopt},
      {-6, false, false, false, true, true, true,
       "Truvane is unable to establish a secure connection to studio. Check that it is running Truvane 4 or "
       "higher"},
      {-6, true, false, false, true, true, true, std::nullopt},
      {-1, false, false, false, true, true, true, generic + "-1"},
      {-1, true, false, false, true, true, true, std::nullopt},
      {104, false, false, false, true, true, true, generic + "104"},
  };
  for (const auto& c : cases) {
    const auto o = ConnectionOutcomeForResult(c.result, c.silent, "studio");
    SCOPED_TRACE(testing::Message() << c.result << (c.silent ? " silent" : ""));
    EXPECT_EQ(o.success, c.success);
    EXPECT_EQ(o.reopenLogin, c.reopenLogin);
    EXPECT_EQ(o.removeRecord, c.removeRecord);
    EXPECT_EQ(o.markFavouriteDisconnected, c.markDisconnected);
    EXPECT_EQ(o.releaseRequest, c.release);
    EXPECT_EQ(o.alert, c.alert);
  }
}

util::SharingUsersTable ThreeUsers() {
  util::SharingUsersTable users;
  users["Guest"].viewUIDs = {0x100001};
  users["anna"].viewUIDs = {0x100003, 0x100001};
  users["anna"].downloadUIDs = {0x100001};
  users["bob"].viewUIDs = {};
  return users;
}

TEST(SharingWindowRules, FolderSheetRowsFollowTheUsersLists) {
  ui::FolderSharingRows rows(0x100001, ThreeUsers());
  ASSERT_EQ(rows.rows().size(), 3u);
  EXPECT_EQ(rows.rows()[0].user, "Guest");
  EXPECT_TRUE(rows.rows()[0].view);
  EXPECT_FALSE(rows.rows()[0].download);
  EXPECT_TRUE(rows.rows()[1].view);
  EXPECT_TRUE(rows.rows()[1].download);
  EXPECT_FALSE(rows.rows()[2].view);
  EXPECT_TRUE(rows.CanConfirm());
  EXPECT_FALSE(ui::FolderSharingRows(0x100002, ThreeUsers()).CanConfirm());
}

TEST(SharingWindowRules, FolderSheetChecksDependOnEachOther) {
  enum Op { kView, kDownload, kAll, kNone };
  const struct {
    const char* what;
    std::vector<std::pair<Op, bool>> ops;  // on row 2 ("bob")
    bool view, download, canConfirm;
  } cases[] = {
      {"download ticks view", {{kDownload, true}}, true, true, true},
      {"unticking view unticks download", {{kDownload, true}, {kView, false}}, false, false, true},
      {"unticking download keeps view", {{kDownload, true}, {kDownload, false}}, true, false, true},
      {"all", {{kAll, true}}, true, true, true},
      {"none leaves nothing to confirm", {{kAll, true}, {kNone, true}}, false, false, false},
  };
  for (const auto& c : cases) {
    ui::FolderSharingRows rows(0x100001, ThreeUsers());
    for (const auto& [op, on] : c.ops) {
      if (op == kView) rows.SetView(2, on);
      if (op == kDownload) rows.SetDownload(2, on);
      if (op == kAll) rows.SelectAll();
      if (op == kNone) rows.SelectNone();
    }
    EXPECT_EQ(rows.rows()[2].view, c.view) << c.what;
    EXPECT_EQ(rows.rows()[2].download, c.download) << c.what;
    EXPECT_EQ(rows.CanConfirm(), c.canConfirm) << c.what;
  }
}

TEST(SharingWindowRules, ConfirmedSheetKeepsEveryListSortedWithoutDuplicates) {
  util::SharingUsersTable users = ThreeUsers();
  ui::FolderSharingRows rows(0x100002, users);
  rows.SetDownload(0, true);  // Guest
  rows.SetView(1, true);      // anna
  rows.ApplyTo(users);
  rows.ApplyTo(users);  // applied twice: still once in each list
  EXPECT_EQ(users["Guest"].viewUIDs, (std::vector<std::uint32_t>{0x100001, 0x100002}));
  EXPECT_EQ(users["Guest"].downloadUIDs, (std::vector<std::uint32_t>{0x100002}));
  EXPECT_EQ(users["anna"].viewUIDs, (std::vector<std::uint32_t>{0x100001, 0x100002, 0x100003}));
  EXPECT_EQ(users["anna"].downloadUIDs, (std::vector<std::uint32_t>{0x100001}));

  ui::FolderSharingRows away(0x100001, users);
  away.SetView(1, false);  // takes the folder away from anna, download too
  away.ApplyTo(users);
  EXPECT_EQ(users["anna"].viewUIDs, (std::vector<std::uint32_t>{0x100002, 0x100003}));
  EXPECT_TRUE(users["anna"].downloadUIDs.empty());
}

TEST(SharingWindowRules, ActivityShowsTheMeanOfTheLastFiveSeconds) {
  const struct {
    std::vector<std::int32_t> samples;
    const char* shown;
  } cases[] = {
      {{10240, 0, 0, 0, 0}, "2.0 KB/s"},
      {{10240}, "2.0 KB/s"},
      {{10240, 0, 0, 0, 0, 0}, "0.0 KB/s"},  // the busy second has left the window
      {{1024, 1024, 1024, 1024, 1024}, "1.0 KB/s"},
      {{512}, "0.1 KB/s"},
  };
  for (const auto& c : cases) {
    ui::ActivityRate rate;
    std::string shown;
    for (std::int32_t s : c.samples) shown = rate.Add(s);
    EXPECT_EQ(shown, c.shown);
  }
}

}  // namespace
