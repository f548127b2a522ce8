#pragma once
// Menus meet commands: the application's menu bar (by id), the update-status pass that
// enables, retitles and marks menu items from the command handlers before a menu
// opens, and choosing an item, which sends its command through the front window's chain.
// Contextual and pop-up menus are shown through the presenter with the same pass first.

#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/toolbox/windows/window.h"

namespace toolbox {

// The application's menu bar.
MenuBar& GetMenuBar();

// Asks the handlers about every item of `menu` (and its submenus) that has a command,
// from `window`'s focus (the front window's when null), and applies the answers. Items
// nobody answers for keep their state.
void UpdateMenuCommandStatus(Menu& menu, Window* window = nullptr);
// The same for every menu of the menu bar.
void UpdateMenuBarCommandStatus();

// What choosing item `item` of `menu` does: kEventNotHandledErr when the item has no
// command or nobody takes it; nothing for a disabled item.
Status SelectMenuItem(Menu& menu, int item, Window* window = nullptr);

// Shows `menu` at `where` in `window` (contextual) after the update pass, and sends the
// chosen item's command. The selection is returned for menus whose items carry data
// rather than commands.
MenuSelection PopUpContextualMenu(Window* window, Point where, const MenuRef& menu);
// A pop-up menu (a menu button): `current_item` is shown under the mouse.
MenuSelection PopUpMenuSelect(Window* window, Point where, const MenuRef& menu, int current_item);

}  // namespace toolbox
