#include <gtest/gtest.h>

#include "platform/toolbox/drawing/color_blend.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/drawing/recording_context.h"

namespace toolbox {
namespace {

using Kind = RecordedOp::Kind;

TEST(RecordingContext, PathPointsTakeTheTransformInForceWhenAdded) {
  RecordingContext ctx({0, 0, 200, 200});
  ctx.TranslateCTM(10, 20);
  ctx.MoveToPoint(0, 0);
  ctx.ScaleCTM(2, 2);  // after the first point: moves only later points
  ctx.AddLineToPoint(5, 5);
  ctx.StrokePath();
  ASSERT_EQ(ctx.ops().size(), 1u);
  const RecordedOp& op = ctx.ops()[0];
  EXPECT_EQ(op.kind, Kind::kStroke);
  ASSERT_EQ(op.path.size(), 2u);
  EXPECT_EQ(op.path[0].point, (Point{10, 20}));
  EXPECT_EQ(op.path[1].point, (Point{20, 30}));
  EXPECT_TRUE(ctx.IsPathEmpty()) << "stroking consumes the path";
}

TEST(RecordingContext, SaveAndRestoreBracketColourTransformAndClip) {
  RecordingContext ctx({0, 0, 100, 100});
  ctx.SetFillColor({1, 0, 0, 1});
  ctx.SaveGState();
  ctx.SetFillColor({0, 0, 1, 1});
  ctx.TranslateCTM(50, 0);
  ctx.ClipToRect({0, 0, 10, 10});
  ctx.FillRect({0, 0, 20, 20});
  ctx.RestoreGState();
  ctx.FillRect({0, 0, 20, 20});
  ctx.RestoreGState();  // unbalanced: ignored

  const auto fills = ctx.OpsOfKind(Kind::kFill);
  ASSERT_EQ(fills.size(), 2u) << ctx.Describe();
  EXPECT_EQ(fills[0].rect, (Rect{50, 0, 20, 20}));
  EXPECT_EQ(fills[0].state.fill, (Color{0, 0, 1, 1}));
  ASSERT_TRUE(fills[0].state.clip.has_value());
  EXPECT_EQ(*fills[0].state.clip, (Rect{50, 0, 10, 10}));
  EXPECT_EQ(fills[1].rect, (Rect{0, 0, 20, 20}));
  EXPECT_EQ(fills[1].state.fill, (Color{1, 0, 0, 1}));
  EXPECT_FALSE(fills[1].state.clip.has_value());
}

TEST(RecordingContext, BottomLeftOriginPutsYUpFromTheBottomEdge) {
  RecordingContext ctx({0, 0, 128, 128}, Origin::kBottomLeft);
  ctx.FillRect({0, 0, 10, 30});  // a bar standing on the bottom edge
  ctx.FlipVertically(128);       // back to top-left
  ctx.FillRect({0, 0, 10, 30});
  const auto fills = ctx.OpsOfKind(Kind::kFill);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].rect, (Rect{0, 98, 10, 30}));
  EXPECT_EQ(fills[1].rect, (Rect{0, 0, 10, 30}));
}

TEST(RecordingContext, DashesAreKeptAsAbsoluteLengthsAndAllZeroIsSolid) {
  RecordingContext ctx;
  ctx.SetLineWidth(3);
  ctx.SetLineDash(1, {2, 4});
  ctx.StrokeLine({0, 0}, {50, 0});
  ctx.SetLineDash(5, {0, 0});
  ctx.StrokeLine({0, 0}, {50, 0});
  const auto strokes = ctx.OpsOfKind(Kind::kStroke);
  ASSERT_EQ(strokes.size(), 2u);
  EXPECT_EQ(strokes[0].state.dash, (std::vector<double>{2, 4}));
  EXPECT_EQ(strokes[0].state.dash_phase, 1);
  EXPECT_EQ(strokes[0].state.line_width, 3);
  EXPECT_TRUE(strokes[1].state.dash.empty());
  EXPECT_EQ(strokes[1].state.dash_phase, 0);
}

