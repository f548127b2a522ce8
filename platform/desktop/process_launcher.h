#pragma once
// Starting a desktop helper program (xdg-open, a sound player) without waiting for it.
//
// The program is found on PATH and started with its standard input and output on
// /dev/null, so it can never block on or scribble over the terminal of the application.
// Arguments are passed as a vector, never through a shell, so names with quotes, spaces
// or "$" reach the program exactly as they are. A thread of the launcher waits for the
// child and collects its exit status, so no zombie is left; the optional completion is
// called on that thread with the exit code (-1 when killed by a signal).

#include <functional>
#include <string>
#include <vector>

namespace desktop {

using ProcessCompletion = std::function<void(int exit_code)>;

// False when the program cannot be started (not found, no resources).
bool LaunchDetached(const std::vector<std::string>& argv, ProcessCompletion on_exit = nullptr);

// Whether a program of that name is on PATH and executable.
bool IsProgramOnPath(const std::string& name);

}  // namespace desktop
