// The history by day and the download filters: positions, the limit, expiry, day rows,
// matching by extension, destinations and re-filing.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/queue/folders/folder_table.h"
#include "app/queue/history/download_filters.h"
#include "app/queue/history/history.h"
#include "app/queue/history/history_filter_rows.h"
#include "app/queue/record/download_files.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/date_time.h"
#include "tests/app/queue/queue_test_support.h"

namespace queue {
namespace {

namespace fs = std::filesystem;
constexpr double kDay = 86400;

class HistoryTest : public testing_support::QueueTest {
 protected:
  void SetUp() override {
    QueueTest::SetUp();
    zone_ = std::make_unique<values::ScopedDefaultTimeZone>(*values::TimeZone::Named("Europe/Berlin"));
    clock_ = std::make_shared<values::ManualClock>(values::AssembleDate({2026, 3, 11, 12, 0, 0}));
    use_ = std::make_unique<values::ScopedClock>(clock_);
    ClearHistoryTable();
    QueueHooksSlot::Get().removeFromHistory = TakeOutOfHistoryDay;
    AddMissingBuiltInFolders();
  }
  void TearDown() override {
    ClearHistoryTable();
    util::SettingsPreferences().Set("historylifetime", values::Value(1));
    use_.reset();
    zone_.reset();
    QueueTest::TearDown();
  }

  // A finished download listed in My Downloads.
  WrapperRef Finished(DownloadUID uid, double end = 0, bool listed = true) {
    auto w = DownloadQueueWrapper::Create();
    w->element().uid = uid;
    w->element().status = kStatusCompleted;
    w->element().endDate = end == 0 ? values::Now() : end;
    w->element().filename = "f" + std::to_string(uid);
    QueueItemsSet(uid, w);
    if (listed) AddElementToListableFolder(kMyDownloadsViewID, w);
    return w;
  }
  std::int32_t Position(DownloadUID uid) { return LookUpDownloadWrapper(uid)->element().historyPosition; }

