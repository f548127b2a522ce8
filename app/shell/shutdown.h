#pragma once
// Ending the program's work: stop every running transfer and write the data files. Called
// by the quit sequence (startup.h) and by the updater's restart hook.
//
// The queue file is written before the wait for the running transfers, not after it: the
// wait may be long (a download ends only when its task has stopped), and a task
// stuck in a system call would otherwise keep every queue change since the last autosave
// hostage until the user kills the program. It is written again after the wait when the
// stopping downloads changed it meanwhile.

#include <functional>

#include "platform/runtime/clock.h"

namespace shell {

// The step of the wait for running transfers, and how long the wait may last at most.
inline constexpr runtime::Nanoseconds kShutdownPollInterval = std::chrono::milliseconds(200);
inline constexpr runtime::Nanoseconds kShutdownWaitLimit = std::chrono::seconds(60);

void Shutdown();

// The sleep between two looks at the transfer counters (runtime::DelayFor unless a test
// sets another); nullptr puts the real one back.
void SetShutdownDelay(std::function<void(runtime::Nanoseconds)> delay);

}  // namespace shell
