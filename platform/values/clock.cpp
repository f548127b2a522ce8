#include "platform/values/clock.h"

#include <cmath>
#include <mutex>

namespace values {

namespace {

std::mutex gClockLock;
std::shared_ptr<const Clock>& ClockSlot() {
  static std::shared_ptr<const Clock> slot = std::make_shared<SystemClock>();
  return slot;
}

}  // namespace

AbsoluteTime SystemClock::Now() const {
  return AbsoluteTimeFromTimePoint(std::chrono::system_clock::now());
}

void ManualClock::Advance(double seconds) {
  double current = now_.load();
  while (!now_.compare_exchange_weak(current, current + seconds)) {
  }
}

AbsoluteTime Now() {
  return CurrentClock()->Now();
}

void SetClock(std::shared_ptr<const Clock> clock) {
  if (!clock) clock = std::make_shared<SystemClock>();
  std::lock_guard lock(gClockLock);
  ClockSlot() = std::move(clock);
}

std::shared_ptr<const Clock> CurrentClock() {
  std::lock_guard lock(gClockLock);
  return ClockSlot();
}

ScopedClock::ScopedClock(std::shared_ptr<const Clock> clock) : previous_(CurrentClock()) {
  SetClock(std::move(clock));
}
ScopedClock::~ScopedClock() {
  SetClock(std::move(previous_));
}

AbsoluteTime AbsoluteTimeFromTimePoint(std::chrono::system_clock::time_point tp) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(tp.time_since_epoch()).count();
  return static_cast<double>(ns) / 1e9 - kAbsoluteTimeIntervalSince1970;
}

std::chrono::system_clock::time_point TimePointFromAbsoluteTime(AbsoluteTime t) {
  const double unix_seconds = UnixFromAbsoluteTime(t);
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::duration<double>(unix_seconds)));
}

std::int64_t SecondsSince1904(AbsoluteTime t) {
  return static_cast<std::int64_t>(std::trunc(t)) + kSecondsFrom1904To2001;
}

}  // namespace values
