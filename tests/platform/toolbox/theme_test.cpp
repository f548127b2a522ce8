#include "platform/toolbox/theme/theme.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/toolbox/drawing/recording_context.h"

namespace toolbox {
namespace {

using Kind = RecordedOp::Kind;

std::vector<RecordedOp> FillsOfColour(const RecordingContext& ctx, const Color& c) {
  std::vector<RecordedOp> out;
  for (const RecordedOp& op : ctx.OpsOfKind(Kind::kFill))
    if (op.state.fill == c) out.push_back(op);
  return out;
}

TEST(Theme, ProgressBarFillsItsFractionInsideTheFrame) {
  struct Case {
    double fraction;
    double fill_width;  // 0 = no fill drawn
  };
  // The fill spans the 98-pixel inside of a 100-pixel bar.
  for (const Case c : {Case{0.5, 49}, Case{0, 0}, Case{1, 98}, Case{1.7, 98}, Case{-1, 0}, Case{NAN, 0}}) {
    RecordingContext ctx({0, 0, 120, 20});
    DrawProgressBar(ctx, {10, 2, 100, 12}, c.fraction);
    const auto fills = FillsOfColour(ctx, ThemeColors::Fill());
    if (c.fill_width == 0) {
      EXPECT_TRUE(fills.empty()) << c.fraction;
      continue;
    }
    ASSERT_EQ(fills.size(), 1u) << c.fraction;
    EXPECT_EQ(fills[0].rect, (Rect{11, 3, c.fill_width, 10})) << c.fraction;
  }
}

TEST(Theme, IndeterminateStripesMoveWithThePhaseAndStayClipped) {
  RecordingContext a({0, 0, 100, 20}), b({0, 0, 100, 20});
  DrawIndeterminateProgressBar(a, {0, 0, 100, 12}, 0);
  DrawIndeterminateProgressBar(b, {0, 0, 100, 12}, 3);
  const auto sa = FillsOfColour(a, ThemeColors::Fill()), sb = FillsOfColour(b, ThemeColors::Fill());
  ASSERT_EQ(sa.size(), 1u);
  ASSERT_EQ(sb.size(), 1u);
  EXPECT_EQ(sb[0].path[0].point.x - sa[0].path[0].point.x, 3);
  ASSERT_TRUE(sa[0].state.clip.has_value());
  EXPECT_EQ(*sa[0].state.clip, (Rect{1, 1, 98, 10}));
  EXPECT_FALSE(a.state().clip.has_value()) << "the clip is restored afterwards";
}

TEST(Theme, DisclosureTrianglePointsRightClosedAndDownOpen) {
  RecordingContext closed, open;
  DrawDisclosureTriangle(closed, {0, 0, 20, 20}, false, false);
  DrawDisclosureTriangle(open, {0, 0, 20, 20}, true, false);
  const Rect c = closed.OpsOfKind(Kind::kFill).at(0).rect;
  const Rect o = open.OpsOfKind(Kind::kFill).at(0).rect;
  EXPECT_GT(c.height, c.width) << "a right-pointing triangle is taller than wide";
  EXPECT_GT(o.width, o.height);
}

TEST(Theme, HeaderButtonTruncatesItsTitleBeforeTheSortArrow) {
  RecordingContext ctx({0, 0, 200, 20});
  DrawListHeaderButton(ctx, {0, 0, 120, 18}, "Estimated Time Left", SortIndicator::kAscending, false);
  const auto texts = ctx.OpsOfKind(Kind::kText);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].style.truncation, Truncation::kEnd);
  EXPECT_LE(texts[0].rect.Right(), 120 - 14);
  EXPECT_EQ(ctx.OpsOfKind(Kind::kGradient).size(), 1u);

  RecordingContext pressed({0, 0, 200, 20});
  DrawListHeaderButton(pressed, {0, 0, 120, 18}, "Name", SortIndicator::kNone, true);
  EXPECT_TRUE(pressed.OpsOfKind(Kind::kGradient).empty());
  EXPECT_EQ(FillsOfColour(pressed, ThemeColors::HeaderPressed()).size(), 1u);
  EXPECT_EQ(pressed.OpsOfKind(Kind::kText)[0].rect.Right(), 116);
}

TEST(Theme, SeparatorIsOnePixelAlongTheLongSide) {
  RecordingContext ctx;
  DrawSeparator(ctx, {0, 10, 80, 5});
  DrawSeparator(ctx, {10, 0, 4, 60});
  const auto fills = ctx.OpsOfKind(Kind::kFill);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].rect, (Rect{0, 12, 80, 1}));
  EXPECT_EQ(fills[1].rect, (Rect{12, 0, 1, 60}));
}

}  // namespace
}  // namespace toolbox

namespace toolbox {
namespace {

TEST(Theme, ChasingArrowsLeadWithTheDarkestSpokeAtTheStep) {
  for (int step : {0, 3, 11, 12, -1}) {
    RecordingContext ctx({0, 0, 16, 16});
    DrawChasingArrows(ctx, {0, 0, 16, 16}, step);
    const auto spokes = ctx.OpsOfKind(RecordedOp::Kind::kStroke);
    ASSERT_EQ(spokes.size(), std::size_t(kChasingArrowsSteps));
    int darkest = -1;
    double best = 0;
    for (int i = 0; i < kChasingArrowsSteps; ++i) {
      EXPECT_TRUE(Rect({0, 0, 16, 16}).Contains(spokes[i].rect.Center())) << i;
      if (spokes[i].state.stroke.alpha > best) best = spokes[i].state.stroke.alpha, darkest = i;
    }
    EXPECT_EQ(darkest, ((step % 12) + 12) % 12) << "step " << step;
    // The spoke just before the lead is the next darkest: the arrows chase clockwise.
    const int before = (darkest + 11) % 12;
    for (int i = 0; i < kChasingArrowsSteps; ++i) {
      if (i == darkest || i == before) continue;
      EXPECT_LT(spokes[i].state.stroke.alpha, spokes[before].state.stroke.alpha);
    }
  }
}

TEST(Theme, FontSizePreferencePicksTheListFontAndTellsTheObserver) {
  std::vector<int> heard;
  SetFontSizeObserver([&](int v) { heard.push_back(v); });
  const struct {
    int stored;
    int read;
    ThemeFont font;
  } cases[] = {{1, 1, ThemeFont::kSystem},
               {2, 2, ThemeFont::kSmallSystem},
               {3, 2, ThemeFont::kSmallSystem},
               {1, 1, ThemeFont::kSystem},
               {0, 2, ThemeFont::kSmallSystem}};
  for (const auto& c : cases) {
    SetFontSizePreference(c.stored);
    EXPECT_EQ(FontSizePreference(), c.read) << c.stored;
    EXPECT_EQ(ListThemeFont(), c.font) << c.stored;
  }
  EXPECT_EQ(heard, (std::vector<int>{1, 2, 1, 2}));  // only changes are told
  SetFontSizeObserver({});
}

}  // namespace
}  // namespace toolbox