  std::unique_ptr<values::ScopedDefaultTimeZone> zone_;
  std::shared_ptr<values::ManualClock> clock_;
  std::unique_ptr<values::ScopedClock> use_;
};

TEST_F(HistoryTest, DayKeysAreLocalMidnightsSince1904) {
  const double noon = values::Now();
  EXPECT_EQ(GetDayStart(noon), values::SecondsSince1904(values::AssembleDate({2026, 3, 11, 0, 0, 0})));
  EXPECT_EQ(GetDayStart(noon + 12 * 3600 - 1), GetDayStart(noon));
  EXPECT_EQ(GetDayStart(noon + 12 * 3600), GetDayStart(noon) + 86400);
}

TEST_F(HistoryTest, CutoffByLifetime) {
  const struct {
    int lifetime;
    double age;
  } cases[] = {{2, 604800}, {3, 1209600}, {4, 2678400}, {5, 31622400}};
  for (const auto& c : cases) {
    util::SettingsPreferences().Set("historylifetime", values::Value(c.lifetime));
    EXPECT_EQ(GetHistoryCutoffTime(), values::Now() - c.age) << c.lifetime;
  }
  for (int never : {0, 1, 6}) {
    util::SettingsPreferences().Set("historylifetime", values::Value(never));
    EXPECT_EQ(GetHistoryCutoffTime(), -1.0);
  }
}

TEST_F(HistoryTest, RefinishingMovesAnEntryToTheTopAndOnlyThoseAboveItDown) {
  for (DownloadUID uid = 1; uid <= 7; ++uid) AddToHistory(Finished(uid));
  // Newest first: 7 is at 1, 3 at 5.
  ASSERT_EQ(Position(3), 5);
  AddToHistory(LookUpDownloadWrapper(3));
  EXPECT_EQ(Position(3), 1);
  EXPECT_EQ(Position(7), 2);
  EXPECT_EQ(Position(4), 5);
  EXPECT_EQ(Position(2), 6);
  EXPECT_EQ(Position(1), 7);
  EXPECT_EQ(GetHistoryDays().size(), 1u);
  EXPECT_EQ(GetHistoryDays().begin()->second.uids.size(), 7u);
}

TEST_F(HistoryTest, TheThousandAndFirstEntryLeaves) {
  for (DownloadUID uid = 1; uid <= 1000; ++uid) {
    // Listed only in the history.
    Finished(uid, 0, false)->element().historyPosition = static_cast<std::int32_t>(1001 - uid);
  }
  LoadHistory();
  AddToHistory(Finished(1001));
  EXPECT_EQ(Position(1001), 1);
  EXPECT_FALSE(LookUpDownloadWrapper(1)) << "the oldest entry, only in the history, left the queue";
  EXPECT_EQ(Position(1000), 2);
  EXPECT_EQ(GetHistoryDays().begin()->second.uids.size(), 1000u);
}

TEST_F(HistoryTest, MovingYesterdaysOnlyEntryToTodayRemovesYesterday) {
  auto w = Finished(1, values::Now() - kDay);
  w->element().historyPosition = 1;
  LoadHistory();
  ASSERT_EQ(GetHistoryDays().size(), 1u);
  AddToHistory(w);
  ASSERT_EQ(GetHistoryDays().size(), 1u);
  EXPECT_EQ(GetHistoryDays().begin()->first, GetDayStart(values::Now()));
}

TEST_F(HistoryTest, LoadDropsEntriesOlderThanTheLifetimeAndRestoresOpenDays) {
  util::SettingsPreferences().Set("historylifetime", values::Value(2));
  auto old = Finished(1, values::Now() - 8 * kDay);
  old->element().historyPosition = 2;
  auto recent = Finished(2, values::Now() - 6 * kDay);
  recent->element().historyPosition = 1;
  const std::int64_t recentDay = GetDayStart(recent->endDate());
  util::SettingsPreferences().Set("historyOpen", values::Value(values::Array{values::Number::Int64(recentDay),
                                                                             values::Number::Int64(12345)}));
  LoadHistory();
  EXPECT_EQ(Position(1), -1);
  ASSERT_EQ(GetHistoryDays().size(), 1u);
  EXPECT_TRUE(FindHistoryDay(recentDay)->open);
  EXPECT_EQ(CopyOpenHistoryDays(), (values::Array{values::Number::Int64(recentDay)}));
  util::SettingsPreferences().Set("historyOpen", values::Value(values::Array{}));
}

TEST_F(HistoryTest, TrimToZeroEmptiesTheHistoryAndPurgeDropsOldDays) {
  for (DownloadUID uid = 1; uid <= 3; ++uid) AddToHistory(Finished(uid));
  clock_->Advance(40 * kDay);
  AddToHistory(Finished(4));
  util::SettingsPreferences().Set("historylifetime", values::Value(4));
  PurgeExpiredHistory();
  EXPECT_EQ(GetHistoryDays().size(), 1u);
  EXPECT_EQ(Position(1), -1);
  EXPECT_TRUE(LookUpDownloadWrapper(1)) << "still listed in My Downloads";
  TrimHistory(0);
  EXPECT_TRUE(GetHistoryDays().empty());
  EXPECT_EQ(Position(4), -1);
}

TEST_F(HistoryTest, TheListsDayRowsReadTheTableLiveAndStayTheSameObjects) {
  AddToHistory(Finished(1));
  AddToHistory(Finished(2));
  QueueHistoryFilterRows rows;
  auto days = rows.CopyHistoryDays();
  ASSERT_EQ(days.size(), 1u);
  EXPECT_EQ(days[0]->day(), static_cast<std::uint32_t>(GetDayStart(values::Now())));
  EXPECT_EQ(days[0]->itemCount(), 2);
  EXPECT_FALSE(days[0]->open());
  SetHistoryDayOpen(GetDayStart(values::Now()), true);
  EXPECT_TRUE(days[0]->open());
  EXPECT_EQ(rows.CopyHistoryDownloadUIDs().size(), 2u);

  clock_->Advance(kDay);
  AddToHistory(Finished(3));
  auto again = rows.CopyHistoryDays();
  ASSERT_EQ(again.size(), 2u);
  EXPECT_TRUE(again[0] == days[0] || again[1] == days[0]) << "a refill hands back the row the list shows";
}

// ---- Filters ----

class FilterTest : public testing_support::QueueTest {
 protected:
  void SetUp() override {
    QueueTest::SetUp();
    util::SettingsPreferences().Set("use filters", values::Value(true));
    LoadFilters(nullptr);
  }
  void TearDown() override {
    LoadFilters(nullptr);
    QueueTest::TearDown();
  }
};

TEST_F(FilterTest, NamesMatchByExtensionIgnoringCase) {
  const struct {
    const char* name;
    const char* filter;
  } cases[] = {{"Report.PDF", "Documents"}, {"archive.zip.part", ""}, {"a.tgz", "Applications"},
               {"song.Mp3", "Music"},       {"clip.mpeg", "Video"},   {"noext", ""}};
  for (const auto& c : cases) {
    FilterRef f = FindFilterForFileName(c.name);
    EXPECT_EQ(f ? f->name : "", c.filter) << c.name;
  }
  util::SettingsPreferences().Set("use filters", values::Value(false));
  EXPECT_FALSE(FindFilterForFileName("Report.pdf"));
}

TEST_F(FilterTest, StoredFiltersKeepTheirOrderAndDefaults) {
  const values::Array stored{
      values::Value(values::Dictionary{{"extensions", values::Array{".x"}}}),
      values::Value(values::Dictionary{
          {"name", "Mine"}, {"extensions", values::Array{".y", ".x"}}, {"relative", false}}),
  };
  LoadFilters(&stored);
  auto table = GetFilters();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0]->name, "F");
  EXPECT_TRUE(table[0]->relative);
  EXPECT_FALSE(table[1]->relative);
  EXPECT_EQ(FindFilterForFileName("a.x")->name, "F");
  EXPECT_EQ(CopyFiltersPreference()[1], stored[1]);
}

