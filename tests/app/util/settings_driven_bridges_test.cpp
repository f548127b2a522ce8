// The bridges that read the user-defaults view: the finish sounds, the attention request
// and the update check interval.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/util/desktop/sound_bridges.h"
#include "app/util/desktop/ui_helpers.h"
#include "app/util/desktop/update_bridges.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "platform/runtime/run_loop.h"
#include "tests/fakes/fake_sound_player.h"
#include "tests/fakes/fake_ui_services.h"
#include "tests/fakes/fake_updater.h"
#include "tests/support/temp_home.h"

namespace {

using namespace std::chrono_literals;

class SettingsDrivenBridges : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_unique<prefs::PreferenceStore>(testsupport::MakeTempDir("prefs"));
    util::SetSettingsPreferences(store_.get());
  }
  void TearDown() override { util::SetSettingsPreferences(nullptr); }
  void Set(const std::string& key, values::Value value) { store_->Set(key, std::move(value)); }

  std::unique_ptr<prefs::PreferenceStore> store_;
};

TEST_F(SettingsDrivenBridges, FinishSoundsPlayByTheirOwnSettings) {
  struct Case {
    const char* name;
    std::optional<bool> playsound1, playsoundall;
    values::Value download_sound, queue_sound;
    bool download_played, queue_played;
  };
  const Case cases[] = {
      {"nothing set", std::nullopt, std::nullopt, {}, {}, false, false},
      {"on without a file", true, true, std::string(""), std::string(""), false, false},
      {"files but off", false, false, std::string("/s/dl.aiff"), std::string("/s/q.aiff"), false, false},
      {"download only", true, false, std::string("/s/dl.aiff"), std::string("/s/q.aiff"), true, false},
      {"queue only", false, true, std::string("/s/dl.aiff"), std::string("/s/q.aiff"), false, true},
      {"a number is no file", true, true, values::Value(values::Number::Int32(3)), std::string("/s/q.aiff"),
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* key : {"playsound1", "playsoundall", "download sound", "queue sound"})
      store_->Remove(key);
    if (c.playsound1) Set("playsound1", *c.playsound1);
    if (c.playsoundall) Set("playsoundall", *c.playsoundall);
    if (!c.download_sound.IsNull()) Set("download sound", c.download_sound);
    if (!c.queue_sound.IsNull()) Set("queue sound", c.queue_sound);
    fakes::ScopedFakeSoundPlayer player;
    util::PlayingSounds sounds([] {});
    EXPECT_EQ(sounds.PlayDownloadSound(), c.download_played);
    EXPECT_EQ(sounds.PlayQueueSound(), c.queue_played);
    std::vector<std::string> expected;
    if (c.download_played) expected.push_back("/s/dl.aiff");
    if (c.queue_played) expected.push_back("/s/q.aiff");
    EXPECT_EQ(player->played, expected);
    EXPECT_EQ(sounds.Count(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) player->Finish(i);
    runtime::RunLoop::Main()->RunFor(0ns);
    EXPECT_EQ(sounds.Count(), 0);
  }
}

TEST_F(SettingsDrivenBridges, AttentionUnlessTurnedOffOrInFront) {
  struct Case {
    const char* name;
    bool no_dock_bounces;
    std::int32_t bounce_count;
    std::optional<bool> frontmost;
    std::vector<std::string> calls;
    std::size_t still_active;
  };
  const std::string begin = "BeginAttentionRequest", cancel = "CancelAttentionRequest";
  const Case cases[] = {
      {"turned off", true, 3, false, {}, 0},
      {"in front", false, 3, true, {}, 0},
      {"front unknown", false, 3, std::nullopt, {}, 0},
      {"once", false, 1, false, {begin, cancel}, 0},
      {"until activated", false, 3, false, {begin}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Set("NoDockBounces", c.no_dock_bounces);
    Set("BounceCount", values::Number::Int32(c.bounce_count));
    fakes::ScopedFakeUi fake;
    fake->frontmost = c.frontmost;
    util::RequestUserAttention();
    EXPECT_EQ(fake->calls, c.calls);
    EXPECT_EQ(fake->active_attention_requests.size(), c.still_active);
  }
}

TEST_F(SettingsDrivenBridges, UpdateIntervalIsStoredAsAFloatThenScheduled) {
  fakes::ScopedFakeUpdater updater;
  util::SetUpdateCheckInterval(604800.0);
  const std::optional<values::Value> stored = store_->CopyValue("SUScheduledCheckInterval");
  ASSERT_TRUE(stored && stored->AsNumber());
  EXPECT_EQ(stored->AsNumber()->kind, values::Number::Kind::kFloat32);
  EXPECT_EQ(stored->AsNumber()->d, 604800.0);
  EXPECT_EQ(updater->calls, (std::vector<std::string>{"schedule"}));
  EXPECT_EQ(updater->intervals, (std::vector<double>{604800.0}));
}

}  // namespace
