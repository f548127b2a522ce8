#pragma once
// What the views ask of the application's menu bar: a new build when the shown view or
// the simple/advanced interface changes (the menus differ by queue, interface and remote
// view). The shell installs the builder at start-up; until then nothing happens.
//
// Main thread only.

#include <functional>

#include "platform/runtime/hook_slot.h"

namespace ui {

struct MenuBarHooks {
  std::function<void()> buildMainMenuBar;
};
using MenuBarHooksSlot = runtime::HookSlot<MenuBarHooks>;

}  // namespace ui