TEST_F(FilterTest, DestinationsAreMadeAndNeverLeaveTheDownloadFolder) {
  const std::string dir = testsupport::MakeTempDir("filters");
  const files::FileRef downloads(dir);
  files::FileRef out;
  EXPECT_EQ(MakeFilterDestination(downloads, out, "Images", true), files::noErr);
  EXPECT_EQ(out.Path(), dir + "/Images");
  EXPECT_TRUE(fs::is_directory(dir + "/Images"));
  testsupport::WriteFile(dir + "/Taken", "x");
  EXPECT_EQ(MakeFilterDestination(downloads, out, "Taken", true), files::dupFNErr);
  EXPECT_EQ(out, downloads);
  EXPECT_EQ(MakeFilterDestination(downloads, out, "../out", true), files::fnfErr);
  EXPECT_EQ(out, downloads);
  EXPECT_EQ(MakeFilterDestination(downloads, out, "~/Sorted", false), files::noErr);
  EXPECT_EQ(out.Path(), testsupport::TempHome() + "/Sorted");
  EXPECT_TRUE(fs::is_directory(testsupport::TempHome() + "/Sorted"));
}

TEST_F(FilterTest, RefilingFindsAFreeName) {
  const std::string dir = testsupport::MakeTempDir("refile");
  fs::create_directories(dir + "/Applications");
  testsupport::WriteFile(dir + "/Applications/a.zip", "1");
  testsupport::WriteFile(dir + "/Applications/a.1.zip", "2");
  testsupport::WriteFile(dir + "/a.zip", "3");
  auto w = DownloadQueueWrapper::Create();
  w->element().uid = 9;
  w->element().completeFile = MakeAliasBytes(files::FileRef(dir + "/a.zip"));
  w->element().completeURL = values::FileUrlFromPath(dir + "/a.zip", false);
  QueueItemsSet(9, w);
  FileElementByFilter(w, files::FileRef(dir));
  EXPECT_EQ(testsupport::ReadFile(dir + "/Applications/a.2.zip"), "3");
  EXPECT_FALSE(fs::exists(dir + "/a.zip"));
  EXPECT_EQ(w->element().completeURL->FileSystemPath(), dir + "/Applications/a.2.zip");
  // Outside the download folder nothing moves.
  FileElementByFilter(w, files::FileRef(dir + "/Other"));
  EXPECT_TRUE(fs::exists(dir + "/Applications/a.2.zip"));
}

TEST_F(FilterTest, TheListsFilterRowsFollowTheTable) {
  QueueHistoryFilterRows rows;
  auto filters = rows.CopyFilters();
  const auto table = GetFilters();
  ASSERT_EQ(filters.size(), table.size());
  ASSERT_FALSE(filters.empty());
  EXPECT_EQ(filters[0]->name(), table[0]->name);
  EXPECT_FALSE(filters[0]->open());
  table[0]->open = true;
  EXPECT_TRUE(filters[0]->open());
  EXPECT_EQ(rows.CopyFilterExtensions()[0], table[0]->extensions);
  EXPECT_EQ(rows.CopyFilters()[0], filters[0]);
  table[0]->open = false;
}

TEST_F(FilterTest, SetFiltersUpdatesInPlaceAndKeepsOpenFlags) {
  GetFilters()[1]->open = true;  // Documents
  std::vector<DownloadFilter> edited{{.name = "Documents", .extensions = {".odt"}},
                                     {.name = "New", .extensions = {".n"}}};
  util::SettingsPreferences().Set("keep_filters_organised", values::Value(false));
  SetFilters(edited);
  auto table = GetFilters();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_TRUE(table[0]->open);
  EXPECT_EQ(table[0]->extensions, std::vector<std::string>{".odt"});
  EXPECT_FALSE(table[1]->open);
  util::SettingsPreferences().Set("keep_filters_organised", values::Value(true));
}

}  // namespace
}  // namespace queue
