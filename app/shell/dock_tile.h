#pragma once
// The tray icon as the program's tile: the badges that count (or show the speed of) the
// running downloads, uploads and received files, and the rate graph when the settings
// ask for it. The tray icon (dock_menu.h) is the tile; where the desktop has no tray the
// picture is still made and kept (toolbox::TrayIconImage) and nothing fails.
//
// Main thread only.

#include <optional>

#include "app/ui/rate_history/rate_history.h"
#include "app/ui/tray/dock_badges.h"
#include "platform/toolbox/drawing/image.h"

namespace shell {

// The figures of the moment and the settings that choose the badges.
ui::DockBadgeFigures CurrentDockBadgeFigures();

// The tile with the badges over the program's icon; nothing when no badge is wanted.
std::optional<toolbox::Image> DockTileWithBadges(const ui::DockBadgeFigures& figures);

// Redraws the badges (the graph, when on, owns the tile and is left alone); with nothing
// to show, the plain icon comes back.
void UpdateDockTile();
// The plain icon (the graph switched off, shut-down).
void RestoreDockTile();
// The rate graph with the badges over it, as the tile.
void DrawTrayRateGraph(ui::DockRateGraph& graph);

}  // namespace shell
