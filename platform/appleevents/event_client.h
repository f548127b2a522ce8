#pragma once
// Sending an event to the running application and waiting for its reply.
//
// The sender connects to the event socket (see event_folder.h), writes one message and,
// when it waits, reads one reply, all against one deadline: a listener that never accepts
// (its backlog full) is a time-out like a reply that never comes. When nothing answers on the
// socket (no socket file, or a stale one) and a program is given, the program is
// started detached with the event as its initial event (see initial_event.h), and the
// sender waits, within the same deadline, for the reply it leaves.
//
// The result is the transport's: kNoErr when the event was delivered (and, when
// waiting, answered); the handler's own failure is in the reply's 'errn'.

#include <chrono>
#include <string>

#include "platform/appleevents/apple_event.h"

namespace appleevents {

struct SendOptions {
  std::chrono::milliseconds timeout{60000};
  bool wants_reply = true;
  // The application to start when none is running; empty: do not start one.
  std::string launch_program;
  // Empty: EventFolderPath().
  std::string folder;
};

Status SendEvent(const AppleEvent& event, AppleEvent& reply, const SendOptions& options = {});

}  // namespace appleevents
