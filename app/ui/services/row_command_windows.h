#pragma once
// A window of another subsystem that the source list's row commands open: the preferences
// window on a pane ("Sharing Settings..." opens pane 8).
//
// Their owners install the hooks when they build those windows; until then the commands
// open nothing.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/runtime/hook_slot.h"

namespace ui {

inline constexpr int kSharingPreferencesPane = 8;

struct RowCommandWindowHooks {
  std::function<void(int pane)> showPreferencesWindow;
};
using RowCommandWindowHooksSlot = runtime::HookSlot<RowCommandWindowHooks>;

}  // namespace ui
