// The rate history: the running averages, the tray graph's scale, the bandwidth window's
// scale and sample count, the labels and texts, and the tray graph's pixels, all driven by
// injected samples.
#include <gtest/gtest.h>

#include <memory>

#include "app/ui/rate_history/rate_history.h"
#include "platform/toolbox/drawing/image.h"

namespace ui {
namespace {

struct Records {
  std::unique_ptr<RateHistory> history = std::make_unique<RateHistory>();
  DockRateGraph dock;
  SampleOutcome Add(std::int32_t s, bool dockOn = true) { return AddRateSample(*history, dock, s, dockOn); }
};

TEST(RateHistoryTest, AveragesRunOverThreeHundredAndNineHundredSamples) {
  Records r;
  for (int i = 0; i < 300; ++i) r.Add(3000);
  EXPECT_DOUBLE_EQ(r.history->average300, 3000);
  EXPECT_NEAR(r.history->average900, 1000, 1e-9);
  for (int i = 0; i < 300; ++i) r.Add(0);
  EXPECT_NEAR(r.history->average300, 0, 1e-9);  // the 3000s left the 5-minute window
  EXPECT_NEAR(r.history->average900, 1000, 1e-9);
  for (int i = 0; i < 600; ++i) r.Add(1000);
  EXPECT_NEAR(r.history->average300, 1000, 1e-9);  // a steady rate averages to itself
  EXPECT_NEAR(r.history->average900, 600000.0 / 900, 1e-9);
  r.Add(600);
  EXPECT_NEAR(r.history->average300, 1000 - 400.0 / 300, 1e-9);
  EXPECT_EQ(r.history->last, 600);
  EXPECT_EQ(r.history->samples[0], 600);
  EXPECT_EQ(r.history->samples[1], 1000);
  EXPECT_EQ(r.history->samples[901], 3000);
}

TEST(RateHistoryTest, OldestSampleDropsOutOfAFullHistory) {
  Records r;
  r.Add(7);
  for (int i = 1; i < kRateHistorySamples; ++i) r.Add(1);
  EXPECT_EQ(r.history->samples[kRateHistorySamples - 1], 7);
  r.Add(1);
  EXPECT_EQ(r.history->samples[kRateHistorySamples - 1], 1);
}

TEST(RateHistoryTest, TrayGraphScaleFollowsTheLargestBar) {
  struct Case {
    std::vector<std::int32_t> samples;
    bool dockOn;
    std::int32_t max;
    float scale;
  };
  const Case cases[] = {
      {{2000}, true, 2000, 0.0448f},        // 600 px would overflow: 70 % of the tile
      {{1000}, true, 1000, 0.06f},          // 0.0896 is capped
      {{300}, true, 300, 0.3f},             // 90 px fits
      {{2000}, false, 0, 0.3f},             // graph off: max and scale stay
      {{2000, 4000}, true, 4000, 0.0224f},  // 4000 x 0.0448 = 179 px: rescaled
      {{2000, 2500}, true, 2500, 0.0448f},  // 112 px still fits
  };
  for (const Case& c : cases) {
    Records r;
    for (std::int32_t s : c.samples) r.Add(s, c.dockOn);
    EXPECT_EQ(r.dock.max, c.max) << c.samples.back();
    EXPECT_NEAR(r.dock.scale, c.scale, 1e-6) << c.samples.back();
    EXPECT_EQ(r.dock.samples[0], c.samples.back());  // the samples enter either way
  }
}

TEST(RateHistoryTest, TrayGraphScalesUpWhenItsMaximumLeaves) {
  Records r;
  r.Add(100000);  // scale 0.000896
  for (int i = 1; i < kDockGraphSamples; ++i) r.Add(10);
  EXPECT_EQ(r.dock.max, 100000);
  r.Add(10);  // the maximum leaves the 128 bars
  EXPECT_EQ(r.dock.max, 10);
  EXPECT_FLOAT_EQ(r.dock.scale, 0.06f);
}

TEST(RateHistoryTest, WindowScaleCountAndResize) {
  Records r;
  r.history->windowOpen = true;
  for (int i = 0; i < 10; ++i) r.Add(i == 5 ? 10000 : 1000);
  GraphScale g;
  g.SetContext(*r.history, 480, 200);
  EXPECT_EQ(r.history->graphCount, 400);
  EXPECT_FLOAT_EQ(g.scale, 0.014f);  // 140 px for the 10000
  g.scale = 0.05f;
  g.Resize(*r.history, 480, 100, 200);  // halved before the maximum is compared
  EXPECT_FLOAT_EQ(g.scale, 0.025f);

  struct Width {
    double width;
    std::int32_t count;
  };
  for (const Width& w : {Width{2616, 2536}, Width{5000, 2536}, Width{81, 1}, Width{80, 0}, Width{20, 0}}) {
    g.SetContext(*r.history, w.width, 100);
    EXPECT_EQ(r.history->graphCount, w.count) << w.width;
  }
}

TEST(RateHistoryTest, WindowFollowsNewMaximaAndAdvancesItsPhase) {
  Records r;
  r.history->windowOpen = true;
  r.history->graphPhase = 29;
  EXPECT_TRUE(r.Add(500).windowNewMax);
  EXPECT_EQ(r.history->graphPhase, 30);
  const SampleOutcome next = r.Add(400);
  EXPECT_FALSE(next.windowNewMax);
  EXPECT_TRUE(next.windowRefresh);
  EXPECT_EQ(r.history->graphPhase, 1);  // above 29: back to 0, then one on

  GraphScale g;
  r.history->graphMax = 3000;
  g.NewMax(*r.history, 100);  // 180 px > 90 px
  EXPECT_FLOAT_EQ(g.scale, static_cast<float>(100 * 0.7 / 3000));
  r.history->graphCount = 2;
  g.Recalculate(*r.history, 100);
  EXPECT_EQ(r.history->graphMax, 500);
  EXPECT_FLOAT_EQ(g.scale, 0.06f);
}

TEST(RateHistoryTest, LabelsDivideByThousandTextsByTenTwentyFour) {
  const auto labels = BandwidthGraphLabels(0.01f, 100);
  EXPECT_EQ(labels[0], "2.0KB/s");  // 20 px at 0.01 px per byte/s: 2000 B/s
  EXPECT_EQ(labels[3], "8.0KB/s");
  RateHistory h;
  h.last = 2048;
  h.average300 = 1536;
  h.average900 = 512;
  const BandwidthTexts t = BandwidthTextLine(h);
  EXPECT_EQ(t.current, "2.0 KB/s");
  EXPECT_EQ(t.average5, "5 minute average: 1.5 KB/s");
  EXPECT_EQ(t.average15, "15 minute average: 0.5 KB/s");
}

TEST(RateHistoryTest, TrayGraphDrawsNewestBarAtTheRightEdge) {
  Records r;
  r.dock.scale = 0.05f;
  r.Add(1000, false);  // 50 px
  r.Add(400, false);   // newest, 20 px
  const toolbox::Color back{0.5, 0.5, 0.5, 1}, fore{1, 0, 0, 1};
  const toolbox::Image tile = toolbox::Image::Render(
      128, 128, toolbox::Origin::kBottomLeft,
      [&](toolbox::DrawingContext& ctx) { DrawDockRateGraph(ctx, r.dock, back, fore); });
  // Rows counted from the top: y = 127 - height.
  EXPECT_EQ(tile.PixelAt(127, 127 - 10), fore);  // newest bar, 20 high
  EXPECT_NE(tile.PixelAt(127, 127 - 30), fore);
  EXPECT_EQ(tile.PixelAt(126, 127 - 40), fore);  // the one before, 50 high
  EXPECT_NE(tile.PixelAt(125, 127 - 40), fore);
  EXPECT_EQ(tile.PixelAt(64, 127 - 25), toolbox::Color::Black());  // a grid line at y = 25
  EXPECT_EQ(r.dock.phase, 2);
}

}  // namespace
}  // namespace ui
