#include "app/ui/mini_window/mini_window_rules.h"

#include <gtest/gtest.h>

#include "app/queue/record/download_status.h"

namespace ui {
namespace {

struct SnapCase {
  double dragged;
  bool narrowAtStart;
  double settled;
};

TEST(MiniWindowRulesTest, WidthSnapsToCompactOrFull) {
  const SnapCase cases[] = {
      // From the compact width a small pull opens the window.
      {130, true, 130},
      {139, true, 130},
      {140, true, 290},
      {150, true, 290},
      {289, true, 290},
      {290, true, 290},
      {400, true, 400},
      // From a wide window it must be pushed well in to collapse.
      {400, false, 400},
      {290, false, 290},
      {289, false, 290},
      {280, false, 290},
      {279, false, 130},
      {270, false, 130},
      {200, false, 130},
      {100, false, 130},
  };
  for (const SnapCase& c : cases) {
    EXPECT_EQ(SnapMiniWindowWidth(c.dragged, c.narrowAtStart), c.settled)
        << c.dragged << (c.narrowAtStart ? " from narrow" : " from wide");
  }
}

TEST(MiniWindowRulesTest, CompactAtOrBelowOneHundredThirtyFive) {
  EXPECT_TRUE(IsMiniWindowCompact(130));
  EXPECT_TRUE(IsMiniWindowCompact(135));
  EXPECT_FALSE(IsMiniWindowCompact(136));
  EXPECT_FALSE(IsMiniWindowCompact(290));
  EXPECT_TRUE(MiniResizeStartsNarrow(149));
  EXPECT_FALSE(MiniResizeStartsNarrow(150));
}

TEST(MiniWindowRulesTest, ButtonsFollowTheStatus) {
  EXPECT_EQ(MiniWindowButtonsFor(std::nullopt), (MiniButtons{false, false, false}));
  EXPECT_EQ(MiniWindowButtonsFor(queue::kStatusDownloading), (MiniButtons{false, true, false}));
  for (std::int32_t status : {queue::kStatusQueued, queue::kStatusStopped, queue::kStatusCompleted,
                              queue::kStatusStarting, queue::kStatusScheduled}) {
    EXPECT_EQ(MiniWindowButtonsFor(status), (MiniButtons{true, false, true})) << status;
  }
}

TEST(MiniWindowRulesTest, RateTexts) {
  const std::pair<double, const char*> cases[] = {
      {0, "0.0 K"},    {9.9, "9.9 K"},  {10, "10 K"},    {999, "999 K"},
      {1500, "1.5 M"}, {9999, "9.8 M"}, {20000, "20 M"},
  };
  for (auto [rate, text] : cases) EXPECT_EQ(MiniWindowRateText(rate), text) << rate;
}

struct TimeCase {
  float rate;
  std::int64_t size;
  std::int64_t done;
  std::optional<std::string> text;
};

TEST(MiniWindowRulesTest, TimeLeftTexts) {
  const TimeCase cases[] = {
      {1, 59 * 1024, 0, "-59s"},       {1, 60 * 1024, 0, "-1:00"},      {1, 3599 * 1024, 0, "-59:59"},
      {1, 3600 * 1024, 0, "-1:00:00"}, {2, 7384 * 1024, 0, "-1:01:32"}, {1, 100 * 1024, 41 * 1024, "-59s"},
      {0.2f, 1024, 0, std::nullopt},   {0.0f, 1024, 0, std::nullopt},   {5, 0, 0, std::nullopt},
      {5, -1, 0, std::nullopt},
  };
  for (const TimeCase& c : cases) {
    EXPECT_EQ(LCDTimeLeftText(c.rate, c.size, c.done), c.text) << c.rate << " " << c.size;
  }
  // Just above the threshold the time is told.
  EXPECT_TRUE(LCDTimeLeftText(0.21f, 1024, 0).has_value());
}

TEST(MiniWindowRulesTest, StripePhaseRunsBackwardsThroughSeven) {
  int phase = 0;
  std::vector<int> seen;
  for (int i = 0; i < 8; ++i) {
    phase = NextLCDStripePhase(phase);
    seen.push_back(phase);
  }
  EXPECT_EQ(seen, (std::vector<int>{-2, -4, -6, -1, -3, -5, 0, -2}));
}

}  // namespace
}  // namespace ui
