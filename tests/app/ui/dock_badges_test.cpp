// The tray icon's badges: which rows, where, with which texts, and a picture of them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/ui/tray/dock_badges.h"
#include "platform/toolbox/drawing/image.h"

namespace ui {
namespace {

DockBadgeFigures AllOn() {
  DockBadgeFigures f;
  f.displayReceived = f.displayUploads = f.displayDownloads = true;
  return f;
}

TEST(DockBadgesTest, RowsStackBottomUpThirtyTwoApart) {
  struct Case {
    const char* what;
    DockBadgeFigures figures;
    std::vector<DockBadge> rows;
  };
  auto with = [](auto change) {
    DockBadgeFigures f = AllOn();
    change(f);
    return f;
  };
  const Case cases[] = {
      {"idle", AllOn(), {}},
      {"downloads only", with([](auto& f) { f.downloads = 3; }), {{BadgeImage::kDown, "D:", "3", 0}}},
      {"all three",
       with([](auto& f) { f.downloads = 2, f.uploads = 1, f.receivedFiles = 4; }),
       {{BadgeImage::kReceived, "R:", "4", 0},
        {BadgeImage::kUp, "U:", "1", 32},
        {BadgeImage::kDown, "D:", "2", 64}}},
      {"no received files",
       with([](auto& f) { f.downloads = 2, f.uploads = 1; }),
       {{BadgeImage::kUp, "U:", "1", 0}, {BadgeImage::kDown, "D:", "2", 32}}},
      {"downloads switched off",
       with([](auto& f) { f.downloads = 2, f.uploads = 1, f.displayDownloads = false; }),
       {{BadgeImage::kUp, "U:", "1", 0}}},
      {"speeds",
       with([](auto& f) {
         f.downloads = 2, f.uploads = 1, f.showSpeeds = true, f.downloadKBps = 12000, f.uploadKBps = 9.96f,
         f.receivedFiles = 1;
       }),
       {{BadgeImage::kReceived, "R:", "1", 0},
        {BadgeImage::kUp, "U:", "10.0 K", 32},
        {BadgeImage::kDown, "D:", "12 M", 64}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DockBadgeLayout(c.figures), c.rows) << c.what;
    EXPECT_EQ(DockBadgesWanted(c.figures), !c.rows.empty()) << c.what;
  }
}

TEST(DockBadgesTest, SpeedTextsChangeFormAtTenAThousandAndTenThousand) {
  struct Case {
    float kbps;
    const char* text;
  };
  const Case cases[] = {{9.96f, "10.0 K"}, {0, "0.0 K"},    {10, "10 K"},   {999.4f, "999 K"},
                        {1000, "1.0 M"},   {9999, "9.8 M"}, {12000, "12 M"}};
  for (const Case& c : cases) EXPECT_EQ(DockBadgeSpeedText(c.kbps), c.text) << c.kbps;
  EXPECT_EQ(DockBadgeCountText(65537), "1");  // a signed 16-bit count
}

TEST(DockBadgesTest, BadgesAreDrawnOnTheirRows) {
  DockBadgeFigures f = AllOn();
  f.downloads = 12;
  f.uploads = 3;
  f.receivedFiles = 1;
  const auto rows = DockBadgeLayout(f);
  const toolbox::Image tile =
      toolbox::Image::Render(128, 128, toolbox::Origin::kBottomLeft,
                             [&](toolbox::DrawingContext& ctx) { DrawDockBadges(ctx, rows); });
  // Rows from the bottom: received (orange) at 0, up (green) at 32, down (blue) at 64,
  // nothing above 96. Pixel rows count from the top.
  const toolbox::Color received = tile.PixelAt(10, 127 - 16), up = tile.PixelAt(10, 127 - 48),
                       down = tile.PixelAt(10, 127 - 80);
  EXPECT_GT(received.red, received.blue);
  EXPECT_GT(up.green, up.red);
  EXPECT_GT(down.blue, down.red);
  EXPECT_EQ(tile.PixelAt(10, 127 - 112).alpha, 0);
  int white = 0;  // the texts
  for (int y = 32; y < 64; ++y)
    for (int x = 30; x < 100; ++x)
      if (tile.PixelAt(x, y).red > 0.9 && tile.PixelAt(x, y).blue > 0.9) ++white;
  EXPECT_GT(white, 20);
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(tile.SavePng(std::string(keep) + "/tray_badges.png"));
  }
}

}  // namespace
}  // namespace ui
