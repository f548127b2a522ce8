#pragma once
// The application's own menu outside its windows - the Dock tile's menu elsewhere, the
// tray icon's menu here (where the desktop has a tray). It is built afresh each time it
// opens, as data:
//   1. "kDockMenuDockMenu" with a submenu (10002): "Show Speeds" / "Show Item Counts"
//      (one checked, by "show speeds"), a separator, "Show Bandwidth Graph" (checked by
//      "displaygraphindock");
//   2. "Stop Queue" while the queue runs, else "Start Queue";
//   3. the menu bar's "open download folder" item ('ODFo');
//   then, in the advanced interface only: the received-files folder item ('OUFo'), a
//   separator, "Bonjour" (10001: the copies found nearby, 'DM  ' + index, or a disabled
//   "None Available"), "Connect To" (the connect presets), a separator and "Favourites"
//   (by name, 'DF  ' + index, or "None Available"). A separator left at the end goes.
// The Bonjour and favourites submenus are kept until the next build, so that a command
// chosen from them finds its item ('DM  ' items carry the peer's key as ('Truv', 'Stri')).
//
// Main thread only.

#include <cstddef>

#include "platform/toolbox/app/command.h"
#include "platform/toolbox/menus/menu.h"

namespace shell {

inline constexpr std::int16_t kDockMenuID = 9999;
inline constexpr std::int16_t kDockBonjourMenuID = 10001;
inline constexpr std::int16_t kDockDisplayMenuID = 10002;
inline constexpr std::int16_t kDockFavouritesMenuID = 10003;
inline constexpr toolbox::FourCharCode kDockBonjourCommand = values::FourCC("DM  ");
inline constexpr toolbox::FourCharCode kDockFavouriteCommand = values::FourCC("DF  ");
inline constexpr toolbox::FourCharCode kDockPeerKey = values::FourCC("Stri");
// The tray's "Show Truvane": brings the main window back (a click on the icon does too).
inline constexpr toolbox::FourCharCode kShowMainWindowCommand = values::FourCC("SMWi");
// At most this many peers and favourites are listed: their commands stay below 'DM !' and
// 'DF !', apart from the display choices 'DM$p', 'DM#I' and 'DMB@'.
inline constexpr std::size_t kDockMenuMaxItems = 256;

toolbox::MenuRef BuildDockMenu(bool simpleMode);

// 'DM  ' + i and 'DF  ' + i: connect the peer or favourite of item i + 1 of the last
// built submenu. True when the command was one of them (done or, for an item or peer no
// longer there, nothing done).
bool HandleDockMenuCommand(toolbox::FourCharCode command);

// Shows the tray icon with this menu where the desktop has a tray (start-up).
void InstallTrayMenu();
// Shows the main window and brings it to the front ("Show Truvane", a click on the tray icon).
void ShowMainWindow();

}  // namespace shell
