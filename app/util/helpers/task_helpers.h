#pragma once
// What worker tasks (download streams, the upload task, the sharing servers) and the main
// thread share for reaching each other: a line for the transfer log posted from any task,
// the nested event loop a task runs its transfers in, its quit, and a pause.
//
// A log line travels as an application event ('Truv', kEventAppLogMessage) on the main
// event queue with the text as its direct parameter, aimed at the application target,
// whose handler appends it to the transfer log on the main thread. Posting never blocks
// the task and keeps the lines of one task in their order.

#include <cstdint>
#include <string>

#include "platform/runtime/clock.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/status.h"
#include "platform/values/fourcc.h"

namespace util {

// The class of the application's own events (the application signature).
inline constexpr values::FourCharCode kEventClassApplication = values::FourCC("Truv");
// A line of text for the transfer log; the text is the direct parameter ("----", string).
inline constexpr std::uint32_t kEventAppLogMessage = 1025;

// Posts `message` for the transfer log, from any thread, at standard priority. kParamErr
// when the main thread no longer takes events (the line is dropped).
runtime::Status PostLogMessageEvent(std::string message);

// The text of a log-line event; nothing for another event.
const std::string* LogMessageOfEvent(const runtime::Event& event);

// Runs the calling task's event loop: each event goes to its 'ptrg' target, events
// without one are dropped, until QuitCurrentEventLoop; returns kEventLoopQuitErr.
using runtime::QuitCurrentEventLoop;
using runtime::RunNestedEventLoop;

// Blocks the calling task for `duration`: positive values count milliseconds, negative
// values microseconds.
void DelayCurrentTask(std::int32_t duration);

}  // namespace util
