#include "app/util/settings/setting_keys.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/util/settings/bandwidth_settings.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "tests/support/temp_home.h"

namespace {

using namespace util;
using values::Dictionary;
using values::Number;
using values::Value;

class SettingKeysTest : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  // A new, empty preference folder in place of the last one.
  void Fresh() {
    SetSettingsPreferences(nullptr);
    folder_ = testsupport::MakeTempDir("setting-keys");
    store_ = std::make_unique<prefs::PreferenceStore>(folder_);
    SetSettingsPreferences(store_.get());
  }
  void TearDown() override { SetSettingsPreferences(nullptr); }

  std::string folder_;
  std::unique_ptr<prefs::PreferenceStore> store_;
};

// The user-defaults view: the stored value over the registered default over the type's
// empty value; stored text and numbers convert as every preference read does.
TEST_F(SettingKeysTest, ReadSettingTakesStoredThenRegisteredThenEmpty) {
  struct Case {
    const char* what;
    std::optional<Value> registered;
    std::optional<Value> stored;
    bool asBool;
    std::int32_t asInteger;
  };
  const Case cases[] = {
      {"neither", std::nullopt, std::nullopt, false, 0},
      {"registered only", Value(true), std::nullopt, true, 1},
      {"stored over registered", Value(Number::Int32(3)), Value(Number::Int32(0)), false, 0},
      {"stored text", std::nullopt, Value("yes"), true, 0},
      {"stored number text", std::nullopt, Value("2"), true, 2},
      {"unconvertible stored value", Value(Number::Int32(5)), Value(Dictionary{}), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    if (c.registered) store_->RegisterDefaults({{"k", *c.registered}});
    if (c.stored) store_->Set("k", *c.stored);
    EXPECT_EQ(c.asBool, ReadSetting(SettingKey<bool>{"k"}));
    EXPECT_EQ(c.asInteger, ReadSetting(SettingKey<std::int32_t>{"k"}));
  }
}

// A choice reads as its enumeration through the same view, so a reader compares with a
// named value; one the user never set reads as the registered choice.
TEST_F(SettingKeysTest, ChoicesReadAsTheirEnumeration) {
  store_->RegisterDefaults({{"remove when", 1}, {"downloadMode", 1}});
  EXPECT_EQ(RemoveFinished::kManually, ReadSetting(kRemoveWhenKey));
  EXPECT_EQ(DownloadMode::kDirect, ReadSetting(kDownloadModeKey));
  store_->Set("remove when", Value(Number::Int64(3)));
  store_->Set("downloadMode", Value("2"));
  EXPECT_EQ(RemoveFinished::kAtQuit, ReadSetting(kRemoveWhenKey));
  EXPECT_EQ(DownloadMode::kAskWhere, ReadSetting(kDownloadModeKey));
  WriteSetting(kRemoveWhenKey, RemoveFinished::kWhenFinished);
  EXPECT_EQ(RemoveFinished::kWhenFinished, ReadSetting(kRemoveWhenKey));
}

// The stored view never sees registered defaults: an absent key is told apart from one
// stored with the default's value.
TEST_F(SettingKeysTest, ReadStoredSettingIgnoresRegisteredDefaults) {
  store_->RegisterDefaults({{"hideLeftPane", true}, {"lastfolder", 7}, {"last location", "/opt"}});
  EXPECT_FALSE(ReadStoredSetting(kHideLeftPaneKey));
  EXPECT_FALSE(ReadStoredSetting(kLastFolderKey));
  EXPECT_FALSE(ReadStoredSetting(kLastLocationKey));
  store_->Set("hideLeftPane", Value(Dictionary{}));
  EXPECT_FALSE(ReadStoredSetting(kHideLeftPaneKey)) << "a value that does not convert is absent";

  WriteSetting(kHideLeftPaneKey, false);
  WriteSetting(kLastFolderKey, 12);
  WriteSetting(kLastLocationKey, std::string("/usr/bin/truvane"));
  EXPECT_EQ(std::optional<bool>(false), ReadStoredSetting(kHideLeftPaneKey));
  EXPECT_EQ(std::optional<std::int64_t>(12), ReadStoredSetting(kLastFolderKey));
  EXPECT_EQ(std::optional<std::string>("/usr/bin/truvane"), ReadStoredSetting(kLastLocationKey));
}

// Writes keep the stored forms a reload reads back: integers as 64-bit numbers, data as
// data; a removal and a synchronise reach the file.
TEST_F(SettingKeysTest, WritesSurviveARestartInTheirStoredForms) {
  WriteSetting(kPreviousQueueStateKey, 2);
  WriteSetting(kServerKeyKey, values::Bytes{1, 2, 3});
  WriteSetting(kFavouritesKey, Value(Dictionary{{"a", Value(1)}}));
  store_->Set("Authentication Data", Value(Dictionary{}));
  RemoveSetting(kLegacyAuthenticationDataKey);
  SynchronizeSettings();

  SetSettingsPreferences(nullptr);
  store_ = std::make_unique<prefs::PreferenceStore>(folder_);
  SetSettingsPreferences(store_.get());
  const std::optional<Value> state = store_->CopyValue("previous_queue_state");
  ASSERT_TRUE(state && state->IsNumber());
  EXPECT_EQ(Number::Kind::kInt64, state->AsNumber()->kind);
  EXPECT_EQ(std::optional<values::Bytes>(values::Bytes{1, 2, 3}), ReadStoredSetting(kServerKeyKey));
  EXPECT_TRUE(store_->CopyValue("Favouritesv2"));
  EXPECT_FALSE(ReadStoredSetting(kLegacyAuthenticationDataKey));
}

// The live bandwidth key takes the new limit and keeps what else is stored in it.
TEST_F(SettingKeysTest, LiveBandwidthWriteKeepsTheOtherEntries) {
  const BandwidthKeyPair& pair = kDownloadBandwidthKeys;
  store_->Set(pair.liveKey, Value(Dictionary{{"total", Value(Number::Int32(8192))}, {"limit", Value(1)}}));
  WriteLiveBandwidthLimit(pair, BandwidthLimit{4096, true});
  const std::optional<Value> stored = store_->CopyValue(pair.liveKey);
  ASSERT_TRUE(stored && stored->IsDictionary());
  std::int64_t total = 0;
  std::int64_t limit = 0;
  bool status = false;
  EXPECT_EQ(values::Lookup::kOk, stored->GetInt64("total", total));
  EXPECT_EQ(values::Lookup::kOk, stored->GetInt64("limit", limit));
  EXPECT_EQ(values::Lookup::kOk, stored->GetBool("status", status));
  EXPECT_EQ(8192, total);
  EXPECT_EQ(4096, limit);
  EXPECT_TRUE(status);
}

}  // namespace