TEST(RecordingContext, RectHelpersLeaveAPathUnderConstructionAlone) {
  RecordingContext ctx;
  ctx.MoveToPoint(1, 1);
  ctx.AddLineToPoint(9, 9);
  ctx.FillRect({0, 0, 5, 5});
  ctx.StrokePath();
  ASSERT_EQ(ctx.ops().size(), 2u);
  EXPECT_EQ(ctx.ops()[1].kind, Kind::kStroke);
  EXPECT_EQ(ctx.ops()[1].rect, (Rect{1, 1, 8, 8}));
}

TEST(RecordingContext, TextAndImagesAreRecordedInDeviceSpace) {
  RecordingContext ctx({0, 0, 100, 100});
  ctx.TranslateCTM(5, 5);
  TextStyle style;
  style.truncation = Truncation::kMiddle;
  ctx.DrawText("hello", {0, 0, 40, 12}, style);
  ctx.DrawImage({10, 10, 16, 16}, Image());
  ASSERT_EQ(ctx.ops().size(), 2u);
  EXPECT_EQ(ctx.ops()[0].text, "hello");
  EXPECT_EQ(ctx.ops()[0].rect, (Rect{5, 5, 40, 12}));
  EXPECT_EQ(ctx.ops()[0].style.truncation, Truncation::kMiddle);
  EXPECT_EQ(ctx.ops()[1].rect, (Rect{15, 15, 16, 16}));
}

// The same drawing through QPainter: pixels where the recording says they are.
TEST(PainterContext, FillsLandWhereTheTransformPutsThem) {
  const Image image = Image::Render(40, 40, Origin::kBottomLeft, [](DrawingContext& ctx) {
    ctx.SetFillColor({1, 0, 0, 1});
    ctx.FillRect({0, 0, 10, 10});  // bottom-left corner
    ctx.SaveGState();
    ctx.ClipToRect({20, 20, 5, 5});
    ctx.SetFillColor({0, 0, 1, 1});
    ctx.FillRect({20, 20, 20, 20});  // clipped to 5x5
    ctx.RestoreGState();
  });
  EXPECT_EQ(image.PixelAt(5, 35), (Color{1, 0, 0, 1}));
  EXPECT_EQ(image.PixelAt(5, 5).alpha, 0) << "y is up: the top-left corner stays clear";
  EXPECT_EQ(image.PixelAt(22, 17), (Color{0, 0, 1, 1}));
  EXPECT_EQ(image.PixelAt(30, 10).alpha, 0) << "outside the clip";
}

TEST(PainterContext, DashLengthsAreAbsoluteWhateverTheLineWidth) {
  // A 4-pixel-wide line dashed 6 on, 6 off: Qt alone would make it 24 on, 24 off.
  const Image image = Image::Render(48, 10, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.SetStrokeColor(Color::Black());
    ctx.SetLineWidth(4);
    ctx.SetLineDash(0, {6, 6});
    ctx.StrokeLine({0, 5}, {48, 5});
  });
  EXPECT_GT(image.PixelAt(3, 5).alpha, 0.9);
  EXPECT_LT(image.PixelAt(9, 5).alpha, 0.1);
  EXPECT_GT(image.PixelAt(15, 5).alpha, 0.9);
}

TEST(PainterContext, ImagesStayUprightInABottomLeftContext) {
  const Image marker = Image::Render(4, 4, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.SetFillColor({0, 1, 0, 1});
    ctx.FillRect({0, 0, 4, 2});  // green top half
  });
  const Image image = Image::Render(4, 4, Origin::kBottomLeft, [&](DrawingContext& ctx) {
    ctx.DrawImage({0, 0, 4, 4}, marker);
  });
  EXPECT_EQ(image.PixelAt(1, 0), (Color{0, 1, 0, 1}));
  EXPECT_EQ(image.PixelAt(1, 3).alpha, 0);
}

TEST(PainterContext, GradientFillsOnlyTheClip) {
  const Image image = Image::Render(20, 20, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.ClipToRect({0, 0, 20, 10});
    ctx.DrawLinearGradient({{{0, {1, 0, 0, 1}}, {1, {0, 0, 1, 1}}}}, {0, 0}, {20, 0});
  });
  EXPECT_GT(image.PixelAt(0, 5).red, 0.9);
  EXPECT_GT(image.PixelAt(19, 5).blue, 0.9);
  EXPECT_EQ(image.PixelAt(10, 15).alpha, 0);
}

