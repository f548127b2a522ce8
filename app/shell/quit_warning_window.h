#pragma once
// The window that asks the user to confirm quitting while transfers run. There is at
// most one: asking again while it is shown brings it to the front. Its "Quit" button
// (command 'ok  ') ends the application's event loop; "Cancel" ('not!') closes it, and
// the next request makes a fresh one.

#include <memory>

#include "platform/runtime/event_target.h"
#include "platform/toolbox/windows/window.h"

namespace shell {

void ShowQuitWarningWindow();

// The window's handler (window disposal and command process).
runtime::Status QuitWarningEventHandler(runtime::HandlerCall& call, runtime::Event& event,
                                        toolbox::Window& window);

// The warning window while one exists (tests).
std::shared_ptr<toolbox::Window> CurrentQuitWarningWindow();

}  // namespace shell
