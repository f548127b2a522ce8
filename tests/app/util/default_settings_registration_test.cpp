#include <gtest/gtest.h>

#include <memory>

#include "app/util/settings/default_settings.h"
#include "app/util/settings/plugin_file_types.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "tests/support/temp_home.h"

namespace {

using namespace util;

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<prefs::PreferenceStore>(testsupport::MakeTempDir("prefs"));
    SetSettingsPreferences(store_.get());
  }
  void TearDown() override { SetSettingsPreferences(nullptr); }
  std::unique_ptr<prefs::PreferenceStore> store_;
};

TEST_F(RegistrationTest, DefaultsAreSeenOnlyThroughTheUserDefaultsView) {
  RegisterDefaultSettings();
  EXPECT_EQ(1, PrefIntegerForKey("downloadMode"));
  EXPECT_EQ(7, PrefIntegerForKey("user agent type"));
  EXPECT_TRUE(PrefBoolForKey("advanced_mode"));
  EXPECT_TRUE(PrefBoolForKey("addFilesUseExtensions"));
  EXPECT_FALSE(store_->CopyValue("downloadMode").has_value());
}

TEST_F(RegistrationTest, PluginTypesOfAnOlderVersionAreMerged) {
  store_->Set("pluginTypes base version", 5);
  store_->Set("pluginTypes", values::Array{values::Dictionary{{"enabled", false}, {"extension", "zip"}},
                                           values::Dictionary{{"enabled", true}, {"extension", "xyz"}}});
  registerDefaultPluginTypes();
  EXPECT_EQ(11, PrefIntegerForKey("pluginTypes base version"));
  const std::optional<values::Array> types = store_->GetArray("pluginTypes");
  ASSERT_TRUE(types.has_value());
  ASSERT_EQ(43u, types->size());
  EXPECT_EQ(defaultPluginTypes()[21], (*types)[21]);
  EXPECT_EQ(values::Value("xyz"), *(*types)[42].Find("extension"));
}

TEST_F(RegistrationTest, PluginTypesWithoutAStoredListAreTheDefaults) {
  registerDefaultPluginTypes();
  EXPECT_EQ(11, PrefIntegerForKey("pluginTypes base version"));
  EXPECT_FALSE(store_->CopyValue("pluginTypes").has_value());
  EXPECT_EQ(values::Value(defaultPluginTypes()), *store_->CopyUserDefault("pluginTypes"));
}

}  // namespace
