#include "platform/desktop/sound_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "tests/support/temp_home.h"

namespace {

TEST(CommandSoundPlayer, PlaysThroughTheFirstPlayerFoundAndTellsTheEnd) {
  const std::string dir = testsupport::MakeTempDir("sound");
  const std::string sound = dir + "/done.wav";
  testsupport::WriteFile(sound, "RIFF");
  // "true" stands in for a player: it exits at once.
  desktop::CommandSoundPlayer player({"truvane-no-such-player", "true"});
  std::promise<void> finished;
  ASSERT_TRUE(player.Play(sound, [&] { finished.set_value(); }));
  EXPECT_EQ(finished.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(CommandSoundPlayer, NothingPlaysWithoutAFileOrAPlayer) {
  const std::string dir = testsupport::MakeTempDir("sound");
  desktop::CommandSoundPlayer player({"true"});
  EXPECT_FALSE(player.Play("", nullptr));
  EXPECT_FALSE(player.Play(dir + "/missing.wav", nullptr));
  testsupport::WriteFile(dir + "/a.wav", "x");
  desktop::CommandSoundPlayer none({"truvane-no-such-player"});
  EXPECT_FALSE(none.Play(dir + "/a.wav", nullptr));
}

}  // namespace
