#include "app/shell/dock_tile.h"

#include "app/queue/adding/start_download.h"
#include "app/queue/operations/queue_queries.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/shell/shell_hooks.h"
#include "app/ui/views/resource_images.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/menus/tray_icon.h"

namespace shell {
namespace {

constexpr int kTile = 128;

toolbox::Image PlainIcon() {
  auto icon = ui::GetIcon(ui::kAppCreator, ui::kAppCreator);
  return icon ? *icon : toolbox::Image();
}

toolbox::Color ColorOf(const util::SettingsColor& c) {
  return {c.rgb.red / 65535.0, c.rgb.green / 65535.0, c.rgb.blue / 65535.0, c.alpha};
}

}  // namespace

ui::DockBadgeFigures CurrentDockBadgeFigures() {
  const auto settings = util::CurrentSettings();
  ui::DockBadgeFigures f;
  f.showSpeeds = util::ReadSetting(util::kShowSpeedsKey);
  f.displayDownloads = settings->displayJobsInDock;
  f.displayUploads = settings->displayUploadCountInDock;
  f.displayReceived = settings->displayReceivedFilesInDock;
  f.downloads = static_cast<std::int32_t>(queue::gActiveDownloads.size());
  f.uploads = AskHook<std::int32_t>(ShellHooksSlot::Get().activeUploadCount, 0);
  f.receivedFiles = sharing::RunningUploadServers();
  if (f.showSpeeds) {
    const auto [down, up] = queue::SumTransferRates();
    f.downloadKBps = down;
    f.uploadKBps = up;
  }
  return f;
}

std::optional<toolbox::Image> DockTileWithBadges(const ui::DockBadgeFigures& figures) {
  if (!ui::DockBadgesWanted(figures)) return std::nullopt;
  const toolbox::Image icon = PlainIcon();
  const auto rows = ui::DockBadgeLayout(figures);
  return toolbox::Image::Render(kTile, kTile, toolbox::Origin::kBottomLeft,
                                [&](toolbox::DrawingContext& ctx) {
                                  if (!icon.IsNull()) ctx.DrawImage({0, 0, kTile, kTile}, icon);
                                  ui::DrawDockBadges(ctx, rows);
                                });
}

void UpdateDockTile() {
  if (util::CurrentSettings()->displayGraphInDock) return;
  const auto tile = DockTileWithBadges(CurrentDockBadgeFigures());
  toolbox::SetTrayIconImage(tile ? *tile : PlainIcon());
}

void RestoreDockTile() {
  toolbox::SetTrayIconImage(PlainIcon());
}

void DrawTrayRateGraph(ui::DockRateGraph& graph) {
  const auto settings = util::CurrentSettings();
  const ui::DockBadgeFigures figures = CurrentDockBadgeFigures();
  const auto rows = ui::DockBadgeLayout(figures);
  toolbox::SetTrayIconImage(
      toolbox::Image::Render(kTile, kTile, toolbox::Origin::kBottomLeft, [&](toolbox::DrawingContext& ctx) {
        ui::DrawDockRateGraph(ctx, graph, ColorOf(settings->dockBack), ColorOf(settings->dockFore));
        ui::DrawDockBadges(ctx, rows);
      }));
}

}  // namespace shell
