#pragma once
// The operations that rearrange the main window while it runs: hiding and showing the
// source-list pane and the filter bar, the filter scope, the simple and the advanced
// interface, the remote path bar above a remote host's list, and the translucent overlay
// while a sheet is open. Each does nothing when a control it needs is missing.
//
// Main thread only.

#include <cstdint>

#include "app/ui/main_window/main_window.h"

namespace ui {

class PathBar;

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

// The local-files pane belongs to the remote browser's file-browser control; without it
// there is no pane to show, and these do nothing.
toolbox::Control* GetLocalBrowserView();
void HideLocalPane();

void AddShaderView();
void RemoveShaderView();

}  // namespace ui
