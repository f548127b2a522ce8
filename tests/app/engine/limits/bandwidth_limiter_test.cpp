#include "app/engine/limits/bandwidth_limiter.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "app/engine/limits/limit_settings.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "platform/runtime/queue_timer.h"
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
  l.budget.SetRate(40000, l.now);
  EXPECT_EQ(l.budget.budget(), 10000);
  // Nothing before the refill covers the smallest grant (1 KiB at 40000 B/s: 25.6 ms).
  const BandwidthBudget::Grant early = l.budget.Request(24576, l.now);
  EXPECT_EQ(early.bytes, 0);
  EXPECT_EQ(early.readyAt - l.now, Nanoseconds(25'600'000));
  l.TickAfter();
  EXPECT_EQ(l.budget.Request(24576, l.now).bytes, 2631);
  EXPECT_EQ(l.budget.Request(24576, l.now).bytes, 1939);
  EXPECT_EQ(l.budget.Request(100, l.now).bytes, 100);  // small wants are served whole
}

// Tokens a tick did not hand out stay: a refill adds to them (up to the cap) instead of
// replacing them, which lost the rest of every tick and ran fast limits well under.
TEST(BandwidthBudget, RefillAddsToWhatIsLeft) {
  SimulatedLimiter l;
  l.budget.SetRate(40000, l.now);
  l.TickAfter();
  EXPECT_EQ(l.budget.tokens(), 10000);
  EXPECT_EQ(l.budget.Request(2000, l.now).bytes, 2000);
  l.TickAfter(milliseconds(100));
  EXPECT_EQ(l.budget.tokens(), 12000);
  l.TickAfter(std::chrono::hours(1));
  EXPECT_EQ(l.budget.tokens(), 20000);  // saved up to twice the budget at most
}

TEST(BandwidthBudget, GrantsFollowTheRateAtEverySpeed) {
  // Greedy transfers asking their buffer's worth each time they are served, over twenty
  // simulated seconds, each asking again when the limiter says the tokens will be there:
  // what is granted stays within 1 % of the rate (plus what could be saved up before).
  const std::int64_t rates[] = {20 * 1000, 40000, 1000 * 1024, 2 << 20, 10 << 20, 50 << 20, 100 << 20};
  for (const std::int64_t rate : rates) {
    for (const int transfers : {1, 10}) {
      for (const std::int64_t wanted : {std::int64_t{16384}, std::int64_t{262144}}) {
        SimulatedLimiter l;
        l.budget.SetRate(rate, l.now);
        const Nanoseconds start = l.now;
        const Nanoseconds end = start + std::chrono::seconds(20);
        std::vector<Nanoseconds> askAt(static_cast<std::size_t>(transfers), start);
        Nanoseconds nextTick = start + engine::kLimiterPeriod;
        std::int64_t granted = 0;
        for (;;) {
          const auto next = std::min_element(askAt.begin(), askAt.end());
          const Nanoseconds at = std::min(*next, nextTick);
          if (at >= end) break;
          if (at == nextTick) {
            l.budget.Tick(at, false);
            nextTick += engine::kLimiterPeriod;
            continue;
          }
          const BandwidthBudget::Grant g = l.budget.Request(wanted, at);
          granted += g.bytes;
          *next = g.bytes > 0 ? at + std::chrono::microseconds(50) : g.readyAt;
        }
        SCOPED_TRACE(testing::Message() << rate << " B/s, " << transfers << " x " << wanted);
        EXPECT_LE(granted, rate * 20 + l.budget.budget() * 2);
        EXPECT_GE(granted, rate * 20 * 99 / 100);
      }
    }
  }
}

