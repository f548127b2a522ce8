#pragma once
// The run loop: one per thread, the place where everything that happens to a thread
// is called back on that thread.
//
// A loop holds four kinds of things, all reached by shared pointers that the caller
// keeps:
//   - timers, one-shot or repeating, by up-time fire date (a one-shot timer stays on
//     the loop after firing, unarmed, until removed; setting its next fire date arms it
//     again);
//   - sources, signalled from any thread and performed once on the loop however many
//     signals came in between (signals coalesce);
//   - descriptor watches, called when a descriptor is readable or writable
//     (level-triggered: a watch whose descriptor stays ready is called every pass);
//   - observers, called at points of each pass (before timers, before sources...).
// Closures handed to `Perform` from any thread run once, in the sources phase.
//
// One pass: observers "before timers", the due timers in fire-date order, observers
// "before sources", the queued closures and the signalled sources, then (when nothing
// is pending and the caller allows it) a wait in epoll for descriptors, the wake-up
// eventfd or the timerfd armed for the earliest timer, and the watches that are ready.
//
// A loop is run on its own thread: directly (`Run`, `RunFor` - headless runs, tasks,
// tests), or from another event loop that watches `EpollDescriptor()` for readability
// and then calls `PerformPass()` (Qt's loop on the main thread). The descriptor becomes
// readable whenever a pass has work: a signal, a closure, a ready watch, a due timer.
//
// Callbacks run without any lock of the loop held; they may add and remove anything,
// run the loop again (nested), or stop it. While a callback runs, its own timer or
// watch is not called again by a nested run.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/runtime/unique_fd.h"

namespace runtime {

class RunLoop;
class EventQueue;
namespace internal {
struct CurrentLoopHolder;
}

enum class RunResult {
  kFinished,       // the loop has no timers, sources or watches
  kStopped,        // Stop() was called
  kTimedOut,       // the time slice has passed
  kHandledSource,  // a source, closure or watch was handled and the caller asked to return then
};

// Points of a pass at which observers are called; combine as bits.
enum RunLoopActivity : unsigned {
  kActivityEntry = 1u << 0,
  kActivityBeforeTimers = 1u << 1,
  kActivityBeforeSources = 1u << 2,
  kActivityBeforeWaiting = 1u << 5,
  kActivityAfterWaiting = 1u << 6,
  kActivityExit = 1u << 7,
};

class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Callback = std::function<void(Timer&)>;

  // First fires `first_delay` from now, then every `interval` (0: once).
  static std::shared_ptr<Timer> Create(Nanoseconds first_delay, Nanoseconds interval, Callback callback);
  // First fires at the up-time `fire_date`.
  static std::shared_ptr<Timer> CreateAt(Nanoseconds fire_date, Nanoseconds interval, Callback callback);

  // Moves the next firing (also from its own callback, also to re-arm a one-shot timer
  // that has fired). Any thread.
  void SetNextFireDate(Nanoseconds up_time);
  void SetNextFireIn(Nanoseconds delay);
  // kForever when not armed.
  Nanoseconds NextFireDate() const { return Nanoseconds(fire_ns_.load()); }
  Nanoseconds Interval() const { return interval_; }
  bool IsRepeating() const { return interval_.count() > 0; }
  // Removes the timer from its loop for good.
  void Invalidate();
  bool IsValid() const { return valid_.load(); }

  Timer(Nanoseconds fire_date, Nanoseconds interval, Callback callback);

 private:
  friend class RunLoop;
  std::shared_ptr<RunLoop> Loop() const;

  std::atomic<std::int64_t> fire_ns_;
  const Nanoseconds interval_;
  Callback callback_;
  std::atomic<bool> valid_{true};
  bool firing_ = false;  // owner thread only
  mutable std::mutex mutex_;
  std::weak_ptr<RunLoop> loop_;
};

class Source : public std::enable_shared_from_this<Source> {
 public:
  using Perform = std::function<void()>;
  // Sources of one loop are performed by ascending `order`.
  static std::shared_ptr<Source> Create(Perform perform, int order = 0);

  // Any thread. Marks the source and wakes its loop; several signals before the loop
  // gets to it make one perform. A source signalled before it is added is performed
  // once it is.
  void Signal();
  bool IsSignalled() const { return signalled_.load(); }
  // Removes the source from its loop for good; a pending signal is dropped.
  void Invalidate();
  bool IsValid() const { return valid_.load(); }
  int order() const { return order_; }

  Source(Perform perform, int order);

 private:
  friend class RunLoop;
  Perform perform_;
  const int order_;
  std::atomic<bool> signalled_{false};
  std::atomic<bool> valid_{true};
  mutable std::mutex mutex_;
  std::weak_ptr<RunLoop> loop_;
};

// What a descriptor watch asks for and what it is told; combine as bits.
enum Readiness : unsigned {
  kReadable = 1u << 0,
  kWritable = 1u << 1,
  kHangup = 1u << 2,  // error or hang-up; told with the asked-for bits, so that the read or write sees it
};

class DescriptorWatch {
 public:
  using Callback = std::function<void(unsigned readiness)>;

  int descriptor() const { return fd_; }
  // Any mix of kReadable and kWritable; 0 pauses the watch. kHangup alone (or with
  // kWritable) hears of errors and hang-ups without the descriptor's input.
  void SetInterest(unsigned interest);
  unsigned Interest() const { return interest_.load(); }
  // Stops watching. Cancel before closing the descriptor.
  void Cancel();
  bool IsActive() const { return active_.load(); }

