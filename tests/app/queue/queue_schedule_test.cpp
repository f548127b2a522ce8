// The queue schedule through a manual wall clock: starts and stops in their 30-second
// window, weekly moments, the sheet's validation, the stored dictionary, and the end
// action run once through the recording system actions.
#include <gtest/gtest.h>

#include "app/queue/events/post_download_actions.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/schedule/queue_schedule.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/date_time.h"
#include "tests/app/queue/queue_test_support.h"
#include "tests/fakes/fake_system_actions.h"

namespace queue {
namespace {

class ScheduleTest : public testing_support::QueueTest {
 protected:
  void SetUp() override {
    QueueTest::SetUp();
    zone_ = std::make_unique<values::ScopedDefaultTimeZone>(*values::TimeZone::Named("Europe/Berlin"));
    // Wednesday 2026-03-11, 10:00.
    clock_ = std::make_shared<values::ManualClock>(At(11, 10, 0));
    use_ = std::make_unique<values::ScopedClock>(clock_);
    GetQueueSchedule() = QueueSchedule{};
    gQueueRunning = false;
    ready_ = gQueueReady;
    gQueueReady = true;
    auto actions = std::make_unique<fakes::FakeSystemActions>();
    actions_ = actions.get();
    previous_ = desktop::SystemActionsSlot::Set(std::move(actions));
  }
  void TearDown() override {
    desktop::SystemActionsSlot::Set(std::move(previous_));
    GetQueueSchedule() = QueueSchedule{};
    gQueueRunning = false;
    gQueueReady = ready_;
    use_.reset();
    zone_.reset();
    QueueTest::TearDown();
  }
  static double At(int day, int hour, int minute) {
    return values::AssembleDate({2026, 3, day, hour, minute, 0});
  }
  void Tick(double seconds) {
    clock_->Advance(seconds);
    CheckQueueSchedule();
  }

