#include "app/engine/limits/bandwidth_limiter.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/engine/limits/limit_settings.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "tests/support/temp_home.h"

using engine::BandwidthBudget;
using runtime::Nanoseconds;
using std::chrono::milliseconds;

namespace {

// A simulated clock for the budget: ticks every 250 ms from an arbitrary origin.
struct SimulatedLimiter {
  Nanoseconds now = std::chrono::hours(3);
  BandwidthBudget budget{now};
  std::optional<std::int64_t> TickAfter(Nanoseconds step = engine::kLimiterPeriod, bool stats = false) {
    now += step;
    return budget.Tick(now, stats);
  }
};

}  // namespace

TEST(BandwidthBudget, GrantsAShareOfTheTick) {
  SimulatedLimiter l;
  l.budget.SetRate(40000);
  EXPECT_EQ(l.budget.budget(), 10000);
  EXPECT_EQ(l.budget.Request(24576, l.now).bytes, 0);  // nothing before the first refill
  l.TickAfter();
  EXPECT_EQ(l.budget.Request(24576, l.now).bytes, 2631);
  EXPECT_EQ(l.budget.Request(24576, l.now).bytes, 1939);
  EXPECT_EQ(l.budget.Request(100, l.now).bytes, 100);  // small wants are served whole
  l.TickAfter();
  EXPECT_EQ(l.budget.tokens(), 10000);  // a refill replaces, it does not add up
}

TEST(BandwidthBudget, RateOverSimulatedSecondsFollowsTheLimit) {
  // Greedy transfers asking 64 KiB at a time, over 20 simulated seconds: what is granted
  // never exceeds the rate, and comes near it.
  for (std::int64_t rate : {5 * 1024, 40000, 1000 * 1024}) {
    SimulatedLimiter l;
    l.budget.SetRate(rate);
    std::int64_t granted = 0;
    for (int tick = 0; tick < 80; ++tick) {
      l.TickAfter();
      for (;;) {
        const BandwidthBudget::Grant g = l.budget.Request(65536, l.now);
        granted += g.bytes;
        if (g.pause > Nanoseconds(0) || g.bytes == 0) break;
      }
    }
    EXPECT_LE(granted, rate * 20) << rate;
    EXPECT_GE(granted, rate * 20 * 9 / 10) << rate;
  }
}

TEST(BandwidthBudget, SleepsTowardTheNextRefillWhenDry) {
  struct Case {
    Nanoseconds sinceTick;
    Nanoseconds pause;
  } cases[] = {
      {milliseconds(0), milliseconds(75)},   {milliseconds(175), milliseconds(75)},
      {milliseconds(200), milliseconds(55)}, {milliseconds(254), milliseconds(1)},
      {milliseconds(255), milliseconds(0)},  {milliseconds(900), milliseconds(0)},
  };
  for (const Case& c : cases) {
    SimulatedLimiter l;
    l.budget.SetRate(200);  // budget 50: one request leaves the tokens dry
    l.TickAfter();
    const BandwidthBudget::Grant g = l.budget.Request(1000, l.now + c.sinceTick);
    EXPECT_EQ(g.bytes, 13);
    EXPECT_EQ(g.pause, c.pause) << c.sinceTick.count();
  }
  SimulatedLimiter plenty;
  plenty.budget.SetRate(400000);
  plenty.TickAfter();
  EXPECT_EQ(plenty.budget.Request(1000, plenty.now).pause, Nanoseconds(0));
}

TEST(BandwidthBudget, ReturnedTokensAreCapped) {
  SimulatedLimiter l;
  l.budget.SetRate(40000);
  l.TickAfter();
  l.budget.Report(1000000, 0);
  EXPECT_EQ(l.budget.tokens(), 20000);  // twice the budget

  SimulatedLimiter small;
  small.budget.SetRate(1600);  // budget 400, below 500
  small.TickAfter();
  small.budget.Report(1000, 0);
  EXPECT_EQ(small.budget.tokens(), 400);

  l.budget.SetRate(4000);  // a lower rate cuts saved tokens at once
  EXPECT_EQ(l.budget.tokens(), 2000);
}

