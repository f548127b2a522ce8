#include "platform/runtime/clock.h"

#include <time.h>

#include <cerrno>

#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace runtime {

namespace {

class SystemClock final : public Clock {
 public:
  Nanoseconds UpTime() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Nanoseconds(std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec);
  }
  bool IsSystemClock() const override { return true; }
};

const SystemClock kSystemClock;
std::atomic<const Clock*> gClock{&kSystemClock};

struct Listeners {
  std::mutex mutex;
  std::uint64_t next_id = 1;
  std::map<std::uint64_t, std::shared_ptr<std::function<void()>>> entries;
};

Listeners& ClockListeners() {
  static Listeners listeners;
  return listeners;
}

void NotifyClockMoved() {
  std::vector<std::shared_ptr<std::function<void()>>> copy;
  {
    Listeners& l = ClockListeners();
    std::lock_guard lock(l.mutex);
    for (auto& [id, f] : l.entries) copy.push_back(f);
  }
  for (auto& f : copy) (*f)();
}

}  // namespace

const Clock& CurrentClock() {
  return *gClock.load(std::memory_order_acquire);
}
Nanoseconds UpTime() {
  return CurrentClock().UpTime();
}
double UpTimeSeconds() {
  return std::chrono::duration<double>(UpTime()).count();
}

Nanoseconds DeadlineAfter(Nanoseconds delay) {
  const Nanoseconds now = UpTime();
  if (delay >= kForever - now) return kForever;
  return now + delay;
}

void FakeClock::Advance(Nanoseconds by) {
  now_.fetch_add(by.count());
  NotifyClockMoved();
}

void FakeClock::Set(Nanoseconds to) {
  now_.store(to.count());
  NotifyClockMoved();
}

ScopedFakeClock::ScopedFakeClock(Nanoseconds start) : clock_(start), previous_(gClock.exchange(&clock_)) {
  NotifyClockMoved();
}

ScopedFakeClock::~ScopedFakeClock() {
  gClock.store(previous_);
  NotifyClockMoved();
}

void DelayUntil(Nanoseconds deadline) {
  const Clock& clock = CurrentClock();
  if (clock.IsSystemClock()) {
    if (deadline == kForever) deadline = Nanoseconds(std::int64_t{1} << 62);
    timespec ts{static_cast<time_t>(deadline.count() / 1'000'000'000),
                static_cast<long>(deadline.count() % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
    return;
  }
  while (CurrentClock().UpTime() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void DelayFor(Nanoseconds delay) {
  DelayUntil(DeadlineAfter(delay));
}

Nanoseconds DurationToNanoseconds(std::int32_t duration) {
  if (duration >= 0) return std::chrono::milliseconds(duration);
  return std::chrono::microseconds(-static_cast<std::int64_t>(duration));
}

namespace internal {

std::uint64_t AddClockListener(std::function<void()> listener) {
  Listeners& l = ClockListeners();
  std::lock_guard lock(l.mutex);
  const std::uint64_t id = l.next_id++;
  l.entries.emplace(id, std::make_shared<std::function<void()>>(std::move(listener)));
  return id;
}

void RemoveClockListener(std::uint64_t id) {
  Listeners& l = ClockListeners();
  std::lock_guard lock(l.mutex);
  l.entries.erase(id);
}

}  // namespace internal

}  // namespace runtime
