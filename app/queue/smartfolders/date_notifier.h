#pragma once
// Tells the rules that compare dates with "today" that the local day changed.
//
// One shared notifier keeps `nextMidnight`, the start of tomorrow in the default time
// zone, and exactly one one-shot timer on the main run loop aimed at it. It posts
// "TRDateHasChanged" (no object) on a notification centre of its own:
//   - when the timer fires (local midnight);
//   - after a wake from sleep, when the machine slept past nextMidnight;
//   - after the wall clock was set so that "today" moved (forward past nextMidnight or
//     back before today's start); a change within the same day only re-aims the timer.
//
// Timers run on the up-time clock, which stands still while the machine sleeps and never
// jumps, so the timer's delay is re-derived from the wall clock at every event. A clock
// set is seen through a timerfd with TFD_TIMER_CANCEL_ON_SET; a wake through the growth
// of CLOCK_BOOTTIME over CLOCK_MONOTONIC, sampled by a slow timer.
//
// Main thread only; observers run synchronously inside the post.

#include <memory>
#include <string>

#include "platform/runtime/notification_center.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/clock.h"

namespace queue {

inline constexpr const char kDateHasChangedNotification[] = "TRDateHasChanged";

class TRDateNotifier {
 public:
  // Created on first use, on the main run loop; kept until quit.
  static TRDateNotifier& sharedInstance();
  static runtime::NotificationCenter& sharedNotificationCenter();
  // Drops the shared instance (tests: a new one reads the clock in force).
  static void ResetSharedInstance();

  explicit TRDateNotifier(std::shared_ptr<runtime::RunLoop> loop);
  ~TRDateNotifier();
  TRDateNotifier(const TRDateNotifier&) = delete;
  TRDateNotifier& operator=(const TRDateNotifier&) = delete;

  // The start of the current day: nextMidnight one calendar day back.
  values::AbsoluteTime midnight() const;
  values::AbsoluteTime nextMidnight() const { return nextMidnight_; }
  runtime::NotificationCenter& notificationCenter() { return *center_; }

  void postNotification();
  // The wall clock was set.
  void userChangedDateTime();
  // The machine woke from sleep.
  void wokeFromSleep();
  // The timer fired.
  void midnightReached();
  // The pending timer's fire date on the up-time clock (tests).
  runtime::Nanoseconds TimerFireDate() const;

 private:
  void recalculateNextMidnight();
  void ScheduleTimer();
  void WatchClockSet();
  void CheckForWake();

  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::NotificationCenter> center_;
  std::shared_ptr<runtime::Timer> dateChangeTimer_;
  std::shared_ptr<runtime::Timer> wakeCheck_;
  std::shared_ptr<runtime::DescriptorWatch> clockSetWatch_;
  int clockSetFd_ = -1;
  values::AbsoluteTime nextMidnight_ = 0;
  double sleptSeconds_ = 0;  // CLOCK_BOOTTIME minus CLOCK_MONOTONIC at the last sample
};

}  // namespace queue
