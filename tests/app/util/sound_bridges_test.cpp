#include "app/util/desktop/sound_bridges.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/runtime/event_queue.h"
#include "platform/runtime/run_loop.h"
#include "tests/fakes/fake_sound_player.h"

namespace {

using namespace std::chrono_literals;

// Ends reach the count through the main run loop; one pass delivers them.
void DeliverEnds() {
  runtime::RunLoop::Main()->RunFor(0ns);
}

TEST(PlayingSounds, PlaysOnlyWhenOnAndNamedAndStarted) {
  struct Case {
    const char* name;
    bool enabled;
    std::string path;
    bool player_starts;
    bool played;
    bool asked_player;
  };
  const Case cases[] = {
      {"off", false, "/sounds/done.aiff", true, false, false},
      {"on without a file", true, "", true, false, false},
      {"player cannot play it", true, "/sounds/missing.aiff", false, false, true},
      {"plays", true, "/sounds/done.aiff", true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fakes::ScopedFakeSoundPlayer player;
    player->start = c.player_starts;
    int quits = 0;
    util::PlayingSounds sounds([&] { ++quits; });
    EXPECT_EQ(sounds.Play(c.enabled, c.path), c.played);
    EXPECT_EQ(sounds.Count(), c.played ? 1 : 0);
    EXPECT_EQ(player->played.size(), c.asked_player ? 1u : 0u);
    if (c.played) {
      player->Finish(0);
      DeliverEnds();
      EXPECT_EQ(sounds.Count(), 0);
    }
    EXPECT_EQ(quits, 0);  // nobody asked to quit
  }
}

TEST(PlayingSounds, QuitComesOnlyWhenTheLastSoundEnds) {
  fakes::ScopedFakeSoundPlayer player;
  int quits = 0;
  util::PlayingSounds sounds([&] { ++quits; });
  ASSERT_TRUE(sounds.Play(true, "/sounds/a.aiff"));
  ASSERT_TRUE(sounds.Play(true, "/sounds/b.aiff"));
  sounds.SetQuitAfterSounds();
  player->Finish(1);
  EXPECT_EQ(sounds.Count(), 2);  // not until the main loop hears of it
  DeliverEnds();
  EXPECT_EQ(sounds.Count(), 1);
  EXPECT_EQ(quits, 0);
  player->Finish(0);
  DeliverEnds();
  EXPECT_EQ(sounds.Count(), 0);
  EXPECT_EQ(quits, 1);
}

TEST(PlayingSounds, AnEndAfterTheOwnerHasGoneIsHarmless) {
  fakes::ScopedFakeSoundPlayer player;
  {
    util::PlayingSounds sounds([] {});
    ASSERT_TRUE(sounds.Play(true, "/sounds/a.aiff"));
  }
  player->Finish(0);
  DeliverEnds();
}

// The process's own sounds end the application event loop: shut-down's second run of
// the loop lasts until the second of two sounds has ended.
TEST(PlayingSounds, ShutDownLoopEndsAfterTheSecondSound) {
  fakes::ScopedFakeSoundPlayer player;
  util::PlayingSounds& sounds = util::GetPlayingSounds();
  ASSERT_EQ(util::GetPlayingSoundCount(), 0);
  ASSERT_TRUE(sounds.Play(true, "/sounds/a.aiff"));
  ASSERT_TRUE(sounds.Play(true, "/sounds/b.aiff"));
  util::SetQuitAfterSounds();

  std::vector<int> counts_seen;
  auto first = runtime::Timer::Create(1ms, 0ns, [&](runtime::Timer&) { player->Finish(0); });
  // The second sound ends once the loop has taken in the first end, however late a loaded
  // machine runs the loop: the loop must still be running then, with one sound left.
  auto second = runtime::Timer::Create(2ms, 1ms, [&](runtime::Timer& t) {
    if (util::GetPlayingSoundCount() == 2) return;
    counts_seen.push_back(util::GetPlayingSoundCount());
    t.Invalidate();
    player->Finish(1);
  });
  bool timed_out = false;
  auto guard = runtime::Timer::Create(30s, 0ns, [&](runtime::Timer&) {
    timed_out = true;
    runtime::QuitApplicationEventLoop();
  });
  auto loop = runtime::RunLoop::Main();
  for (const auto& t : {first, second, guard}) loop->AddTimer(t);
  runtime::RunApplicationEventLoop();
  for (const auto& t : {first, second, guard}) t->Invalidate();
  EXPECT_FALSE(timed_out);
  EXPECT_EQ(counts_seen, (std::vector<int>{1}));
  EXPECT_EQ(util::GetPlayingSoundCount(), 0);
}

}  // namespace
