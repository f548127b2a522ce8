#pragma once
// Calendar arithmetic on the program's time (seconds since 2001-01-01 GMT, clock.h) in the
// proleptic Gregorian calendar, in a time zone.
//
// Time zones come from the tz database through ICU. `TimeZone::System()` is the zone of
// the machine: the TZ variable when set (read anew on each call, so a test can set TZ and
// ask again), else /etc/localtime. `DefaultTimeZone()` is the zone the program works in:
// the system zone unless a test has installed another with SetDefaultTimeZone or
// ScopedDefaultTimeZone.
//
// Days of the week are numbered 1 = Monday to 7 = Sunday. Months are 1-12.
//
// Wall times that a daylight-saving change skips (02:30 on the spring-forward day in
// Berlin) are read with the offset in force before the change, so they land after the gap
// (03:30); wall times that occur twice (02:30 on the fall-back day) mean the first of the
// two. A day's start is therefore always the first instant of that day, also where a zone
// changes its clocks at midnight.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/values/clock.h"

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class TimeZone;
U_NAMESPACE_END

namespace values {

class TimeZone {
 public:
  static TimeZone System();
  static TimeZone Gmt();
  // A tz database name ("Europe/Berlin", "America/New_York", "UTC"); nullopt when unknown.
  static std::optional<TimeZone> Named(std::string_view id);
  // A zone with a fixed offset east of GMT, in seconds.
  static TimeZone FixedOffset(int seconds_east);

  std::string Id() const;
  // Seconds east of GMT at that instant, daylight saving included.
  int OffsetAt(AbsoluteTime t) const;
  bool IsDaylightSavingAt(AbsoluteTime t) const;

  const icu::TimeZone& icu() const { return *zone_; }

 private:
  explicit TimeZone(std::shared_ptr<const icu::TimeZone> zone) : zone_(std::move(zone)) {}
  std::shared_ptr<const icu::TimeZone> zone_;
};

TimeZone DefaultTimeZone();
// nullopt returns to the system zone.
void SetDefaultTimeZone(std::optional<TimeZone> zone);

class ScopedDefaultTimeZone {
 public:
  explicit ScopedDefaultTimeZone(TimeZone zone);
  ~ScopedDefaultTimeZone();
  ScopedDefaultTimeZone(const ScopedDefaultTimeZone&) = delete;
  ScopedDefaultTimeZone& operator=(const ScopedDefaultTimeZone&) = delete;

 private:
  std::optional<TimeZone> previous_;
};

// A date and time of day as a calendar shows it. `second` may carry a fraction.
struct GregorianDate {
  int year = 2001;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;
  int minute = 0;
  double second = 0;
  bool operator==(const GregorianDate& other) const = default;
};

// A split date with the fields the calendar derives.
struct CalendarDate {
  GregorianDate date;
  int day_of_week = 1;  // 1 = Monday ... 7 = Sunday
  int day_of_year = 1;  // 1-366
};

CalendarDate SplitDate(AbsoluteTime t, const TimeZone& zone);
inline CalendarDate SplitDate(AbsoluteTime t) {
  return SplitDate(t, DefaultTimeZone());
}

// The instant of a wall time. Fields out of their range carry over (month 13 is January of
// the next year, day 0 the last day of the month before).
AbsoluteTime AssembleDate(const GregorianDate& date, const TimeZone& zone);
inline AbsoluteTime AssembleDate(const GregorianDate& date) {
  return AssembleDate(date, DefaultTimeZone());
}

int DayOfWeek(AbsoluteTime t, const TimeZone& zone);  // 1 = Monday ... 7 = Sunday

// Calendar units to add (negative to go back). Years, months and days move the calendar
// date and keep the wall time of day, across daylight-saving changes; adding a month to
// January 31 gives the last day of February. Hours, minutes and seconds are elapsed time.
struct CalendarUnits {
  int years = 0;
  int months = 0;
  int days = 0;
  int hours = 0;
  int minutes = 0;
  double seconds = 0;
};

AbsoluteTime AddCalendarUnits(AbsoluteTime t, const CalendarUnits& units, const TimeZone& zone);
inline AbsoluteTime AddDays(AbsoluteTime t, int days, const TimeZone& zone) {
  return AddCalendarUnits(t, CalendarUnits{.days = days}, zone);
}

// 00:00:00 of the day that holds `t`.
AbsoluteTime DayStart(AbsoluteTime t, const TimeZone& zone);
inline AbsoluteTime DayStart(AbsoluteTime t) {
  return DayStart(t, DefaultTimeZone());
}

// The platform's standard description of a date: "2024-03-05 14:07:09 +0100" in the zone.
std::string DescribeDate(AbsoluteTime t, const TimeZone& zone);
std::string DescribeDate(AbsoluteTime t);  // in DefaultTimeZone()

}  // namespace values
