#pragma once
// The application object. There is one per process, made on the main thread before any
// window: it owns the Qt application (Qt Widgets), chooses the off-screen platform when
// no display is set (headless runs and tests), and drives the main thread's run loop
// from Qt's event loop, so that timers, sources and posted events of the runtime layer
// run while windows are shown.

#include <cstdint>
#include <functional>
#include <memory>

namespace toolbox {

class Presenter;

class Application {
 public:
  // The application, made on first use (on the main thread).
  static Application& Shared();
  // Whether Shared() has been called.
  static bool Exists();

  // True when running on the off-screen platform (no display).
  bool IsOffscreen() const;

  // Runs Qt's event loop (and with it the main run loop) until QuitEventLoop(); returns
  // at once when a quit was asked for before. Nested calls are allowed (modal loops).
  // runtime::RunApplicationEventLoop and runtime::QuitApplicationEventLoop come here
  // once the application exists.
  void RunEventLoop();
  // Ends the innermost RunEventLoop. Any thread.
  void QuitEventLoop();
  bool IsRunningEventLoop() const;

  // Modal runs (a sheet or an alert waiting for its answer): Qt's loop run nested - it
  // drives the main run loop, so timers, sources and posted events keep being served -
  // until EndModalLoop with the run's id. The runtime's own nested loop cannot stand in
  // here: on the main thread it would wait on the run loop alone and starve the window
  // system. QuitEventLoop never ends a modal run: it ends the application loop around
  // it once the modal run has returned. A run whose end came before it started returns
  // at once.
  using ModalLoopID = std::uint64_t;
  ModalLoopID NewModalLoop();
  void RunModalLoop(ModalLoopID id);
  void EndModalLoop(ModalLoopID id);
  bool IsInModalLoop() const;

  // Whether one of the application's windows is the active window of the desktop.
  bool IsFrontmost() const;
  // Asks for the user's attention (the task-bar entry is marked) until the application
  // comes to the front; nothing when it is in front.
  void RequestAttention();
  // Handles what is pending in Qt's queue and the main run loop, without waiting (tests).
  void ProcessPendingEvents();

  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  ~Application();

 private:
  Application();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace toolbox
