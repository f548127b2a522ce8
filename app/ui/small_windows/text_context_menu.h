#pragma once
// The contextual menu of text fields: Cut, Copy, Paste and Select All, titled as the menu
// bar's items of the same commands are now (their English titles when the bar has none),
// shown 16 points above the click. The chosen command acts on the field.
//
// Main thread only.

#include <cstdint>

#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/menus/menu.h"

namespace ui {

inline constexpr std::int16_t kTextContextMenuID = 1024;

toolbox::MenuRef BuildTextContextMenu();
// The edit commands and the menu on `field` (a text field; nothing for other controls).
void InstallTextContextMenu(toolbox::Control& field);

}  // namespace ui
