#pragma once
// The up-time clock: nanoseconds since boot on CLOCK_MONOTONIC (it does not move while
// the machine sleeps and never jumps when the wall clock is set). Every timed thing of
// the runtime (run-loop timers, queue timers, timed waits, delays) reads this one clock,
// so a test can replace it with a `FakeClock` and move time by hand.
//
// Under a fake clock, waiting for a deadline ends only when the fake time reaches it:
// run loops are woken when the clock moves; other timed waits look at it every
// millisecond of real time. A test that waits under a fake clock must move it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace runtime {

using Nanoseconds = std::chrono::nanoseconds;

// "No deadline": waits without a time-out, timers that are not armed.
inline constexpr Nanoseconds kForever = Nanoseconds::max();

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Nanoseconds UpTime() const = 0;
  // True for the system clock, whose deadlines the kernel can wait for (timerfd,
  // clock_nanosleep, condition variables on the steady clock).
  virtual bool IsSystemClock() const { return false; }
};

// The clock in force (the system clock unless a test set another).
const Clock& CurrentClock();
Nanoseconds UpTime();
double UpTimeSeconds();

// Adds without overflowing into the past: UpTime() + kForever stays kForever.
Nanoseconds DeadlineAfter(Nanoseconds delay);

// A clock that moves only when told. Moving it wakes every run loop, so their timers fire.
class FakeClock : public Clock {
 public:
  explicit FakeClock(Nanoseconds start = std::chrono::hours(1)) : now_(start.count()) {}
  Nanoseconds UpTime() const override { return Nanoseconds(now_.load()); }
  void Advance(Nanoseconds by);
  void Set(Nanoseconds to);

 private:
  std::atomic<std::int64_t> now_;
};

// Puts a fake clock in force for its lifetime (tests). Not nestable across threads.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(Nanoseconds start = std::chrono::hours(1));
  ~ScopedFakeClock();
  ScopedFakeClock(const ScopedFakeClock&) = delete;
  ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;
  FakeClock& clock() { return clock_; }
  void Advance(Nanoseconds by) { clock_.Advance(by); }

 private:
  FakeClock clock_;
  const Clock* previous_;
};

// Blocks the calling thread until the up-time reaches `deadline`, or for `delay`.
void DelayUntil(Nanoseconds deadline);
void DelayFor(Nanoseconds delay);

// A duration in the platform's convention: positive values count milliseconds, negative
// values microseconds.
Nanoseconds DurationToNanoseconds(std::int32_t duration);

// Waits on `cv` until `pred()` holds or the clock reaches `deadline`; returns pred().
// `lock` must hold the mutex that guards what `pred` reads.
template <class Pred>
bool WaitUntilUpTime(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Nanoseconds deadline,
                     Pred pred) {
  if (deadline == kForever) {
    cv.wait(lock, pred);
    return true;
  }
  const Clock& clock = CurrentClock();
  if (clock.IsSystemClock()) {
    // libstdc++'s steady clock is CLOCK_MONOTONIC, the same origin as UpTime().
    return cv.wait_until(lock,
                         std::chrono::steady_clock::time_point(
                             std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline)),
                         pred);
  }
  while (!pred()) {
    if (CurrentClock().UpTime() >= deadline) return false;
    cv.wait_for(lock, std::chrono::milliseconds(1));
  }
  return true;
}

namespace internal {
// Called (on the moving thread) each time a fake clock moves. Listeners must be quick
// and must not move the clock themselves.
std::uint64_t AddClockListener(std::function<void()> listener);
void RemoveClockListener(std::uint64_t id);
}  // namespace internal

}  // namespace runtime
