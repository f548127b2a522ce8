#pragma once
// Window places in the preferences: a dictionary {"left", "right", "top", "bottom"} of
// 16-bit numbers under a key of the application's domain (current user, any host).
// Writes are not synchronised here; the preferences reach the disk at the next
// synchronise (at the latest at quit).

#include <cstdint>
#include <string_view>

#include "app/ui/services/ui_services.h"
#include "app/util/desktop/rect_helpers.h"

namespace util {

void SaveWindowRectPref(const Rect& rect, std::string_view key);

// False when the key holds no dictionary with the four numbers; `rect` untouched then.
bool LoadWindowRectPref(Rect& rect, std::string_view key);

// Saves the bounds of the window's frame (title bar included).
void SaveWindowBoundsPref(ui::WindowRef window, std::string_view key);

// Moves the window to the saved place and keeps it on a screen. With `keep_size` only the
// saved top-left corner is used and the window keeps its size (it is then moved onto a
// screen, never resized); without, the saved rectangle is used whole and the window may
// also be shrunk to fit. Nothing happens when nothing is saved: the result is then
// false. Otherwise true (whatever the constraint did).
bool RestoreWindowBoundsPref(ui::WindowRef window, std::string_view key, bool keep_size);

// Stores a 32-bit number in the application's domain.
void SetPrefInteger(std::string_view key, std::int32_t value);

}  // namespace util
