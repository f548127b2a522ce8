#pragma once
// The application's life on the main thread, from process start to exit.
//
// Start-up is strictly sequential and its order matters: the shared state exists before
// any code that uses it; the settings are loaded before the queue; the event handlers are
// installed before any window; the launch events are taken (a 0.1 s event loop, then the
// event the program was started with) before anything starts; and the queues are marked
// ready only after that, so a start asked for by a launch event is recorded and honoured
// when start-up decides what runs. Then the periodic timers are armed, the transfer log
// says "Application startup successful", and the application's event loop runs until a
// quit ends it. The quit sequence saves the window state, stops the transfers and writes
// every data file (shutdown.h), then the settings.
//
// One copy per user: the first thing start-up does is to claim the event socket. When
// another copy answers there, this one hands it the event it was started with (or asks
// it to come forward) and ends without touching the settings or the queue.
//
// Every step names itself to an optional observer, so tests can hold the order of the
// steps against the order of their effects.

#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "app/queue/folders/view_ids.h"

namespace shell {

// Start-up flags.
extern bool gLaunching;  // while the launch events are taken
extern queue::ViewID gCurrentViewID;

// Raises the soft limit of `resource` to `wanted` when it is below, never above the hard
// limit and never lowering either limit (the processes limit counts every thread of the
// user's session: lowering it would make thread creation fail). The soft limit after.
rlim_t RaiseSoftLimit(int resource, rlim_t wanted);
// Open files to 1200 and processes to 300, soft limits only; failures are ignored.
void RaiseProcessLimits();

// The view shown first: "lastfolder" when it names a folder of the folder table, else My
// Downloads (also for 0 or none).
queue::ViewID ChooseCurrentView(std::optional<std::int64_t> lastFolder);

struct ShellSession;

enum class StartupOutcome {
  kStarted,    // the main loop may run
  kForwarded,  // another copy runs; its answer was passed on, this one ends
  kFailed,     // the event socket could not be set up
};

class Shell {
 public:
  Shell();
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  StartupOutcome StartUp();
  // Runs the application's event loop until quit.
  void RunMainLoop();
  // Saves and stops everything; the process may end afterwards.
  void Quit();

 private:
  std::unique_ptr<ShellSession> session_;
};

// The whole life: start-up, main loop, quit. The process's exit status.
int AppMain(int argc, char** argv);

// Tests: told the name of each step as it begins (nullptr: nobody).
void SetStartupStepObserver(std::function<void(std::string_view step)> observer);

}  // namespace shell
