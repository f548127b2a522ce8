#pragma once
// The badges drawn on the tray icon: how many downloads, uploads and received files are
// running, or the speeds of the downloads and uploads.
//
// The layout is a pure function of the figures and the settings: a list of rows {image,
// prefix, text, y}, bottom up, 32 points apart, in the 128 x 128 tile (origin at the
// bottom left). A row is drawn as its background image at (0, y) and the text
// "prefix value" centred on x = 64, six points above the row's bottom.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/drawing/drawing_context.h"

namespace ui {

enum class BadgeImage : std::uint8_t { kReceived, kUp, kDown };

struct DockBadge {
  BadgeImage image = BadgeImage::kDown;
  std::string prefix;
  std::string text;
  double y = 0;
  bool operator==(const DockBadge&) const = default;
};

// What the badges show: the settings and the figures of the moment.
struct DockBadgeFigures {
  bool showSpeeds = false;         // "show speeds"
  bool displayReceived = false;    // "displayreceivedfilesindock"
  bool displayUploads = false;     // "displayuploadcountindock"
  bool displayDownloads = false;   // "displayjobsindock"
  std::int32_t receivedFiles = 0;  // files being received from peers
  std::int32_t uploads = 0;        // running uploads
  std::int32_t downloads = 0;      // running downloads
  float uploadKBps = 0;
  float downloadKBps = 0;
};

// Whether anything is to be shown at all.
bool DockBadgesWanted(const DockBadgeFigures& f);
std::vector<DockBadge> DockBadgeLayout(const DockBadgeFigures& f);

// "%.1f K" below 10 KB/s, "%.0f K" below 1000, "%.1f M" (of s / 1024) below 10000, else
// "%.0f M".
std::string DockBadgeSpeedText(float kbps);
// "%d" of the count, as a signed 16-bit number.
std::string DockBadgeCountText(std::int32_t count);

// The background image of a badge row ("badge_background_up" and so on); null when
// missing, and the text is drawn without it.
std::optional<toolbox::Image> DockBadgeImage(BadgeImage image);

// Draws the rows into a bottom-left 128 x 128 context.
void DrawDockBadges(toolbox::DrawingContext& ctx, const std::vector<DockBadge>& badges);

}  // namespace ui