// A 4x2 tile: columns 0-1 red, 2-3 blue.
Image TwoColourTile() {
  return Image::Render(4, 2, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.SetFillColor({1, 0, 0, 1});
    ctx.FillRect({0, 0, 2, 2});
    ctx.SetFillColor({0, 0, 1, 1});
    ctx.FillRect({2, 0, 2, 2});
  });
}

TEST(RecordingContext, FillsCarryThePatternAndItsPhaseUntilRestoreOrAColour) {
  RecordingContext ctx;
  ctx.SetFillColor({1, 0, 0, 1});
  ctx.SaveGState();
  ctx.TranslateCTM(10, 5);
  ctx.SetFillPattern(TwoColourTile(), Color::Black());
  ctx.SetPatternPhase({3, -1});
  ctx.FillRect({0, 0, 20, 7});
  ctx.StrokeRect({0, 0, 20, 7});
  ctx.RestoreGState();
  ctx.FillRect({0, 0, 5, 5});
  ctx.SetFillPattern(TwoColourTile());
  ctx.SetFillColor({0, 1, 0, 1});
  ctx.FillRect({0, 0, 5, 5});

  const std::vector<RecordedOp> fills = ctx.OpsOfKind(RecordedOp::Kind::kFill);
  ASSERT_EQ(fills.size(), 3u) << ctx.Describe();
  ASSERT_TRUE(fills[0].pattern_tile.has_value()) << ctx.Describe();
  EXPECT_EQ(*fills[0].pattern_tile, (Size{4, 2}));
  EXPECT_EQ(fills[0].state.pattern_phase, (Point{3, -1}));
  EXPECT_EQ(fills[0].pattern_phase, (Point{13, 4})) << "the phase goes through the CTM";
  EXPECT_EQ(fills[0].state.fill_pattern->color, Color::Black());
  EXPECT_FALSE(ctx.OpsOfKind(RecordedOp::Kind::kStroke)[0].pattern_tile) << "strokes keep their colour";
  EXPECT_FALSE(fills[1].pattern_tile) << "restore brings the colour fill back";
  EXPECT_FALSE(fills[1].state.fill_pattern);
  EXPECT_EQ(fills[1].state.fill, (Color{1, 0, 0, 1}));
  EXPECT_EQ(fills[1].state.pattern_phase, (Point{0, 0}));
  EXPECT_FALSE(fills[2].pattern_tile) << "a fill colour ends the pattern";
  EXPECT_EQ(fills[2].state.fill, (Color{0, 1, 0, 1}));
}

TEST(PainterContext, PatternFillsRepeatTheTileFromThePhase) {
  const Color red{1, 0, 0, 1}, blue{0, 0, 1, 1};
  struct Case {
    Point phase;
    std::vector<Color> row;  // pixels 0..8 of a row
  };
  const Case cases[] = {
      {{0, 0}, {red, red, blue, blue, red, red, blue, blue, red}},
      {{3, 0}, {red, blue, blue, red, red, blue, blue, red, red}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phase.x);
    const Image image = Image::Render(16, 4, Origin::kTopLeft, [&](DrawingContext& ctx) {
      ctx.SetFillPattern(TwoColourTile());
      ctx.SetPatternPhase(c.phase);
      ctx.FillRect({0, 0, 16, 4});
    });
    for (int x = 0; x < int(c.row.size()); ++x) {
      EXPECT_EQ(image.PixelAt(x, 0), c.row[x]) << "x " << x;
      EXPECT_EQ(image.PixelAt(x, 3), c.row[x]) << "x " << x;
    }
  }
}