  DescriptorWatch(int fd, unsigned interest, Callback callback, std::uint64_t id);

 private:
  friend class RunLoop;
  const int fd_;
  std::atomic<unsigned> interest_;
  Callback callback_;
  const std::uint64_t id_;
  std::atomic<bool> active_{true};
  // Owner thread only, under the loop's mutex for the epoll registration.
  bool registered_ = false;
  bool in_callback_ = false;
  bool suspended_ = false;
  std::weak_ptr<RunLoop> loop_;
};

class Observer {
 public:
  using Callback = std::function<void(RunLoopActivity)>;
  void Cancel();
  bool IsActive() const { return active_.load(); }

  Observer(unsigned activities, Callback callback, bool repeats, int order)
      : activities_(activities), callback_(std::move(callback)), repeats_(repeats), order_(order) {}

 private:
  friend class RunLoop;
  const unsigned activities_;
  Callback callback_;
  const bool repeats_;
  const int order_;
  std::atomic<bool> active_{true};
  std::weak_ptr<RunLoop> loop_;
};

class RunLoop : public std::enable_shared_from_this<RunLoop> {
 public:
  // The calling thread's loop, made on first use; it lives as long as the thread (or
  // longer, while someone holds it).
  static std::shared_ptr<RunLoop> Current();
  // The loop of the process's main thread (any thread may ask for it).
  static std::shared_ptr<RunLoop> Main();

  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  bool IsCurrent() const;
  bool IsMain() const { return is_main_; }

  // Adding and removing are allowed from any thread.
  void AddTimer(const std::shared_ptr<Timer>& timer);
  void RemoveTimer(const std::shared_ptr<Timer>& timer);
  void AddSource(const std::shared_ptr<Source>& source);
  void RemoveSource(const std::shared_ptr<Source>& source);
  // Watches `fd`; nullptr when the descriptor cannot be watched (or is watched already).
  std::shared_ptr<DescriptorWatch> AddWatch(int fd, unsigned interest, DescriptorWatch::Callback callback);
  void RemoveWatch(const std::shared_ptr<DescriptorWatch>& watch);
  // `activities` is a mix of RunLoopActivity bits; lower `order` is called first; a
  // non-repeating observer is removed after its first call.
  std::shared_ptr<Observer> AddObserver(unsigned activities, Observer::Callback callback, bool repeats = true,
                                        int order = 0);
  void RemoveObserver(const std::shared_ptr<Observer>& observer);
  // Runs `closure` once on this loop, from any thread.
  void Perform(std::function<void()> closure);

  // Runs until stopped or until nothing is left on the loop.
  RunResult Run();
  // Runs for at most `slice` (0: one pass without waiting).
  RunResult RunFor(Nanoseconds slice, bool return_after_source_handled = false);
  // One pass without waiting, for an outside event loop: kHandledSource when anything
  // was handled, kTimedOut when not.
  RunResult PerformPass();
  // Any thread: the innermost Run/RunFor returns kStopped (the next one, when none is
  // running).
  void Stop();
  // Any thread: ends a wait of the loop without handling anything.
  void WakeUp();
  // Readable whenever a pass has work.
  int EpollDescriptor() const { return epoll_.get(); }
  bool IsWaiting() const { return waiting_.load(); }
  // True once the loop's thread has ended (the loop may outlive it while referenced);
  // nothing on it will run again.
  bool HasThreadEnded() const { return thread_ended_.load(); }

  // The thread's event queue (made on first use); see event_queue.h.
  std::shared_ptr<EventQueue> Events();

  // Use Current()/Main(); public for make_shared. `owner` is the kernel thread id.
  RunLoop(int owner, bool is_main);

 private:
  friend class Timer;
  friend struct internal::CurrentLoopHolder;
  friend class Source;
  friend class DescriptorWatch;
  friend class Observer;

  RunResult RunUntil(Nanoseconds deadline, bool return_after_source_handled);
  // Timers and sources; true when a source or closure was performed.
  bool DoTimersAndSources();
  // Waits up to `timeout_ms` (0 polls) and calls ready watches; true when one was called.
  bool WaitAndHandle(int timeout_ms);
  void FireDueTimers();
  bool PerformSources();
  void Notify(RunLoopActivity activity);
  void UpdateTimerFd();
  void ApplyInterestLocked(DescriptorWatch& watch);
  bool HasPendingWork();
  bool IsEmpty();

  const int owner_;
  const bool is_main_;
  UniqueFd epoll_;
  UniqueFd wake_fd_;
  UniqueFd timer_fd_;
  std::uint64_t clock_listener_ = 0;

  std::mutex mutex_;
  std::vector<std::shared_ptr<Timer>> timers_;
  std::vector<std::shared_ptr<Source>> sources_;
  std::unordered_map<std::uint64_t, std::shared_ptr<DescriptorWatch>> watches_;
  std::vector<std::shared_ptr<Observer>> observers_;
  std::deque<std::function<void()>> closures_;
  std::uint64_t next_watch_id_ = 16;
  Nanoseconds armed_for_ = kForever;
  std::mutex events_mutex_;
  std::shared_ptr<EventQueue> events_;

  std::atomic<bool> wake_pending_{false};
  std::atomic<bool> stop_requested_{false};
  std::atomic<bool> waiting_{false};
  std::atomic<bool> thread_ended_{false};
  int run_depth_ = 0;  // owner thread only
};

}  // namespace runtime
