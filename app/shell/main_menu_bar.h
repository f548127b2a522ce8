#pragma once
// The application's menu bar. Its make-up follows three things - the queue it works on
// (My Uploads or the downloads), the simple or advanced interface, and whether a remote
// server is shown - and BuildMainMenuBar rebuilds it only when one of them changed since
// the last build (a change between two download folders leaves it alone). The views ask
// for a build through ui::MenuBarHooks when the shown view or the interface changes.
//
// Menus by id: 128 the application, 129 File, 135 Edit, 132 the queue (upload or
// download), 133 View, 136 Window, 200 Help. Every item carries the command that the
// window chain or the application's command handler carries out; the View menu and the
// Edit menu keep a few items current as they open (UpdateViewMenu, UpdateMainMenus).
//
// Main thread only.

#include <cstdint>

#include "platform/toolbox/menus/menu.h"

namespace shell {

inline constexpr std::int16_t kApplicationMenuID = 128;
inline constexpr std::int16_t kFileMenuID = 129;
inline constexpr std::int16_t kQueueMenuID = 132;
inline constexpr std::int16_t kViewMenuID = 133;
inline constexpr std::int16_t kEditMenuID = 135;
inline constexpr std::int16_t kWindowMenuID = 136;
inline constexpr std::int16_t kHelpMenuID = 200;

// The triple a build is made for; all 0 before the first build.
struct MenuBarMode {
  int queueKind = 0;  // 1 the upload queue, 2 the download queue
  int advanced = 0;   // 1 advanced, 0 simple
  int viewKind = 0;   // 1 a remote view, 2 any other
  bool operator==(const MenuBarMode&) const = default;
};
MenuBarMode MenuBarModeFor(std::uint32_t viewID, bool simpleMode);

// Rebuilds toolbox::GetMenuBar() for the current view and interface when the mode
// changed, and shows it on the main window; true when it rebuilt.
bool BuildMainMenuBar();
// The same for a given view and mode (tests and the build above).
bool BuildMainMenuBarFor(std::uint32_t viewID, bool simpleMode);
MenuBarMode CurrentMenuBarMode();
// Forgets the last mode and empties the menu bar (tests).
void ResetMainMenuBar();

// The populate steps of the View menu (the hidden-files item's title, list or split
// pane) and of the Edit menu (the undo and redo titles); both act only while the main
// window (or, for Edit, the mini window) is in front.
void UpdateViewMenu(toolbox::Menu& menu);
void UpdateMainMenus(toolbox::Menu& menu);

// Installs the builder as the views' menu-bar hook (start-up, with a display).
void InstallMainMenuBar();

}  // namespace shell
