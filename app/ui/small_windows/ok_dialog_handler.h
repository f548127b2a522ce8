#pragma once
// The handler of the simple dialogs that only tell something (the remote browser's
// notices): OK ('ok  ') closes the dialog; anything else goes on to the next handler.

#include "platform/runtime/event_target.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

runtime::Status OKDialogEventHandler(runtime::HandlerCall& call, runtime::Event& event,
                                     toolbox::Window& window);
// Installs it on the dialog for command events.
runtime::HandlerRef InstallOKDialogHandler(toolbox::Window& window);

}  // namespace ui
