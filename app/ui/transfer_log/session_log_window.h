#pragma once
// The log window of one remote connection: a read-only text view titled with the host,
// showing the commands and replies the connection exchanged. A second showing for the
// same host brings its window to the front with the log as it is now; the close box
// closes it.
//
// Main thread only.

#include <string>

#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kSessionLogTextID = 1;  // the text view, {'Truv', 1}

toolbox::Window* ShowSessionLogWindow(const std::string& host, const std::string& log);
// The open log window of this host, or nullptr.
toolbox::Window* FindSessionLogWindow(const std::string& host);
void CloseSessionLogWindows();

}  // namespace ui
