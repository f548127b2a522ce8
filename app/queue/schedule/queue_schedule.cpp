#include "app/queue/schedule/queue_schedule.h"

#include <cmath>
#include <cstdlib>

#include "app/queue/events/post_download_actions.h"
#include "app/queue/operations/queue_switch.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/date_time.h"

namespace queue {
namespace {

// How long after its moment a start or stop still fires.
constexpr double kFiringWindow = 30;

values::Value I32(std::int32_t v) {
  return values::Value(values::Number::Int32(v));
}
values::Value I64(std::int64_t v) {
  return values::Value(values::Number::Int64(v));
}

std::int64_t GetInt(const values::Value& d, const char* key) {
  std::int64_t v = 0;
  d.GetInt64(key, v);
  return v;
}
double GetReal(const values::Value& d, const char* key) {
  double v = 0;
  d.GetDouble(key, v);
  return v;
}
bool GetFlag(const values::Value& d, const char* key) {
  const values::Value* v = d.Find(key);
  return v != nullptr && v->BoolOr(false);
}

// The next weekly moment after now: today's date at the time of day of `timeOf`, moved on
// day by day (up to 8 days, so today's weekday a week later is reached) to the first day
// in `flags` that lies after now. Nothing when no day is set.
std::optional<values::AbsoluteTime> NextWeeklyMoment(values::AbsoluteTime timeOf, std::uint32_t flags,
                                                     values::AbsoluteTime now) {
  const std::uint32_t mask = ExpandDayFlags(flags);
  if (mask == 0) return std::nullopt;
  const auto zone = values::DefaultTimeZone();
  const auto today = values::SplitDate(now, zone);
  const auto time = values::SplitDate(timeOf, zone);
  values::GregorianDate base = today.date;
  base.hour = time.date.hour;
  base.minute = time.date.minute;
  base.second = std::floor(time.date.second);
  const values::AbsoluteTime baseTime = values::AssembleDate(base, zone);
  int day = today.day_of_week;
  for (int i = 0; i <= 8; ++i) {
    const values::AbsoluteTime candidate = values::AddDays(baseTime, i, zone);
    if ((mask & (1u << day)) && candidate > now) return candidate;
    day = day == 7 ? 1 : day + 1;
  }
  return std::nullopt;
}

}  // namespace

QueueSchedule& GetQueueSchedule() {
  static QueueSchedule schedule;
  return schedule;
}

std::uint32_t ExpandDayFlags(std::uint32_t flags) {
  if (flags & kEveryDay) return 0xFE;
  std::uint32_t mask = flags & 0xFE;
  if (flags & kWeekdays) mask |= 0x3E;
  if (flags & kWeekend) mask |= 0xC0;
  return mask;
}

values::Value CreateScheduleDictionary(const QueueSchedule& s) {
  return values::Value(values::Dictionary{
      {"start", s.start},
      {"startMode", I32(s.startMode)},
      {"specificDate", s.startMode == kScheduleSpecificDate},
      {"startDelta", I32(s.startDelta)},
      {"startDate", values::Number::Float64(s.startDate)},
      {"startDayFlags", I64(s.startDayFlags)},
      {"stop", s.stop},
      {"stopMode", I32(s.stopMode)},
      {"useDelta", s.stopMode == kScheduleDelta},
      {"stopSpecific", s.stopMode == kScheduleSpecificDate},
      {"stopDelta", I32(s.stopDelta)},
      {"stopDate", values::Number::Float64(s.stopDate)},
      {"stopDayFlags", I64(s.stopDayFlags)},
      {"action", I64(s.action)},
      {"useAction", s.useAction},
      {"startDateTime", values::Number::Float64(s.startDateTime)},
      {"stopDateTime", values::Number::Float64(s.stopDateTime)},
  });
}

void ReadScheduleDictionary(QueueSchedule& out, const values::Value* d) {
  out = QueueSchedule{};
  if (d == nullptr || !d->IsDictionary()) return;
  out.start = GetFlag(*d, "start");
  if (d->Find("startMode")) {
    out.startMode = static_cast<std::int32_t>(GetInt(*d, "startMode"));
  } else {
    out.startMode = GetFlag(*d, "specificDate") ? kScheduleSpecificDate : kScheduleWeekly;
  }
  out.startDelta = static_cast<std::int32_t>(GetInt(*d, "startDelta"));
  out.startDate = GetReal(*d, "startDate");
  out.startDayFlags = static_cast<std::uint32_t>(GetInt(*d, "startDayFlags"));
  out.stop = GetFlag(*d, "stop");
  if (d->Find("stopMode")) {
    out.stopMode = static_cast<std::int32_t>(GetInt(*d, "stopMode"));
  } else if (GetFlag(*d, "useDelta")) {
    out.stopMode = kScheduleDelta;
  } else {
    out.stopMode = GetFlag(*d, "stopSpecific") ? kScheduleSpecificDate : kScheduleWeekly;
  }
  out.stopDelta = static_cast<std::int32_t>(GetInt(*d, "stopDelta"));
  out.stopDate = GetReal(*d, "stopDate");
  out.stopDayFlags = static_cast<std::uint32_t>(GetInt(*d, "stopDayFlags"));
  out.action = static_cast<std::uint32_t>(GetInt(*d, "action"));
  out.useAction = GetFlag(*d, "useAction");
  out.startDateTime = GetReal(*d, "startDateTime");
  out.stopDateTime = GetReal(*d, "stopDateTime");
  out.valid = true;
}

void ComputeNextScheduleTimes() {
  QueueSchedule& s = GetQueueSchedule();
  if (!s.valid) return;
  const values::AbsoluteTime now = values::Now();
  if (now >= s.startDateTime && s.startMode == kScheduleWeekly && s.startDayFlags != 0) {
    if (auto next = NextWeeklyMoment(s.startDate, s.startDayFlags, now)) s.startDateTime = *next;
  }
  if (now >= s.stopDateTime && s.stopMode == kScheduleWeekly) {
    if (auto next = NextWeeklyMoment(s.stopDate, s.stopDayFlags, now)) s.stopDateTime = *next;
  }
  util::SetPreferenceValue(kScheduleKey, CreateScheduleDictionary(s));
}

void CheckQueueSchedule() {
  QueueSchedule& s = GetQueueSchedule();
  if (!s.valid) return;
  const values::AbsoluteTime now = values::Now();
  if (s.start && now >= s.startDateTime && now < s.startDateTime + kFiringWindow) {
    s.startDateTime -= kFiringWindow;
    if (!gQueueRunning) StartQueue();
    ComputeNextScheduleTimes();
  }
  if (s.stop && now >= s.stopDateTime && now < s.stopDateTime + kFiringWindow) {
    s.stopDateTime -= kFiringWindow;
    if (gQueueRunning) StopQueue(util::CurrentSettings()->downloadsStopWithQueue);
    if (s.useAction && s.action < 6) RunPostDownloadAction(static_cast<std::int32_t>(s.action));
    ComputeNextScheduleTimes();
  }
}

std::int32_t ParseScheduleDelta(const std::string& text) {
  const std::string head = text.substr(0, 15);
  return static_cast<std::int32_t>(std::strtol(head.c_str(), nullptr, 10));
}

std::uint32_t DayFlagForMenuItem(int item) {
  switch (item) {
    case 1:
      return kWeekdays;
    case 2:
      return kWeekend;
    case 3:
      return kEveryDay;
    default:
      return item >= 5 && item <= 11 ? 1u << (item - 4) : 0;
  }
}

std::optional<std::string> ApplyScheduleSheet(const ScheduleSheetValues& v) {
  const values::AbsoluteTime now = values::Now();
  if (v.start && v.stop && v.startMode == kScheduleSpecificDate && v.stopMode == kScheduleSpecificDate &&
      v.startDate >= v.stopDate)
    return std::string(kScheduleOrderMessage);
  if (v.start && v.startMode == kScheduleSpecificDate && v.startDate < now)
    return std::string(kStartInPastMessage);
  if (v.stop && v.stopMode == kScheduleSpecificDate && v.stopDate < now)
    return std::string(kStopInPastMessage);
  QueueSchedule& s = GetQueueSchedule();
  s.start = v.start;
  s.stop = v.stop;
  s.startMode = v.startMode;
  s.stopMode = v.stopMode;
  s.startDate = v.startDate;
  s.stopDate = v.stopDate;
  s.startDelta = v.startDelta;
  s.stopDelta = v.stopDelta;
  s.startDayFlags = v.startDayFlags;
  s.stopDayFlags = v.stopDayFlags;
  s.useAction = v.useAction;
  s.action = v.action;
  s.valid = true;
  const auto moment = [now](std::int32_t mode, std::int32_t delta, values::AbsoluteTime date) {
    if (mode == kScheduleDelta) return now + static_cast<double>(delta) * 60;
    if (mode == kScheduleSpecificDate) return date;
    return values::AbsoluteTime{0};
  };
  s.stopDateTime = moment(s.stopMode, s.stopDelta, s.stopDate);
  s.startDateTime = moment(s.startMode, s.startDelta, s.startDate);
  ComputeNextScheduleTimes();
  return std::nullopt;
}

void QueueScheduleStoreService::ReadScheduleDictionary(const values::Value* schedule) {
  queue::ReadScheduleDictionary(GetQueueSchedule(), schedule);
}

}  // namespace queue