TEST(PainterContext, PatternFollowsTheTransformAndStaysUprightBottomUp) {
  // A 2x3 tile: column 0 green, red, blue from the top; column 1 clear.
  const Image tile = Image::Render(2, 3, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.SetFillColor({0, 1, 0, 1});
    ctx.FillRect({0, 0, 1, 1});
    ctx.SetFillColor({1, 0, 0, 1});
    ctx.FillRect({0, 1, 1, 1});
    ctx.SetFillColor({0, 0, 1, 1});
    ctx.FillRect({0, 2, 1, 1});
  });
  // Translated by 1, the tile starts one pixel in; y up, the phase is the tile's bottom
  // edge (device row 6 here) and its rows still read green, red, blue downwards.
  const Image image = Image::Render(8, 6, Origin::kBottomLeft, [&](DrawingContext& ctx) {
    ctx.TranslateCTM(1, 0);
    ctx.SetFillPattern(tile);
    ctx.FillRect({-1, 0, 8, 6});
  });
  for (int x : {1, 5}) {
    EXPECT_EQ(image.PixelAt(x, 0), (Color{0, 1, 0, 1})) << x;
    EXPECT_EQ(image.PixelAt(x, 1), (Color{1, 0, 0, 1})) << x;
    EXPECT_EQ(image.PixelAt(x, 2), (Color{0, 0, 1, 1})) << x;
    EXPECT_EQ(image.PixelAt(x, 3), (Color{0, 1, 0, 1})) << x;
  }
  EXPECT_EQ(image.PixelAt(0, 1).alpha, 0);
  EXPECT_EQ(image.PixelAt(4, 4).alpha, 0);
}

TEST(PainterContext, UncolouredPatternPaintsItsColourWhereTheTileIsOpaque) {
  const Image stencil = Image::Render(4, 1, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.SetFillColor({1, 0, 0, 1});
    ctx.FillRect({0, 0, 2, 1});  // the rest stays clear
  });
  const Image image = Image::Render(8, 2, Origin::kTopLeft, [&](DrawingContext& ctx) {
    ctx.SetFillPattern(stencil, Color::Black());
    ctx.FillRect({0, 0, 8, 2});
  });
  EXPECT_EQ(image.PixelAt(1, 1), Color::Black());
  EXPECT_EQ(image.PixelAt(2, 1).alpha, 0);
  EXPECT_EQ(image.PixelAt(4, 0), Color::Black());
}

TEST(Text, TruncationFitsAndKeepsBothEndsInTheMiddleMode) {
  const Font font = GetThemeFont(ThemeFont::kSmallSystem);
  const std::string text = "a-rather-long-file-name-for-the-list.dmg";
  const double width = MeasureText(text, font).width / 2;
  const std::string middle = TruncateText(text, font, width, Truncation::kMiddle);
  const std::string end = TruncateText(text, font, width, Truncation::kEnd);
  EXPECT_LE(MeasureText(middle, font).width, width);
  EXPECT_LE(MeasureText(end, font).width, width);
  EXPECT_EQ(middle.substr(0, 2), "a-");
  EXPECT_EQ(middle.substr(middle.size() - 4), ".dmg");
  EXPECT_EQ(end.substr(end.size() - 3), "\xE2\x80\xA6");
  EXPECT_EQ(TruncateText("short", font, 1000, Truncation::kEnd), "short");
}

TEST(Text, WrappedTextGrowsInHeightNotWidth) {
  const Font font = GetThemeFont(ThemeFont::kSystem);
  const Size one = MeasureWrappedText("word", font, 200);
  const Size many = MeasureWrappedText(std::string(40, 'w') + " " + std::string(40, 'w'), font, 200);
  EXPECT_GT(many.height, one.height * 1.5);
  EXPECT_LE(MeasureWrappedText("one two three four five six seven", font, 60).width, 60);
}

TEST(ColorBlend, TakesTheTintsHueAndKeepsEachPixelsLightness) {
  const Image greys = Image::Render(3, 1, Origin::kTopLeft, [](DrawingContext& ctx) {
    ctx.SetFillColor(Color::FromBytes(40, 40, 40));
    ctx.FillRect({0, 0, 1, 1});
    ctx.SetFillColor(Color::FromBytes(160, 160, 160));
    ctx.FillRect({1, 0, 1, 1});
  });  // the third pixel stays transparent
  const Image tinted = ApplyColorBlend(greys, {0, 1, 0, 1});
  const Color dark = tinted.PixelAt(0, 0), light = tinted.PixelAt(1, 0);
  EXPECT_GT(dark.green, dark.red);
  EXPECT_GT(light.green, light.red);
  EXPECT_GT(light.green, dark.green) << "lighter stays lighter";
  EXPECT_NEAR(0.3 * light.red + 0.59 * light.green + 0.11 * light.blue, 160 / 255.0, 0.01);
  EXPECT_EQ(tinted.PixelAt(2, 0).alpha, 0);
}

}  // namespace
}  // namespace toolbox
