#include "app/queue/smartfolders/date_notifier.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/values/date_time.h"

namespace queue {
namespace {

constexpr double kDay = 86400;
// How often the wake check samples the sleep counter; a wake is seen within this time.
constexpr auto kWakeCheckInterval = std::chrono::seconds(30);
// Less than this much sleep is timer noise, not a sleep.
constexpr double kMinimumSleep = 2;

double SleptSeconds() {
  timespec boot{}, mono{};
  ::clock_gettime(CLOCK_BOOTTIME, &boot);
  ::clock_gettime(CLOCK_MONOTONIC, &mono);
  return static_cast<double>(boot.tv_sec - mono.tv_sec) +
         static_cast<double>(boot.tv_nsec - mono.tv_nsec) / 1e9;
}

// Kept until the process ends, never destroyed at exit: its timers belong to the main run
// loop, whose own statics may already be gone by then.
std::unique_ptr<TRDateNotifier>& SharedSlot() {
  static auto* shared = new std::unique_ptr<TRDateNotifier>();
  return *shared;
}

}  // namespace

TRDateNotifier& TRDateNotifier::sharedInstance() {
  auto& slot = SharedSlot();
  if (!slot) slot = std::make_unique<TRDateNotifier>(runtime::RunLoop::Main());
  return *slot;
}

runtime::NotificationCenter& TRDateNotifier::sharedNotificationCenter() {
  return sharedInstance().notificationCenter();
}

void TRDateNotifier::ResetSharedInstance() {
  SharedSlot().reset();
}

TRDateNotifier::TRDateNotifier(std::shared_ptr<runtime::RunLoop> loop)
    : loop_(std::move(loop)), center_(runtime::NotificationCenter::Create()) {
  sleptSeconds_ = SleptSeconds();
  recalculateNextMidnight();
  ScheduleTimer();
  WatchClockSet();
  wakeCheck_ = runtime::Timer::Create(kWakeCheckInterval, kWakeCheckInterval,
                                      [this](runtime::Timer&) { CheckForWake(); });
  loop_->AddTimer(wakeCheck_);
}

TRDateNotifier::~TRDateNotifier() {
  if (dateChangeTimer_) dateChangeTimer_->Invalidate();
  if (wakeCheck_) wakeCheck_->Invalidate();
  if (clockSetWatch_) loop_->RemoveWatch(clockSetWatch_);
  if (clockSetFd_ >= 0) ::close(clockSetFd_);
}

values::AbsoluteTime TRDateNotifier::midnight() const {
  // One calendar day back, not 86400 s: on the day clocks change, today is 23 or 25 hours
  // long, and "today" must still begin at today's midnight.
  return values::AddDays(nextMidnight_, -1, values::DefaultTimeZone());
}

void TRDateNotifier::postNotification() {
  center_->Post(kDateHasChangedNotification);
}

void TRDateNotifier::recalculateNextMidnight() {
  const auto zone = values::DefaultTimeZone();
  nextMidnight_ = values::AddDays(values::DayStart(values::Now(), zone), 1, zone);
}

void TRDateNotifier::ScheduleTimer() {
  if (dateChangeTimer_) dateChangeTimer_->Invalidate();
  const double seconds = std::max(0.0, nextMidnight_ - values::Now());
  dateChangeTimer_ = runtime::Timer::Create(
      std::chrono::duration_cast<runtime::Nanoseconds>(std::chrono::duration<double>(seconds)),
      runtime::Nanoseconds(0), [this](runtime::Timer&) { midnightReached(); });
  loop_->AddTimer(dateChangeTimer_);
}

runtime::Nanoseconds TRDateNotifier::TimerFireDate() const {
  return dateChangeTimer_ ? dateChangeTimer_->NextFireDate() : runtime::kForever;
}

void TRDateNotifier::midnightReached() {
  // The next day's start in the calendar (not plus 86400 s: a daylight-saving day is
  // 23 or 25 hours long).
  const auto zone = values::DefaultTimeZone();
  nextMidnight_ = values::AddDays(nextMidnight_, 1, zone);
  // A timer that fires late (the loop was busy, or the clock was set) still ends up aimed
  // at the first midnight after now.
  if (nextMidnight_ <= values::Now()) recalculateNextMidnight();
  ScheduleTimer();
  postNotification();
}

void TRDateNotifier::wokeFromSleep() {
  if (values::Now() > nextMidnight_) {
    recalculateNextMidnight();
    postNotification();
  }
  ScheduleTimer();
}

void TRDateNotifier::userChangedDateTime() {
  const values::AbsoluteTime now = values::Now();
  const bool dayMoved = now > nextMidnight_ || now < nextMidnight_ - kDay;
  recalculateNextMidnight();
  if (dayMoved) postNotification();
  ScheduleTimer();
}

void TRDateNotifier::WatchClockSet() {
  clockSetFd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (clockSetFd_ < 0) return;
  // An absolute timer far in the future that the kernel cancels (ECANCELED on read) the
  // moment the real-time clock is set.
  const auto arm = [fd = clockSetFd_] {
    itimerspec spec{};
    spec.it_value.tv_sec = std::numeric_limits<time_t>::max() / 2;
    ::timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr);
  };
  arm();
  clockSetWatch_ = loop_->AddWatch(clockSetFd_, runtime::kReadable, [this, arm](unsigned) {
    std::uint64_t expirations = 0;
    const ssize_t n = ::read(clockSetFd_, &expirations, sizeof expirations);
    if (n < 0 && errno == ECANCELED) {
      arm();
      userChangedDateTime();
    }
  });
}

void TRDateNotifier::CheckForWake() {
  const double slept = SleptSeconds();
  const bool woke = slept - sleptSeconds_ >= kMinimumSleep;
  sleptSeconds_ = slept;
  if (woke) wokeFromSleep();
}

}  // namespace queue
