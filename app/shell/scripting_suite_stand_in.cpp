// Until the scripting suite is built, the application answers the two core events a
// running program must: quit ends the main loop, reopen does nothing.
#include "app/shell/scripting_suite.h"
#include "platform/runtime/event_queue.h"

namespace shell {

void InstallScriptingSuite(appleevents::HandlerTable& table) {
  using values::FourCC;
  table.Install(appleevents::kCoreEventClass, FourCC("quit"),
                [](const appleevents::AppleEvent&, appleevents::AppleEvent&) {
                  runtime::QuitApplicationEventLoop();
                  return appleevents::kNoErr;
                });
  table.Install(appleevents::kCoreEventClass, FourCC("rapp"),
                [](const appleevents::AppleEvent&, appleevents::AppleEvent&) { return appleevents::kNoErr; });
}

}  // namespace shell
