#pragma once
// The edit commands of a text field and its contextual menu. With the commands installed,
// the field's own target carries out 'cut ', 'copy', 'past', 'clea' and 'sall' and says
// when each can be done (cut, copy and delete need a selection, paste text on the
// clipboard), so that the menu bar's Edit items act on the field that has the focus. The
// contextual menu is made by the caller on each request (a right click, or the keyboard's
// menu key) and shown where it was asked for; the chosen item's command starts at the
// field, so it acts there whatever else has the focus.
//
// Main thread only.

#include <functional>

#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/menus/menu.h"

namespace toolbox {

inline constexpr FourCharCode kCommandCut = FourCC("cut ");
inline constexpr FourCharCode kCommandCopy = FourCC("copy");
inline constexpr FourCharCode kCommandPaste = FourCC("past");
inline constexpr FourCharCode kCommandClear = FourCC("clea");
inline constexpr FourCharCode kCommandSelectAll = FourCC("sall");

// Nothing for a control that is not an editable text field.
void InstallTextEditCommands(Control& field);

// `build` makes the menu; `offset` moves where it shows from the click (content
// coordinates of the field's window). Nothing for a control that is not a text field.
void SetTextContextMenu(Control& field, std::function<MenuRef()> build, Point offset = {});
// What a contextual request at `where` (the window's content) does, as a right click
// would: the menu shown through the presenter, its chosen command sent from the field.
MenuSelection ShowTextContextMenu(Control& field, Point where);

}  // namespace toolbox
