#pragma once
// Event queues and event loops. Every thread has one event queue, made with its run
// loop (`EventQueue::Current()`); the main thread's is `EventQueue::Main()`. Any thread
// may post an event to any queue, with a priority: high events are taken before
// standard ones, standard before low, and in posting order within a priority. Posting
// wakes the queue's run loop.
//
// Queued events are taken in one of two ways, both on the queue's own thread and both
// while its run loop runs (so timers, sources and watches keep being served):
//   - by an event loop: `RunApplicationEventLoop`, `RunNestedEventLoop`,
//     `RunCurrentEventLoop` or a bare `ReceiveNextEvent`. These take events one by one
//     and send each to its target;
//   - when no event loop is taking events, by the run loop itself, which dispatches
//     them the same way in its sources phase (this is how the main thread's events
//     are handled while Qt drives the main run loop).
// An event goes to the target in its 'ptrg' parameter; without one, an event of the
// main queue goes to the application target, and any other is dropped (the nested
// loop of a task only serves targeted events).
//
// Event loops nest. Quitting (`QuitEventLoop`, `QuitCurrentEventLoop`) ends the
// innermost event loop of the queue's thread, which returns kEventLoopQuitErr; the loop
// around it goes on. A quit asked for while no event loop runs ends the next one to
// start, so a quit cannot be lost to a race with the start. `QuitApplicationEventLoop`
// ends the main thread's innermost `RunApplicationEventLoop` only (after the nested
// loops inside it have ended by themselves).

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/runtime/event.h"
#include "platform/runtime/run_loop.h"
#include "platform/runtime/status.h"

namespace runtime {

enum class EventPriority { kLow = 0, kStandard = 1, kHigh = 2 };

class EventQueue : public std::enable_shared_from_this<EventQueue> {
 public:
  static std::shared_ptr<EventQueue> Main();
  static std::shared_ptr<EventQueue> Current();

  // Any thread. kParamErr when the queue's thread has ended (the event is dropped).
  Status Post(EventRef event, EventPriority priority = EventPriority::kStandard);
  std::size_t Count() const;
  // Drops every queued event.
  void Flush();
  std::shared_ptr<RunLoop> Loop() const { return loop_.lock(); }
  bool IsMain() const { return is_main_; }

  // Made by RunLoop::Events().
  static std::shared_ptr<EventQueue> CreateFor(const std::shared_ptr<RunLoop>& loop);
  explicit EventQueue(const std::shared_ptr<RunLoop>& loop);

  // The kinds of event loop, for the loop functions of this file.
  enum class FrameKind { kApplication, kNested };

 private:
  friend Status ReceiveNextEvent(Nanoseconds timeout, EventRef& out);
  friend void QuitEventLoop(EventQueue& queue);
  friend void QuitApplicationEventLoop();
  friend class EventLoopFrame;
  struct Frame {
    FrameKind kind;
    bool quit = false;
  };

  EventRef Pop();
  bool TakeQuit();
  void DispatchPending();  // the run loop's perform when no event loop takes events

  std::weak_ptr<RunLoop> loop_;
  const bool is_main_;
  std::shared_ptr<Source> source_;
  mutable std::mutex mutex_;
  std::deque<EventRef> queued_[3];  // by priority
  std::vector<Frame> frames_;
  bool pending_quit_ = false;
  bool pending_application_quit_ = false;
  int receivers_ = 0;  // owner thread only
};

// Sends a taken event on: to its 'ptrg' target, else (main queue) the application target.
Status DispatchEvent(Event& event, bool application_fallback);

// Takes the next event of the calling thread's queue, running the run loop while
// waiting. kEventLoopTimedOutErr after `timeout` (kForever: none), kEventLoopQuitErr when
// the current event loop was told to quit.
Status ReceiveNextEvent(Nanoseconds timeout, EventRef& out);

// Runs the calling thread's event loop until quit, dispatching every event.
void RunApplicationEventLoop();
// Ends the main thread's RunApplicationEventLoop. Any thread.
void QuitApplicationEventLoop();
// Takes the calling thread's events and sends each to its 'ptrg' target (events without
// one are dropped) until quit; returns kEventLoopQuitErr.
Status RunNestedEventLoop();
// Runs an event loop for at most `timeout`: kEventLoopTimedOutErr, or kEventLoopQuitErr
// when quit first.
Status RunCurrentEventLoop(Nanoseconds timeout);
// Ends the innermost event loop of `queue`'s thread. Any thread.
void QuitEventLoop(EventQueue& queue);
void QuitCurrentEventLoop();

}  // namespace runtime
