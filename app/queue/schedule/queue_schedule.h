#pragma once
// The queue's schedule: the whole queue started and/or stopped once at a date, a number
// of minutes after the schedule was confirmed, or weekly on chosen days at a time of day;
// after a scheduled stop an optional system action (disconnect script, quit, shut down,
// sleep, log out).
//
// The scheduler tick calls CheckQueueSchedule every time it fires. A moment fires when
// the tick sees it within 30 s after it; the moment is then moved 30 s back so that it
// cannot fire again, and weekly moments are recomputed. A moment missed by 30 s or more
// (the program was not running, the tick was late) is skipped.
//
// The record is stored as a dictionary under "newSchedulesX" every time the next times are
// computed. Day flags: bit n (1 << n) for day n, 1 Monday to 7 Sunday; 0x100 every day;
// 0x200 Monday to Friday; 0x400 Saturday and Sunday.
//
// Main thread only. Times are absolute times (seconds since 2001) from values::Now().

#include <cstdint>
#include <optional>
#include <string>

#include "app/queue/services/queue_schedule_service.h"
#include "platform/values/clock.h"
#include "platform/values/value.h"

namespace queue {

inline constexpr const char kScheduleKey[] = "newSchedulesX";

inline constexpr std::uint32_t kEveryDay = 0x100;
inline constexpr std::uint32_t kWeekdays = 0x200;
inline constexpr std::uint32_t kWeekend = 0x400;

enum ScheduleMode : std::int32_t { kScheduleDelta = 0, kScheduleWeekly = 1, kScheduleSpecificDate = 2 };

struct QueueSchedule {
  bool start = false;
  std::int32_t startMode = 0;
  std::int32_t startDelta = 0;
  values::AbsoluteTime startDate = 0;
  std::uint32_t startDayFlags = 0;
  bool stop = false;
  std::int32_t stopMode = 0;
  std::int32_t stopDelta = 0;
  values::AbsoluteTime stopDate = 0;
  std::uint32_t stopDayFlags = 0;
  std::uint32_t action = 0;
  bool useAction = false;
  values::AbsoluteTime startDateTime = 0;
  values::AbsoluteTime stopDateTime = 0;
  bool valid = false;
};

// The application's one schedule.
QueueSchedule& GetQueueSchedule();

values::Value CreateScheduleDictionary(const QueueSchedule& schedule);
void ReadScheduleDictionary(QueueSchedule& out, const values::Value* dictionary);

// The day flags with the group bits expanded into single days.
std::uint32_t ExpandDayFlags(std::uint32_t flags);

void ComputeNextScheduleTimes();
void CheckQueueSchedule();

// What the schedule sheet gives on OK.
struct ScheduleSheetValues {
  bool start = false, stop = false;
  std::int32_t startMode = 0, stopMode = 0;
  values::AbsoluteTime startDate = 0, stopDate = 0;
  std::int32_t startDelta = 0, stopDelta = 0;
  std::uint32_t startDayFlags = 0, stopDayFlags = 0;
  bool useAction = false;
  std::uint32_t action = 0;
};

inline constexpr const char kScheduleOrderMessage[] =
    "Please ensure that the start date and/or time is earlier than the stop date and/or time.";
inline constexpr const char kStartInPastMessage[] = "The start date is in the past.";
inline constexpr const char kStopInPastMessage[] = "The stop date is in the past.";

// Validates and stores the sheet's values; the alert text when they were refused (the
// schedule is then unchanged).
std::optional<std::string> ApplyScheduleSheet(const ScheduleSheetValues& values);

// A delta field's text as the sheet reads it: decimal, at most 15 characters.
std::int32_t ParseScheduleDelta(const std::string& text);

// The day pop-up: item -> bit (1 every weekday, 2 weekend, 3 every day, 4 separator,
// 5 to 11 Monday to Sunday), and toggling an item's mark.
std::uint32_t DayFlagForMenuItem(int item);

// The settings store's side: reads the stored record at start-up.
class QueueScheduleStoreService : public QueueScheduleService {
 public:
  void ReadScheduleDictionary(const values::Value* schedule) override;
};

}  // namespace queue
