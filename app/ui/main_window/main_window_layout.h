#pragma once
// The operations that rearrange the main window while it runs: hiding and showing the
// source-list pane and the filter bar, the filter scope, the simple and the advanced
// interface, the remote path bar above a remote host's list, and the translucent overlay
// while a sheet is open. Each does nothing when a control it needs is missing.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>

#include "app/ui/main_window/main_window.h"

namespace ui {

class PathBar;
class FileBrowser;

void ToggleLeftPane();

// The views whose rows are filtered by the filter bar: My Downloads, History, Filters,
// My Uploads, user and smart folders and the date folders.
bool IsListViewID(std::uint32_t id);
// Moves the list area up 25 px (the bar goes away) or down.
void ShiftListArea(bool barGoesAway);
void ShowFilterBar();
void HideFilterBar();
void ToggleFilterBar();
// Scrolls the list to the top on a change to a scope other than All; refills the list.
void SetFilterScope(FilterScope scope);
// What the displayed view needs: the filter bar for list views, the path bar for hosts.
void UpdateBarsForView(std::uint32_t viewID);

void SetSimpleMode(bool simple);

void ShowPathBar();
void HidePathBar();
PathBar* GetPathBar();
// The remote path bar shows the host of the view and the folder its list shows.
void UpdatePathBarForView(std::uint32_t viewID);

// The local-files pane beside a remote host's list (main_window_local_pane.cpp): shown
// with the local path bar above it and the split view between it and the list, and only
// hidden again afterwards. `folder` is shown when it is a folder; otherwise the pane keeps
// the one it shows.
void ShowLocalPane(const std::optional<std::string>& folder);
void HideLocalPane();
toolbox::Control* GetLocalBrowserView();
FileBrowser* GetLocalFileBrowser();
// The pane for the host the main list shows: shown with the host's folder when the host
// uses split panes, hidden otherwise.
void UpdateLocalPaneForSelection();
// The same without refilling the list (the view switch fills it next); any other view
// than a host's hides the pane.
void UpdateLocalPaneForView(std::uint32_t viewID);

void AddShaderView();
void RemoveShaderView();
// A sheet opening on the main window covers it with the shader and takes away zooming
// until the sheet closes.
void MainWindowSheetHandler(std::uint32_t windowEventKind);

}  // namespace ui
