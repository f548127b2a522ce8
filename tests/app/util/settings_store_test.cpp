#include "app/util/settings/settings_store.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/shell/settings_hooks.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/sharing_users.h"
#include "platform/prefs/preference_store.h"
#include "tests/fakes/favourites_service_fake.h"
#include "tests/fakes/interface_service_fake.h"
#include "tests/fakes/queue_services_fake.h"
#include "tests/support/temp_home.h"

namespace {

using namespace util;
using namespace queue;
using namespace browser;
using namespace ui;

using values::Array;
using values::Dictionary;
using values::Number;
using values::Value;

Value I32(int v) {
  return Value(Number::Int32(v));
}
Value Limit(int limit, bool status) {
  return Dictionary{{"limit", I32(limit)}, {"status", status}};
}

// Each test gets its own preference folder and fresh stand-ins for the other subsystems;
// Reopen() drops the store and opens the folder again, as a restart of the program does.
class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::MakeTempDir("prefs");
    Reopen();
    auto filters = std::make_unique<FakeFilterTableService>();
    filters_ = filters.get();
    FilterTableServiceSlot::Set(std::move(filters));
    auto schedule = std::make_unique<FakeQueueScheduleService>();
    schedule_ = schedule.get();
    QueueScheduleServiceSlot::Set(std::move(schedule));
    auto favourites = std::make_unique<FakeFavouritesService>();
    favourites_ = favourites.get();
    FavouritesServiceSlot::Set(std::move(favourites));
    auto ui = std::make_unique<FakeInterfaceService>();
    ui_ = ui.get();
    InterfaceServiceSlot::Set(std::move(ui));
    DisposeDefaultFolderAlias();
    ChangeSettings([](Settings& s) { s = Settings{}; });
    // What start-up hangs on the store: the stand-ins above are reached through it.
    shell::InstallSettingsHooks();
  }
  void TearDown() override {
    SettingsHooksSlot::Reset();
    SetSettingsPreferences(nullptr);
    FilterTableServiceSlot::Set(nullptr);
    QueueScheduleServiceSlot::Set(nullptr);
    FavouritesServiceSlot::Set(nullptr);
    InterfaceServiceSlot::Set(nullptr);
    DisposeDefaultFolderAlias();
  }

  // A restart: what was synchronised is all that survives.
  void Reopen() {
    if (store_) store_->SynchronizeAll();
    SetSettingsPreferences(nullptr);
    store_ = std::make_unique<prefs::PreferenceStore>(folder_);
    SetSettingsPreferences(store_.get());
    ChangeSettings([](Settings& s) { s = Settings{}; });
  }
  // Start-up: load, then save at once.
  void Launch() {
    LoadPreferences(false);
    SavePreferences();
  }

  std::string folder_;
  std::unique_ptr<prefs::PreferenceStore> store_;
  FakeFilterTableService* filters_ = nullptr;
  FakeQueueScheduleService* schedule_ = nullptr;
  FakeFavouritesService* favourites_ = nullptr;
  FakeInterfaceService* ui_ = nullptr;
};

TEST_F(SettingsStoreTest, FirstLaunchStoresEveryDefault) {
  Launch();
  EXPECT_EQ(Value(6), *store_->CopyValue("Queue Length"));
  EXPECT_EQ(Value(FakeFilterTableService::DefaultFilters()), *store_->CopyValue("Filters"));
  runtime::RegionGuard inside(SharingUsersRegion());
  ASSERT_EQ(1u, SharingUsers().size());
  EXPECT_EQ(-1, SharingUsers().at("Guest").quota);
  EXPECT_EQ(std::vector<bool>{false}, ui_->simpleModeCalls);  // advanced interface
  EXPECT_EQ(std::vector<bool>{true}, ui_->helpTagCalls);
  ASSERT_EQ(1u, schedule_->reads.size());
  EXPECT_FALSE(schedule_->reads[0].has_value());
}

