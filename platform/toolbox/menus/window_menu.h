#pragma once
// The Window menu: its fixed items (the caller's) followed by one item per open window
// that asks to be listed, in the order the windows were made, the front one checked.
// A window item carries the window's serial as its property (kApplicationSignature,
// 'wind'); choosing it brings that window to the front. Refresh before the menu opens
// (the menu bar's update pass is the place).

#include "platform/toolbox/menus/menu.h"

namespace toolbox {

inline constexpr FourCharCode kWindowItemProperty = FourCC("wind");

// Replaces every item after `fixed_items` with the windows' items.
void RefreshWindowMenu(Menu& menu, int fixed_items);
// For a window item: brings its window to the front and answers true; false for any
// other item (or a window gone meanwhile).
bool SelectWindowMenuItem(const Menu& menu, int item);

}  // namespace toolbox
