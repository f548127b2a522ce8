#pragma once
// Wall-clock time as the program counts it: seconds since 2001-01-01 00:00:00 GMT, as a
// double (the property-list epoch of values::Date), read through one process-wide clock
// that tests replace.
//
//   values::AbsoluteTime t = values::Now();
//
//   auto clock = std::make_shared<values::ManualClock>(values::AbsoluteTime{86400.0});
//   values::ScopedClock use(clock);   // Now() reads `clock` until `use` goes out of scope
//   clock->Advance(3600);
//
// Setting and reading the clock are thread-safe; a ManualClock may be moved from one thread
// while others read it. Elapsed-time measurement (time-outs, rates) belongs to the
// monotonic up-time clock of the runtime layer, not to this one: the wall clock jumps
// when the user sets it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace values {

using AbsoluteTime = double;

// Seconds between the Unix epoch and 2001-01-01 (also values::kSecondsFrom1970To2001).
inline constexpr double kAbsoluteTimeIntervalSince1970 = 978307200.0;
// Seconds between 1904-01-01 and 2001-01-01, both GMT: the classic epoch of day keys and
// long date-times.
inline constexpr std::int64_t kSecondsFrom1904To2001 = 3061152000;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual AbsoluteTime Now() const = 0;
};

// The system's real-time clock.
class SystemClock final : public Clock {
 public:
  AbsoluteTime Now() const override;
};

// A clock that stands still until told otherwise.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(AbsoluteTime start = 0) : now_(start) {}
  AbsoluteTime Now() const override { return now_.load(); }
  void Set(AbsoluteTime t) { now_.store(t); }
  void Advance(double seconds);

 private:
  std::atomic<double> now_;
};

// The current time from the process-wide clock.
AbsoluteTime Now();

// Replaces the process-wide clock; nullptr restores the system clock.
void SetClock(std::shared_ptr<const Clock> clock);
std::shared_ptr<const Clock> CurrentClock();

// Installs a clock for the lifetime of the object and restores the previous one after.
class ScopedClock {
 public:
  explicit ScopedClock(std::shared_ptr<const Clock> clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  std::shared_ptr<const Clock> previous_;
};

// Conversions between the program's time and other counts of time.
inline AbsoluteTime AbsoluteTimeFromUnix(double unix_seconds) {
  return unix_seconds - kAbsoluteTimeIntervalSince1970;
}
inline double UnixFromAbsoluteTime(AbsoluteTime t) {
  return t + kAbsoluteTimeIntervalSince1970;
}
AbsoluteTime AbsoluteTimeFromTimePoint(std::chrono::system_clock::time_point tp);
std::chrono::system_clock::time_point TimePointFromAbsoluteTime(AbsoluteTime t);

// Seconds since 1904-01-01 00:00:00 GMT. The conversion is a fixed offset: the 1904 count
// is read as GMT, so a local day start converts to the same instant both ways. Fractions
// are cut toward zero (as the platform's whole-second conversions do).
inline AbsoluteTime AbsoluteTimeFrom1904Seconds(std::int64_t seconds) {
  return static_cast<AbsoluteTime>(seconds - kSecondsFrom1904To2001);
}
std::int64_t SecondsSince1904(AbsoluteTime t);

}  // namespace values