TEST_F(SettingsStoreTest, SettingsSurviveARestart) {
  Launch();
  ChangeSettings([](Settings& s) {
    s.queueLength = 3;
    s.sharePort = 4000;
    s.postProcessTypes = ".zip";
    s.domainLimits = {{"example.org", 2}};
    s.blackList = {".bank.example"};
    s.dockFore = {{1, 2, 3}, 0.25f};
    s.quitWhenDone = true;
  });
  {
    runtime::RegionGuard inside(SharingUsersRegion());
    SharingUsers()["alice"] = {{7, 7}, {1}, {1}, 100, true};
  }
  SavePreferences();
  Reopen();
  {
    runtime::RegionGuard inside(SharingUsersRegion());
    SharingUsers().clear();
  }
  LoadPreferences(false);

  const auto s = CurrentSettings();
  EXPECT_EQ(3, s->queueLength);
  EXPECT_EQ(4000, s->sharePort);
  EXPECT_EQ(".zip", s->postProcessTypes);
  EXPECT_EQ((DomainLimits{{"example.org", 2}}), s->domainLimits);
  EXPECT_EQ(std::vector<std::string>{".bank.example"}, s->blackList);
  EXPECT_EQ((SettingsColor{{1, 2, 3}, 0.25f}), s->dockFore);
  EXPECT_TRUE(s->quitWhenDone);
  runtime::RegionGuard inside(SharingUsersRegion());
  EXPECT_EQ((SharingUserRecord{{7, 7}, {1}, {1}, 100, true}), SharingUsers().at("alice"));
  EXPECT_TRUE(SharingUsers().contains("Guest"));
}

TEST_F(SettingsStoreTest, ALimitSetFromTheMenuSurvivesARestartWithoutAQuit) {
  Launch();
  // The bandwidth menu changes the limit in memory and its writer stores the live key;
  // then the program ends without its shut-down save.
  ChangeSettings([](Settings& s) { s.downloadBandwidth = {30720, true}; });
  store_->Set("Bandwidth Settings", Limit(30720, true));
  Reopen();
  Launch();
  EXPECT_EQ((BandwidthLimit{30720, true}), CurrentSettings()->downloadBandwidth);
  // The save that follows the launch puts both keys in step.
  EXPECT_EQ(Value(30720), *store_->CopyValue("Bandwidth settings")->Find("limit"));
}

TEST_F(SettingsStoreTest, ALimitSetInThePreferencesWindowSurvivesARestart) {
  store_->Set("Bandwidth Settings", Limit(10240, false));  // an old menu setting
  Launch();
  // The window writes its key with the window's own entries, then applies.
  store_->Set(
      "Bandwidth settings",
      Dictionary{{"limit", I32(51200)}, {"status", true}, {"total", I32(8192)}, {"connection type", I32(3)}});
  LoadPreferences(true);
  EXPECT_EQ((BandwidthLimit{51200, true}), CurrentSettings()->downloadBandwidth);
  Reopen();
  Launch();
  EXPECT_EQ((BandwidthLimit{51200, true}), CurrentSettings()->downloadBandwidth);
  const Value stored = *store_->CopyValue("Bandwidth settings");
  EXPECT_EQ(Value(8192), *stored.Find("total"));
  EXPECT_EQ(Value(3), *stored.Find("connection type"));
}

TEST_F(SettingsStoreTest, AStaleWindowDoesNotUndoAMenuChange) {
  Launch();
  ChangeSettings([](Settings& s) { s.downloadBandwidth = {20480, true}; });
  store_->Set("Bandwidth Settings", Limit(20480, true));
  // The window writes back the store key as it read it at launch.
  store_->Set("Bandwidth settings", *store_->CopyValue("Bandwidth settings"));
  LoadPreferences(true);
  EXPECT_EQ((BandwidthLimit{20480, true}), CurrentSettings()->downloadBandwidth);
  EXPECT_EQ(Value(20480), *store_->CopyValue("Bandwidth settings")->Find("limit"));
}

