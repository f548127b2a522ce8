#pragma once
// The tray icon: the desktop's place for the application's own menu while its windows are
// hidden (what the Dock tile's menu is elsewhere). Only some desktops have a tray, and
// none exists offscreen, so the menu itself is plain data built by the caller each time
// the icon's menu opens; the icon only shows it. A chosen item's command goes through
// the front window's command chain to the application, as a menu-bar item's does.
//
// Main thread only.

#include <functional>
#include <string>

#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/menus/menu.h"

namespace toolbox {

// Whether the desktop shows tray icons (never offscreen).
bool IsTrayAvailable();

// Shows the icon (replacing one shown before); `build_menu` makes its menu each time it
// opens. False when there is no tray.
bool ShowTrayIcon(const Image& icon, const std::string& tool_tip, std::function<MenuRef()> build_menu);
void HideTrayIcon();
// Changes the picture of the shown icon (the badges and the rate graph are drawn into it).
// The picture is kept even without a tray, so what the icon would show can be read back.
void SetTrayIconImage(const Image& icon);
Image TrayIconImage();
bool IsTrayIconShown();
// What a click (or a double click) on the icon does; the menu stays on the other button.
void SetTrayIconClickAction(std::function<void()> action);
// Runs the click action, as the desktop does when the icon is clicked (tests).
void ClickTrayIcon();

}  // namespace toolbox