TEST(BandwidthBudget, ReturnedTokensAreCapped) {
  SimulatedLimiter l;
  l.budget.SetRate(40000, l.now);
  l.TickAfter();
  l.budget.Report(1000000, 0);
  EXPECT_EQ(l.budget.tokens(), 20000);  // twice the budget

  SimulatedLimiter small;
  small.budget.SetRate(1600, small.now);  // budget 400, below 500
  small.TickAfter();
  small.budget.Report(1000, 0);
  EXPECT_EQ(small.budget.tokens(), 400);

  l.budget.SetRate(4000, l.now);  // a lower rate cuts saved tokens at once
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
// moves it, and every wait is bounded in real time (a timed wait on a queue would follow
// the fake clock, so answers are polled).
TEST(BandwidthLimiterTask, GrantsReportsAndStopsThroughQueues) {
  static constexpr auto kBound = std::chrono::seconds(30);
  runtime::ScopedFakeClock clock;
  runtime::MessageQueue stats;
  engine::SetStatisticsQueue(stats.id());
  engine::SetStatisticsWanted(true);
  auto limiter = engine::BandwidthLimiter::Start("test limiter");
  ASSERT_NE(limiter, nullptr);
  limiter->SetRate(40000);
  engine::ReportBandwidth(limiter->queue(), 0, 1234);

  runtime::MessageQueue reply;
  auto answer = [&reply](runtime::Message& m) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    while (reply.Wait(m, Nanoseconds(0)) != runtime::kNoErr) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
  };
  // A request for nothing is answered at once, behind the rate and the report: once it is
  // back, the rate holds from the clock's start. Moving the clock before that would refill
  // the first tick at the rate the limiter starts with.
  runtime::Message m;
  runtime::NotifyQueue(limiter->queue(), 0, reply.id(), 0);
  ASSERT_TRUE(answer(m));
  EXPECT_EQ(m.p1, 0u);

  // One tick's tokens; a request they cover is answered without the clock moving again.
  clock.Advance(engine::kLimiterPeriod);
  runtime::NotifyQueue(limiter->queue(), 24576, reply.id(), 0);
  ASSERT_TRUE(answer(m));
  std::vector<std::int64_t> grants{static_cast<std::int64_t>(m.p1)};
  grants.push_back(engine::RequestBandwidth(limiter->queue(), reply.id(), 24576));
  EXPECT_EQ(grants, (std::vector<std::int64_t>{2631, 1939}));

  // The bytes moved come to the statistics queue once a second of ticks has passed.
  std::optional<runtime::Message> sample;
  for (const auto deadline = std::chrono::steady_clock::now() + kBound;
       !sample && std::chrono::steady_clock::now() < deadline;) {
    if (stats.Wait(m, Nanoseconds(0)) == runtime::kNoErr) {
      sample = m;
    } else {
      clock.Advance(engine::kLimiterPeriod);
      // Real time for the timer thread to post the tick.
      std::this_thread::sleep_for(milliseconds(2));
    }
  }
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->p1, 1234u);
  EXPECT_EQ(sample->p2, limiter->queue());

  // A request the tokens cannot cover waits inside the limiter and is answered once the
  // clock has moved; meanwhile the limiter still takes reports.
  runtime::MessageQueue late;
  runtime::NotifyQueue(limiter->queue(), 1000000, late.id(), 0);
  runtime::Message granted;
  std::int64_t total = 0;
  for (const auto deadline = std::chrono::steady_clock::now() + kBound;
       total < 30000 && std::chrono::steady_clock::now() < deadline;) {
    while (late.Wait(granted, Nanoseconds(0)) == runtime::kNoErr) {
      total += static_cast<std::int64_t>(granted.p1);
      if (total < 30000) runtime::NotifyQueue(limiter->queue(), 1000000, late.id(), 0);
    }
    engine::ReportBandwidth(limiter->queue(), 0, 1);
    clock.Advance(milliseconds(10));
    std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_GE(total, 30000);

  // Stopping answers a request still waiting, so no transfer is left blocked.
  limiter->SetRate(0);
  runtime::NotifyQueue(limiter->queue(), 1000000, late.id(), 0);
  const runtime::QueueId queue = limiter->queue();
  limiter->Stop();
  EXPECT_EQ(runtime::NotifyQueue(queue, 0, 0, 0), runtime::kInvalidIdErr);
  ASSERT_EQ(late.Wait(granted, std::chrono::seconds(5)), runtime::kNoErr);
  EXPECT_EQ(granted.p1, 0u);
  engine::SetStatisticsWanted(false);
  engine::SetStatisticsQueue(0);
}

// An idle limiter stops its tick, so an idle program does not wake four times a second;
// the next request finds the tokens the clock has refilled, and a graph that starts
// watching gets its samples of quiet seconds.
TEST(BandwidthLimiterTask, SleepsWhenIdleAndWakesForRequestsAndGraphs) {
  static constexpr auto kBound = std::chrono::seconds(30);
  runtime::ScopedFakeClock clock;
  engine::SetStatisticsWanted(false);
  const std::size_t before = runtime::ArmedQueueTimerCount();
  auto limiter = engine::BandwidthLimiter::Start("idle limiter");
  ASSERT_NE(limiter, nullptr);
  limiter->SetRate(40000);
  runtime::MessageQueue reply;
  runtime::Message m;
  ASSERT_EQ(engine::RequestBandwidth(limiter->queue(), reply.id(), 0), 0);

  // Moves the clock a tick at a time until `done`, with real time for the timer thread.
  auto tickUntil = [&clock](const std::function<bool()>& done) {
    for (const auto deadline = std::chrono::steady_clock::now() + kBound; !done();) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      clock.Advance(engine::kLimiterPeriod);
      std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
  };
  auto asleep = [before] { return runtime::ArmedQueueTimerCount() == before; };
  ASSERT_TRUE(tickUntil(asleep));

  // A second of sleep has refilled the tokens: the request is served at once.
  clock.Advance(std::chrono::seconds(1));
  EXPECT_GE(engine::RequestBandwidth(limiter->queue(), reply.id(), 5000), 1024);
  EXPECT_EQ(runtime::ArmedQueueTimerCount(), before + 1);
  engine::ReportBandwidth(limiter->queue(), 0, 3000);
  ASSERT_TRUE(tickUntil(asleep));

  runtime::MessageQueue stats;
  engine::SetStatisticsQueue(stats.id());
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter->queue());
  engine::SetStatisticsWanted(true);
  // The partial second before the sleep is not reported: the first sample is a quiet one.
  ASSERT_TRUE(tickUntil([&] { return stats.Wait(m, Nanoseconds(0)) == runtime::kNoErr; }));
  EXPECT_EQ(m.p1, 0u);
  EXPECT_EQ(m.p2, limiter->queue());
  EXPECT_EQ(runtime::ArmedQueueTimerCount(), before + 1);

  engine::SetStatisticsWanted(false);
  engine::SetStatisticsQueue(0);
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
  limiter->Stop();
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