TEST_F(SettingsStoreTest, ShutDownWritesBothKeysOfEachPair) {
  Launch();
  ChangeSettings([](Settings& s) { s.uploadBandwidth = {5120, true}; });
  SaveBandwidthSettings();
  Reopen();
  Launch();
  EXPECT_EQ((BandwidthLimit{5120, true}), CurrentSettings()->uploadBandwidth);
  EXPECT_EQ(*store_->CopyValue("Upload Bandwidth settings"), *store_->CopyValue("Upload Bandwidth Settings"));
}

TEST_F(SettingsStoreTest, ReloadLeavesStartUpOnlyValuesAndSeams) {
  store_->Set("Splitter xpos", I32(250));
  Launch();
  store_->Set("Splitter xpos", I32(100));
  store_->Set("fontSize", I32(1));
  store_->Set("advanced_mode", false);
  LoadPreferences(true);
  EXPECT_EQ(250, CurrentSettings()->splitterXpos);
  EXPECT_EQ(1, CurrentSettings()->fontSize);
  EXPECT_EQ(std::vector<bool>{false}, ui_->simpleModeCalls);  // only at start-up
  EXPECT_EQ(1u, schedule_->reads.size());
  EXPECT_EQ(2u, filters_->loads.size());  // filters at every load
}

TEST_F(SettingsStoreTest, OlderFavouritesAreConvertedAndWrittenBack) {
  store_->Set("Favourites", Dictionary{{"Mirror", Dictionary{{"host", "ftp.example"}}}});
  Launch();
  ASSERT_EQ(1u, favourites_->added.size());
  EXPECT_EQ("Mirror", favourites_->added[0].first);
  const std::optional<Value> v2 = store_->CopyValue("Favouritesv2");
  ASSERT_TRUE(v2.has_value());
  EXPECT_EQ(Value(2), *v2->Find("Mirror")->Find("version"));
}

TEST_F(SettingsStoreTest, TheNewerFavouritesKeyWins) {
  store_->Set("Favourites", Dictionary{{"Old", Dictionary{}}});
  store_->Set("Favouritesv2", Dictionary{{"New", Dictionary{{"version", 2}}}});
  Launch();
  ASSERT_EQ(1u, favourites_->added.size());
  EXPECT_EQ("New", favourites_->added[0].first);
}

TEST_F(SettingsStoreTest, SystemPlugIsReadForThisHostOnly) {
  store_->Set("systemplug", true);
  Launch();
  EXPECT_FALSE(CurrentSettings()->systemPlug);
  store_->Set("systemplug", true, prefs::kApplicationDomain, prefs::Scope::kCurrentHost);
  LoadPreferences(true);
  EXPECT_TRUE(CurrentSettings()->systemPlug);
}

TEST_F(SettingsStoreTest, BridgesReadRegisteredDefaultsUnderStoredValues) {
  store_->RegisterDefaults({{"downloadMode", 1}, {"confirm removals", true}});
  EXPECT_EQ(1, PrefIntegerForKey("downloadMode"));
  EXPECT_TRUE(PrefBoolForKey("confirm removals"));
  EXPECT_FALSE(PrefBoolForKey("never registered"));
  EXPECT_EQ(0, PrefIntegerForKey("never registered"));
  SetPreferenceValue("downloadMode", 2);
  SetPreferenceValue("confirm removals", false);
  EXPECT_EQ(2, PrefIntegerForKey("downloadMode"));
  EXPECT_FALSE(PrefBoolForKey("confirm removals"));
  SetPreferenceValue("downloadMode", Value());
  EXPECT_EQ(1, PrefIntegerForKey("downloadMode"));

  store_->RegisterDefaults({{"confirm removals", true}});
  SetPreferenceValue("confirm removals", Value());
  Launch();
  EXPECT_TRUE(CurrentSettings()->confirmRemovals);
}

}  // namespace
