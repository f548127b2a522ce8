#pragma once
// Menus as data rendered into Qt menus; internal to the toolbox (the presenter and the
// menu bar use it).

#include <QMenu>
#include <functional>

#include "platform/toolbox/menus/menu.h"

namespace toolbox {

// Clears `qmenu` and fills it from `menu` for these modifiers (Option alternates);
// choosing an item calls `chosen` with the item's menu (a submenu for its items) and
// index.
void FillQMenu(QMenu& qmenu, const MenuRef& menu, unsigned modifiers,
               const std::function<void(const MenuRef&, int)>& chosen);

}  // namespace toolbox
