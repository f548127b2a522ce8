#pragma once
// Thin helpers over the user-interface layer (app/ui/services/ui_services.h) that every window's
// code uses: controls by the application signature and a number, standard alerts, menu
// marks and separators, cached window descriptions, and centring a window that has no
// saved place.

#include <cstdint>
#include <optional>
#include <string>

#include "app/ui/services/ui_services.h"

namespace util {

// The control {`Truv`, id} of the window; the layer's error when there is none (out
// untouched then).
ui::OSStatus GetAppControlByID(ui::WindowRef window, std::int32_t id, ui::ControlRef* out);

// Runs a standard alert (movable, modal) with a finished message text; the item hit.
std::int16_t RunStandardAlertText(ui::AlertType type, const std::string& message,
                                  const std::optional<std::string>& explanation);

// Removes the mark of every item; kParamErr when no menu is given.
ui::OSStatus ClearMenuItemMarks(ui::MenuRef menu);

// Appends a separator ("-") unless the menu is empty or already ends with one.
void AppendMenuSeparatorIfNeeded(ui::MenuRef menu);

// The window description of that name, made on first use and kept for the program's
// life; a failed look-up is not remembered, so the next call tries again.
ui::NibRef GetCachedNibReference(const std::string& name);

// Centres the window, then lets a frame saved under its autosave name win: only a window
// without a saved frame stays centred.
void CenterIfNotSet(ui::WindowRef window);

// Draws the user's attention to the application (its task-bar entry flashes), unless the
// setting "NoDockBounces" is on or the application is in front (or which application is
// in front cannot be told): briefly when "BounceCount" is 1, else until the application
// comes to the front.
void RequestUserAttention();

// The version text the About window shows.
inline constexpr const char* kAboutVersion = "5.2.16";
void ShowAboutWindow();

}  // namespace util
