// Day changes through an injected wall clock and a fake up-time clock: midnight, clock
// jumps both ways and wakes from sleep each post once, or not at all within the day.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "app/queue/smartfolders/date_notifier.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/date_time.h"

namespace queue {
namespace {

constexpr double kDay = 86400;

class DateNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zone_ = std::make_unique<values::ScopedDefaultTimeZone>(*values::TimeZone::Named("Europe/Berlin"));
    wall_ = std::make_shared<values::ManualClock>(At(2026, 3, 11, 23, 59, 59));
    use_ = std::make_unique<values::ScopedClock>(wall_);
  }
  void TearDown() override {
    notifier_.reset();
    use_.reset();
    zone_.reset();
  }

  static double At(int y, int mo, int d, int h, int mi, int s) {
    return values::AssembleDate({y, mo, d, h, mi, double(s)});
  }

  void Make() {
    notifier_ = std::make_unique<TRDateNotifier>(runtime::RunLoop::Current());
    subscription_ = notifier_->notificationCenter().AddObserver(
        kDateHasChangedNotification, {}, [this](const runtime::Notification&) { ++posts_; });
  }

  std::unique_ptr<values::ScopedDefaultTimeZone> zone_;
  std::shared_ptr<values::ManualClock> wall_;
  std::unique_ptr<values::ScopedClock> use_;
  std::unique_ptr<TRDateNotifier> notifier_;
  runtime::Subscription subscription_;
  int posts_ = 0;
};

TEST_F(DateNotifierTest, MidnightTimerFiresOncePostsAndAimsAtTheNextMidnight) {
  runtime::ScopedFakeClock uptime;
  Make();
  EXPECT_EQ(notifier_->midnight(), At(2026, 3, 11, 0, 0, 0));
  EXPECT_EQ(notifier_->TimerFireDate() - runtime::UpTime(), std::chrono::seconds(1));
  runtime::RunLoop::Current()->PerformPass();
  EXPECT_EQ(posts_, 0);
  wall_->Advance(1);
  uptime.Advance(std::chrono::seconds(1));
  runtime::RunLoop::Current()->PerformPass();
  EXPECT_EQ(posts_, 1);
  EXPECT_EQ(notifier_->midnight(), At(2026, 3, 12, 0, 0, 0));
  EXPECT_EQ(notifier_->TimerFireDate() - runtime::UpTime(), std::chrono::hours(24));
  runtime::RunLoop::Current()->PerformPass();
  EXPECT_EQ(posts_, 1);
}

TEST_F(DateNotifierTest, ClockChangesPostOnlyWhenTheDayMoves) {
  wall_->Set(At(2026, 3, 11, 10, 0, 0));
  Make();
  struct Step {
    double to;
    int posts;
  } const steps[] = {
      {At(2026, 3, 11, 11, 0, 0), 0},  // forward one hour within the day
      {At(2026, 3, 13, 11, 0, 0), 1},  // forward two days
      {At(2026, 3, 12, 9, 0, 0), 2},   // back to yesterday
      {At(2026, 3, 12, 0, 0, 0), 2},   // back within the same day
  };
  for (const auto& s : steps) {
    wall_->Set(s.to);
    notifier_->userChangedDateTime();
    EXPECT_EQ(posts_, s.posts);
    EXPECT_EQ(notifier_->midnight(), values::DayStart(s.to));
  }
}

TEST_F(DateNotifierTest, WakingPastMidnightPostsOnce) {
  wall_->Set(At(2026, 3, 11, 22, 0, 0));
  Make();
  wall_->Set(At(2026, 3, 11, 23, 0, 0));
  notifier_->wokeFromSleep();
  EXPECT_EQ(posts_, 0);
  wall_->Set(At(2026, 3, 12, 9, 0, 0));
  notifier_->wokeFromSleep();
  EXPECT_EQ(posts_, 1);
  EXPECT_EQ(notifier_->midnight(), At(2026, 3, 12, 0, 0, 0));
  // The timer is aimed at the coming midnight again, from the wall clock.
  EXPECT_NEAR(std::chrono::duration<double>(notifier_->TimerFireDate() - runtime::UpTime()).count(),
              15 * 3600, 1);
}

TEST_F(DateNotifierTest, ALateTimerStillLandsOnTheFirstMidnightAfterNow) {
  Make();
  wall_->Set(At(2026, 3, 14, 8, 0, 0));  // the loop was held up for days
  notifier_->midnightReached();
  EXPECT_EQ(posts_, 1);
  EXPECT_EQ(notifier_->nextMidnight(), At(2026, 3, 15, 0, 0, 0));
}

TEST_F(DateNotifierTest, ADaylightSavingDayIsOneCalendarDay) {
  wall_->Set(At(2026, 3, 28, 23, 59, 59));  // the night clocks go forward in Berlin
  Make();
  wall_->Set(At(2026, 3, 29, 0, 0, 0));
  notifier_->midnightReached();
  EXPECT_EQ(notifier_->nextMidnight(), At(2026, 3, 30, 0, 0, 0));
  EXPECT_EQ(notifier_->midnight(), At(2026, 3, 29, 0, 0, 0));
  EXPECT_EQ(notifier_->nextMidnight() - notifier_->midnight(), kDay - 3600);
}

}  // namespace
}  // namespace queue
