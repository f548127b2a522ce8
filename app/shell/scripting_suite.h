#pragma once
// The application's Apple-event suite: installs every handler of the suite into `table`.

#include "platform/appleevents/handler_table.h"

namespace shell {

void InstallScriptingSuite(appleevents::HandlerTable& table);

}  // namespace shell
