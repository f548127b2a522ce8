#pragma once
// Small services of the window system: the clipboard's text, tooltips at a place, and
// timers on the main run loop (the runtime's timers, added to the loop that Qt drives).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/run_loop.h"
#include "platform/toolbox/drawing/geometry.h"

namespace toolbox {

class Window;

void SetClipboardText(const std::string& text);
// Nothing when the clipboard holds no text.
std::optional<std::string> GetClipboardText();

// Shows `text` as a tooltip for `area` of the window's content; an empty text hides it.
void ShowToolTip(Window& window, const Rect& area, const std::string& text);

// A timer on the main run loop: first after `delay`, then every `interval` (0: once).
// The main loop keeps it until it is invalidated.
std::shared_ptr<runtime::Timer> InstallMainTimer(runtime::Nanoseconds delay, runtime::Nanoseconds interval,
                                                 std::function<void(runtime::Timer&)> callback);

}  // namespace toolbox