  std::unique_ptr<values::ScopedDefaultTimeZone> zone_;
  std::shared_ptr<values::ManualClock> clock_;
  std::unique_ptr<values::ScopedClock> use_;
  fakes::FakeSystemActions* actions_ = nullptr;
  std::unique_ptr<desktop::SystemActions> previous_;
  bool ready_ = false;
};

TEST_F(ScheduleTest, DeltaStartAndStopEachFireOnceInTheirWindow) {
  ScheduleSheetValues v;
  v.start = true;
  v.startMode = kScheduleDelta;
  v.startDelta = 5;
  v.stop = true;
  v.stopMode = kScheduleDelta;
  v.stopDelta = 90;
  ASSERT_EQ(ApplyScheduleSheet(v), std::nullopt);
  EXPECT_EQ(GetQueueSchedule().stopDateTime, At(11, 11, 30));
  Tick(5 * 60 - 1);
  EXPECT_FALSE(gQueueRunning);
  Tick(1);
  EXPECT_TRUE(gQueueRunning);
  StopQueue(false);
  Tick(10);
  EXPECT_FALSE(gQueueRunning) << "a start fires once";
  StartQueue();
  clock_->Set(At(11, 11, 30) + 29);
  CheckQueueSchedule();
  EXPECT_FALSE(gQueueRunning) << "stopped 90 minutes after OK";
}

TEST_F(ScheduleTest, AMomentMissedByThirtySecondsIsSkipped) {
  ScheduleSheetValues v;
  v.stop = true;
  v.stopMode = kScheduleSpecificDate;
  v.stopDate = At(11, 12, 0);
  ASSERT_EQ(ApplyScheduleSheet(v), std::nullopt);
  StartQueue();
  clock_->Set(At(11, 12, 0) + 30);
  CheckQueueSchedule();
  EXPECT_TRUE(gQueueRunning);
}

TEST_F(ScheduleTest, WeeklyStartWrapsToTheNextChosenDay) {
  struct Case {
    std::uint32_t flags;
    int hour;
    double expected;
  } const cases[] = {
      {kEveryDay, 9, At(12, 9, 0)},    // today's time has passed: tomorrow
      {kEveryDay, 11, At(11, 11, 0)},  // still ahead today
      {1u << 3, 9, At(18, 9, 0)},      // Wednesday only, passed: a week on
      {kWeekend, 9, At(14, 9, 0)},     // Saturday
      {kWeekdays, 9, At(12, 9, 0)},    // Thursday
      {1u << 1, 20, At(16, 20, 0)},    // Monday
  };
  for (const auto& c : cases) {
    clock_->Set(At(11, 10, 0));
    ScheduleSheetValues v;
    v.start = true;
    v.startMode = kScheduleWeekly;
    v.startDate = At(1, c.hour, 0);
    v.startDayFlags = c.flags;
    ASSERT_EQ(ApplyScheduleSheet(v), std::nullopt);
    EXPECT_EQ(GetQueueSchedule().startDateTime, c.expected) << "flags " << c.flags;
  }
  // Fired, the next moment is a week (for one day) later.
  clock_->Set(At(16, 20, 0) + 1);
  CheckQueueSchedule();
  EXPECT_TRUE(gQueueRunning);
  EXPECT_EQ(GetQueueSchedule().startDateTime, At(23, 20, 0));
}

TEST_F(ScheduleTest, WeeklyWithNoDayNeverStarts) {
  ScheduleSheetValues v;
  v.start = true;
  v.startMode = kScheduleWeekly;
  v.startDate = At(1, 10, 0);
  ASSERT_EQ(ApplyScheduleSheet(v), std::nullopt);
  EXPECT_EQ(GetQueueSchedule().startDateTime, 0);
  for (int i = 0; i < 10; ++i) Tick(86400);
  EXPECT_FALSE(gQueueRunning);
}

TEST_F(ScheduleTest, ScheduledStopRunsItsActionOnceEvenWhenNothingRan) {
  ScheduleSheetValues v;
  v.stop = true;
  v.stopMode = kScheduleDelta;
  v.stopDelta = 1;
  v.useAction = true;
  v.action = kPostActionShutDown;
  ASSERT_EQ(ApplyScheduleSheet(v), std::nullopt);
  for (int i = 0; i < 20; ++i) Tick(5);
  ASSERT_EQ(actions_->performed.size(), 1u);
  EXPECT_EQ(actions_->performed[0], desktop::SystemAction::kShutDown);
}

TEST_F(ScheduleTest, SheetValidationInOrder) {
  ScheduleSheetValues v;
  v.start = v.stop = true;
  v.startMode = v.stopMode = kScheduleSpecificDate;
  v.startDate = At(12, 10, 0);
  v.stopDate = At(12, 10, 0);
  EXPECT_EQ(ApplyScheduleSheet(v), kScheduleOrderMessage);
  v.startDate = At(10, 10, 0);
  EXPECT_EQ(ApplyScheduleSheet(v), kStartInPastMessage);
  v.start = false;
  v.stopDate = At(11, 9, 0);
  EXPECT_EQ(ApplyScheduleSheet(v), kStopInPastMessage);
  EXPECT_FALSE(GetQueueSchedule().valid) << "a refused sheet changes nothing";
  EXPECT_EQ(ParseScheduleDelta("1234567890123456789"),
            static_cast<std::int32_t>(std::strtol("123456789012345", nullptr, 10)));
  EXPECT_EQ(ParseScheduleDelta("90"), 90);
}

TEST_F(ScheduleTest, DictionaryRoundTripAndOldForms) {
  ScheduleSheetValues v;
  v.start = true;
  v.startMode = kScheduleWeekly;
  v.startDate = At(1, 8, 30);
  v.startDayFlags = kWeekdays | (1u << 6);
  v.stop = true;
  v.stopMode = kScheduleDelta;
  v.stopDelta = 45;
  v.useAction = true;
  v.action = kPostActionSleep;
  ASSERT_EQ(ApplyScheduleSheet(v), std::nullopt);
  auto stored = util::SettingsPreferences().CopyValue(kScheduleKey);
  ASSERT_TRUE(stored);
  QueueSchedule back;
  ReadScheduleDictionary(back, &*stored);
  const QueueSchedule& s = GetQueueSchedule();
  EXPECT_TRUE(back.valid);
  EXPECT_EQ(back.startMode, s.startMode);
  EXPECT_EQ(back.startDayFlags, s.startDayFlags);
  EXPECT_EQ(back.stopDelta, 45);
  EXPECT_EQ(back.action, static_cast<std::uint32_t>(kPostActionSleep));
  EXPECT_EQ(back.startDateTime, s.startDateTime);
  EXPECT_EQ(back.stopDateTime, s.stopDateTime);

  const struct {
    values::Dictionary d;
    std::int32_t startMode, stopMode;
  } old[] = {
      {{{"specificDate", true}, {"useDelta", true}}, kScheduleSpecificDate, kScheduleDelta},
      {{{"stopSpecific", true}}, kScheduleWeekly, kScheduleSpecificDate},
      {{}, kScheduleWeekly, kScheduleWeekly},
  };
  for (const auto& o : old) {
    const values::Value d(o.d);
    ReadScheduleDictionary(back, &d);
    EXPECT_EQ(back.startMode, o.startMode);
    EXPECT_EQ(back.stopMode, o.stopMode);
  }
}

TEST_F(ScheduleTest, DayMenuItems) {
  const std::uint32_t expected[] = {0, 0x200, 0x400, 0x100, 0, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
  for (int item = 1; item <= 11; ++item) EXPECT_EQ(DayFlagForMenuItem(item), expected[item]) << item;
  EXPECT_EQ(ExpandDayFlags(kWeekdays), 0x3Eu);
  EXPECT_EQ(ExpandDayFlags(kWeekend | 0x02), 0xC2u);
  EXPECT_EQ(ExpandDayFlags(kEveryDay | 0x02), 0xFEu);
}

}  // namespace
}  // namespace queue
