#pragma once
// Launching the application with an event, and the application's side of it.
//
// The sender writes the event (wire form, see event_wire.h) to a file of its own in the
// event folder and starts the program detached, in a session of its own, with standard
// input, output and error on /dev/null (so a sender run inside `$(...)` is not held up
// by the application keeping the pipe open), and with the file's path in the
// environment variable TRUVANE_INITIAL_EVENT. The application takes the file at start
// (reading and removing it, and dropping the variable so its own children do not see
// it), dispatches the event once its handlers are installed and, when the sender waits,
// leaves the reply in the same path with ".reply" added, written whole and renamed into
// place so the sender never reads half of it.

#include <chrono>
#include <optional>
#include <string>

#include "platform/appleevents/handler_table.h"

namespace appleevents {

inline constexpr char kInitialEventVariable[] = "TRUVANE_INITIAL_EVENT";

// Sender side: starts `program` with `event` and, when `wants_reply`, waits until
// `deadline` for the reply. kLaunchFailed when the program cannot be started; kTimeout
// when no reply came in time.
Status LaunchWithInitialEvent(const std::string& program, const std::string& folder, const AppleEvent& event,
                              bool wants_reply, std::chrono::steady_clock::time_point deadline,
                              AppleEvent& reply);

struct InitialEvent {
  AppleEvent event;
  bool wants_reply = false;
  std::string reply_path;
};

// Application side. No value when the process was not started with an event (or the
// file is gone or does not decode).
std::optional<InitialEvent> TakeInitialEvent();
Status AnswerInitialEvent(const InitialEvent& initial, const AppleEvent& reply);
// Takes, dispatches and answers the initial event, if there is one; kDescNotFound when
// there is none, else the handler's result.
Status HandleInitialEvent(const HandlerTable& handlers);

}  // namespace appleevents
