// The download inspector's arithmetic: the time-left text, the grid of the map and the
// colour of each cell against the received ranges, probed in a drawn picture.
#include <gtest/gtest.h>

#include "app/ui/inspector/download_map.h"
#include "platform/toolbox/drawing/image.h"

namespace ui {
namespace {

TEST(DownloadMapTest, TimeTextFollowsStatusSpeedAndSize) {
  struct Case {
    std::int32_t status;
    float speed;
    std::int64_t size;
    std::int64_t received;
    const char* text;
  };
  const Case cases[] = {
      {64, 50.0f, 1000, 0, "N/A"},      // stopped
      {256, 50.0f, 1000, 1000, "N/A"},  // completed
      {4, 50.0f, 0, 500, "Unknown"},    // size not known yet
      {4, 50.0f, -1, 500, "Unknown"},
      {4, 0.2f, 1000000, 0, "Unknown"},  // exactly the threshold
      {4, 0.0f, 1000000, 0, "Unknown"},
      {4, 1.0f, 1024 * 59, 0, "59s (1.0KB/s)"},
      {4, 1.0f, 1024 * 60, 0, "1:00 (1.0KB/s)"},
      {4, 1.0f, 1024 * 3599, 0, "59:59 (1.0KB/s)"},
      {4, 1.0f, 1024 * 3600, 0, "1:00:00 (1.0KB/s)"},
      {4, 12.34f, static_cast<std::int64_t>(3725.5 * 12.34f * 1024) + 100, 100, "1:02:05 (12.3KB/s)"},
      {4, 2.0f, 4096, 2048, "1s (2.0KB/s)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DownloadInspectorTimeText(c.status, c.speed, c.size, c.received), c.text)
        << c.status << " " << c.speed << " " << c.size;
  }
}

TEST(DownloadMapTest, GridDividesTheFileOverTheCellsThatFit) {
  struct Case {
    double width, height;
    std::int64_t size;
    DownloadMapGrid grid;
  };
  const Case cases[] = {
      {80, 40, 5000, {10, 5, 100}}, {87, 47, 5000, {10, 5, 100}},  // partial cells do not count
      {80, 40, 0, {10, 5, 0}},                                     // size unknown: no map
      {80, 40, -1, {10, 5, 0}},     {7, 40, 5000, {0, 5, 0}},  // narrower than one cell: no division by zero
      {80, 0, 5000, {10, 0, 0}},    {0, 0, 5000, {0, 0, 0}},
      {8, 8, 3, {1, 1, 3}},         {80, 40, 30, {10, 5, 0}},  // fewer bytes than cells
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ComputeDownloadMapGrid(c.width, c.height, kDownloadMapSquareSize, c.size), c.grid)
        << c.width << "x" << c.height << " " << c.size;
  }
}

std::string Cells(const DownloadMapGrid& grid, const engine::RangeList& ranges) {
  std::string out;
  for (MapCell c : ComputeDownloadMapCells(grid, ranges))
    out += c == MapCell::kFull ? 'G' : c == MapCell::kPartial ? 'R' : '.';
  return out;
}

TEST(DownloadMapTest, EachCellIsJudgedAgainstEveryRangeThatOverlapsIt) {
  const DownloadMapGrid grid{5, 1, 100};
  struct Case {
    engine::RangeList ranges;
    const char* cells;
  };
  const Case cases[] = {
      {{}, "....."},
      {{{0, 500}}, "GGGGG"},
      {{{0, 250}}, "GGR.."},  // a range ending mid-cell: red after green
      {{{150, 100}}, ".RR.."},
      // Two ranges ending inside one cell: the later cells still see the ranges after them.
      {{{0, 110}, {120, 10}, {150, 300}}, "GRGGR"},
      {{{10, 10}, {30, 10}, {205, 1}, {300, 200}}, "R.RGG"},
      // Ranges that together cover a whole cell make it full.
      {{{0, 50}, {50, 50}}, "G...."},
      {{{450, 1000}}, "....R"},
  };
  for (const Case& c : cases) {
    std::string desc;
    for (const auto& r : c.ranges) desc += engine::DescribeLongRange(r) + "; ";
    EXPECT_EQ(Cells(grid, c.ranges), c.cells) << desc;
  }
}

TEST(DownloadMapTest, DrawnMapShowsGreenRedAndBlackSquaresWithGaps) {
  // 80 x 40 points: 10 columns, 5 rows, 100 bytes a square; the first row and a half
  // received, then 30 bytes of the 17th square.
  const engine::RangeList ranges{{0, 1500}, {1600, 30}};
  const toolbox::Image image =
      toolbox::Image::Render(80, 40, toolbox::Origin::kTopLeft, [&](toolbox::DrawingContext& ctx) {
        DrawDownloadMap(ctx, 80, 40, kDownloadMapSquareSize, 5000, ranges);
      });
  struct Probe {
    int x, y;
    toolbox::Color color;
  };
  const toolbox::Color green{0, 1, 0, 1}, red{1, 0, 0, 1}, black = toolbox::Color::Black();
  const Probe probes[] = {
      {4, 4, green},                    // cell (0, 0)
      {0, 0, black},                    // the gap around it
      {7, 4, black},   {76, 4, green},  // cell (0, 9)
      {36, 12, green},                  // cell (1, 4): bytes 1400-1499
      {44, 12, black},                  // cell (1, 5): bytes 1500-1599
      {52, 12, red},                    // cell (1, 6): 30 of its bytes
      {4, 36, black},                   // the last row
  };
  for (const Probe& p : probes) EXPECT_EQ(image.PixelAt(p.x, p.y), p.color) << p.x << "," << p.y;
}

TEST(DownloadMapTest, MapOfAnUnknownSizeOrATinyViewIsAllBlack) {
  for (const auto& [w, h, size] :
       {std::tuple{80, 40, std::int64_t{0}}, std::tuple{6, 6, std::int64_t{5000}}}) {
    const toolbox::Image image =
        toolbox::Image::Render(w, h, toolbox::Origin::kTopLeft, [&](toolbox::DrawingContext& ctx) {
          DrawDownloadMap(ctx, w, h, kDownloadMapSquareSize, size, {{0, 5000}});
        });
    EXPECT_EQ(image.PixelAt(4, 4), toolbox::Color::Black()) << w << "x" << h;
  }
}

}  // namespace
}  // namespace ui
