#include "app/ui/tray/dock_badges.h"

#include "app/ui/views/resource_images.h"
#include "platform/values/format.h"

namespace ui {
namespace {

constexpr double kBadgeStep = 32;
constexpr double kTileCentre = 64;
constexpr double kTextRise = 6;
constexpr double kBadgeFontSize = 26;

}  // namespace

bool DockBadgesWanted(const DockBadgeFigures& f) {
  return (f.displayDownloads && f.downloads > 0) || (f.displayUploads && f.uploads > 0) ||
         (f.displayReceived && f.receivedFiles >= 1);
}

std::string DockBadgeSpeedText(float s) {
  if (s < 10) return values::Format("%.1f K", {static_cast<double>(s)});
  if (s < 1000) return values::Format("%.0f K", {static_cast<double>(s)});
  if (s < 10000) return values::Format("%.1f M", {static_cast<double>(s) / 1024});
  return values::Format("%.0f M", {static_cast<double>(s) / 1024});
}

std::string DockBadgeCountText(std::int32_t count) {
  return values::Format("%d", {static_cast<std::int32_t>(static_cast<std::int16_t>(count))});
}

std::vector<DockBadge> DockBadgeLayout(const DockBadgeFigures& f) {
  std::vector<DockBadge> rows;
  double y = 0;
  if (f.displayReceived && f.receivedFiles != 0) {
    rows.push_back({BadgeImage::kReceived, "R:", DockBadgeCountText(f.receivedFiles), y});
    y = kBadgeStep;
  }
  if (f.displayUploads && f.uploads > 0) {
    rows.push_back({BadgeImage::kUp, "U:",
                    f.showSpeeds ? DockBadgeSpeedText(f.uploadKBps) : DockBadgeCountText(f.uploads), y});
    y += kBadgeStep;
  }
  if (f.displayDownloads && f.downloads > 0) {
    rows.push_back({BadgeImage::kDown, "D:",
                    f.showSpeeds ? DockBadgeSpeedText(f.downloadKBps) : DockBadgeCountText(f.downloads), y});
  }
  return rows;
}

std::optional<toolbox::Image> DockBadgeImage(BadgeImage image) {
  switch (image) {
    case BadgeImage::kReceived:
      return CreateImageFromResource("badge_background_received");
    case BadgeImage::kUp:
      return CreateImageFromResource("badge_background_up");
    case BadgeImage::kDown:
      return CreateImageFromResource("badge_background_down");
  }
  return std::nullopt;
}

void DrawDockBadges(toolbox::DrawingContext& ctx, const std::vector<DockBadge>& badges) {
  toolbox::TextStyle style;
  style.font = toolbox::Font{"", kBadgeFontSize, true};
  style.color = toolbox::Color::White();
  for (const DockBadge& b : badges) {
    if (auto image = DockBadgeImage(b.image))
      ctx.DrawImage({0, b.y, static_cast<double>(image->width()), static_cast<double>(image->height())},
                    *image);
    const std::string text = values::Format("%s %s", {b.prefix, b.text});
    const double w = toolbox::MeasureText(text, style.font).width;
    const double lineHeight = toolbox::LineHeight(style.font);
    // The text's box sits on the row's baseline, six points up.
    ctx.DrawText(text, {kTileCentre - w / 2, b.y + kTextRise - lineHeight * 0.2, w + 2, lineHeight}, style);
  }
}

}  // namespace ui