TEST(BandwidthBudget, SamplesMovedBytesOncePerSecond) {
  SimulatedLimiter l;
  l.budget.Report(0, 5000);
  EXPECT_EQ(l.TickAfter(engine::kLimiterPeriod, true), std::nullopt);
  EXPECT_EQ(l.TickAfter(engine::kLimiterPeriod, true), std::nullopt);
  l.budget.Report(0, 700);
  EXPECT_EQ(l.TickAfter(engine::kLimiterPeriod, true), std::nullopt);
  EXPECT_EQ(l.TickAfter(engine::kLimiterPeriod, true), 5700);
  // Unwatched seconds are not piled onto the next sample.
  l.budget.Report(0, 9999);
  for (int i = 0; i < 4; ++i) l.TickAfter(engine::kLimiterPeriod, false);
  l.budget.Report(0, 10);
  for (int i = 0; i < 3; ++i) l.TickAfter(engine::kLimiterPeriod, true);
  EXPECT_EQ(l.TickAfter(engine::kLimiterPeriod, true), 10);
}

// The task around the budget, under a fake up-time clock: time moves only when the test
// moves it, and every wait is bounded in real time.
TEST(BandwidthLimiterTask, GrantsReportsAndStopsThroughQueues) {
  runtime::ScopedFakeClock clock;
  runtime::MessageQueue stats;
  engine::SetStatisticsQueue(stats.id());
  engine::SetStatisticsWanted(true);
  auto limiter = engine::BandwidthLimiter::Start("test limiter");
  ASSERT_NE(limiter, nullptr);
  limiter->SetRate(40000);
  engine::ReportBandwidth(limiter->queue(), 0, 1234);

  runtime::MessageQueue reply;
  std::vector<std::int64_t> grants;
  std::optional<runtime::Message> sample;
  for (int step = 0; step < 200 && (grants.size() < 2 || !sample); ++step) {
    clock.Advance(engine::kLimiterPeriod);
    // Real time for the timer thread to post the tick; a timed wait would follow the fake clock.
    std::this_thread::sleep_for(milliseconds(2));
    runtime::Message m;
    if (!sample && stats.Wait(m, Nanoseconds(0)) == runtime::kNoErr) sample = m;
    if (grants.size() < 2) {
      // Ask once the first refill is in: the answer comes before the limiter sleeps.
      const std::int64_t g = engine::RequestBandwidth(limiter->queue(), reply.id(), 24576);
      if (g > 0 || !grants.empty()) grants.push_back(g);
      if (grants.size() == 1) grants.push_back(engine::RequestBandwidth(limiter->queue(), reply.id(), 24576));
    }
  }
  EXPECT_EQ(grants, (std::vector<std::int64_t>{2631, 1939}));
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->p1, 1234u);
  EXPECT_EQ(sample->p2, limiter->queue());

  const runtime::QueueId queue = limiter->queue();
  limiter->Stop();
  EXPECT_EQ(runtime::NotifyQueue(queue, 0, 0, 0), runtime::kInvalidIdErr);
  engine::SetStatisticsWanted(false);
  engine::SetStatisticsQueue(0);
}

TEST(LimitSettings, WriterTellsTheLimiterAndKeepsOtherPreferenceEntries) {
  prefs::PreferenceStore store(testsupport::MakeTempDir());
  util::SetSettingsPreferences(&store);
  store.Set("Bandwidth Settings", values::Value(values::Dictionary{{"total", 5}, {"limit", 1}}));
  runtime::MessageQueue limiter;
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter.id());

  engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, true);
  engine::SetDownloadBandwidthLimit(true, 40960);
  runtime::Message m;
  ASSERT_EQ(limiter.Wait(m, Nanoseconds(0)), runtime::kNoErr);
  EXPECT_EQ(m, (runtime::Message{40960, 0, 2}));
  EXPECT_TRUE(engine::IsBandwidthLimitOn(engine::TransferDirection::kDownload));
  EXPECT_EQ(engine::BandwidthLimitBytesPerSecond(engine::TransferDirection::kDownload), 40960);
  EXPECT_EQ(store.CopyValue("Bandwidth Settings"),
            values::Value(values::Dictionary{{"total", 5}, {"limit", 40960}, {"status", true}}));

  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  engine::SetUploadBandwidthLimit(false, 1024);  // no limiter told
  EXPECT_EQ(limiter.Wait(m, Nanoseconds(0)), runtime::kTimeoutErr);
  EXPECT_EQ(store.CopyValue("Upload Bandwidth Settings"),
            values::Value(values::Dictionary{{"limit", 1024}, {"status", false}}));

  engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
  util::SetSettingsPreferences(nullptr);
}
