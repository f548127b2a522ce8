#pragma once
// The application target's handler for what worker tasks post to the main thread that the
// shell itself applies: a line for the transfer log ('Truv' 1025) and a change of the
// accepted certificates ('TRP&' 1), whose two tables are then written to the preferences.
// The menu, Dock-tile and service events join it with the application's command handling.

#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/status.h"

namespace shell {

runtime::Status ApplicationEventHandler(runtime::HandlerCall& call, runtime::Event& event);

// Installs the handler on `target` (the application target) for the kinds above.
runtime::HandlerRef InstallApplicationEventHandler(runtime::EventTarget& target);

}  // namespace shell
