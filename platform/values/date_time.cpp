#include "platform/values/date_time.h"

#include <unicode/gregocal.h>
#include <unicode/simpletz.h>
#include <unicode/timezone.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace values {

namespace {

constexpr double kMillisPerSecond = 1000.0;

UDate ToUDate(double whole_seconds) {
  return (whole_seconds + kAbsoluteTimeIntervalSince1970) * kMillisPerSecond;
}
double FromUDate(UDate ms) {
  return ms / kMillisPerSecond - kAbsoluteTimeIntervalSince1970;
}

bool IsUnknown(const icu::TimeZone& zone) {
  icu::UnicodeString id;
  zone.getID(id);
  return id == icu::UnicodeString(UCAL_UNKNOWN_ZONE_ID, -1, US_INV);
}

std::unique_ptr<icu::GregorianCalendar> MakeCalendar(const TimeZone& zone) {
  UErrorCode status = U_ZERO_ERROR;
  auto cal = std::make_unique<icu::GregorianCalendar>(zone.icu(), icu::Locale::getRoot(), status);
  if (U_FAILURE(status)) return nullptr;
  // Proleptic: the Gregorian rules also before 1582.
  cal->setGregorianChange(U_DATE_MIN, status);
  cal->setLenient(true);
  cal->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
  cal->setSkippedWallTimeOption(UCAL_WALLTIME_LAST);
  return cal;
}

// Monday = 1 ... Sunday = 7 from ICU's Sunday = 1 ... Saturday = 7.
int MondayBased(int icu_day_of_week) {
  return (icu_day_of_week + 5) % 7 + 1;
}

std::mutex gZoneLock;
std::optional<TimeZone> gDefaultZone;

}  // namespace

TimeZone TimeZone::System() {
  // Detecting the host zone reads TZ and may walk the zone files, so the answer is kept
  // until TZ changes.
  static std::mutex lock;
  static std::string cached_tz = "\x01";  // never a real TZ value
  static std::shared_ptr<const icu::TimeZone> cached;
  const char* tz = std::getenv("TZ");
  const std::string key = tz ? std::string("=") + tz : std::string();
  std::lock_guard guard(lock);
  if (!cached || key != cached_tz) {
    std::shared_ptr<const icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
    if (!zone || IsUnknown(*zone)) zone.reset(icu::TimeZone::getGMT()->clone());
    cached = std::move(zone);
    cached_tz = key;
  }
  return TimeZone(cached);
}

TimeZone TimeZone::Gmt() {
  static const std::shared_ptr<const icu::TimeZone> gmt(icu::TimeZone::getGMT()->clone());
  return TimeZone(gmt);
}

std::optional<TimeZone> TimeZone::Named(std::string_view id) {
  const icu::UnicodeString uid =
      icu::UnicodeString::fromUTF8(icu::StringPiece(id.data(), static_cast<int32_t>(id.size())));
  std::shared_ptr<const icu::TimeZone> zone(icu::TimeZone::createTimeZone(uid));
  if (!zone || IsUnknown(*zone)) return std::nullopt;
  return TimeZone(std::move(zone));
}

TimeZone TimeZone::FixedOffset(int seconds_east) {
  const int magnitude = std::abs(seconds_east);
  char id[32];
  std::snprintf(id, sizeof id, "GMT%c%02d:%02d", seconds_east < 0 ? '-' : '+', magnitude / 3600,
                magnitude / 60 % 60);
  return TimeZone(
      std::make_shared<const icu::SimpleTimeZone>(seconds_east * 1000, icu::UnicodeString(id, -1, US_INV)));
}

std::string TimeZone::Id() const {
  icu::UnicodeString id;
  zone_->getID(id);
  std::string out;
  id.toUTF8String(out);
  return out;
}

int TimeZone::OffsetAt(AbsoluteTime t) const {
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone_->getOffset(ToUDate(t), false, raw, dst, status);
  if (U_FAILURE(status)) return 0;
  return (raw + dst) / 1000;
}

bool TimeZone::IsDaylightSavingAt(AbsoluteTime t) const {
  int32_t raw = 0;
  int32_t dst = 0;
  UErrorCode status = U_ZERO_ERROR;
  zone_->getOffset(ToUDate(t), false, raw, dst, status);
  return U_SUCCESS(status) && dst != 0;
}

TimeZone DefaultTimeZone() {
  {
    std::lock_guard guard(gZoneLock);
    if (gDefaultZone) return *gDefaultZone;
  }
  return TimeZone::System();
}

void SetDefaultTimeZone(std::optional<TimeZone> zone) {
  std::lock_guard guard(gZoneLock);
  gDefaultZone = std::move(zone);
}

ScopedDefaultTimeZone::ScopedDefaultTimeZone(TimeZone zone) {
  {
    std::lock_guard guard(gZoneLock);
    previous_ = gDefaultZone;
  }
  SetDefaultTimeZone(std::move(zone));
}

ScopedDefaultTimeZone::~ScopedDefaultTimeZone() {
  SetDefaultTimeZone(std::move(previous_));
}

CalendarDate SplitDate(AbsoluteTime t, const TimeZone& zone) {
  CalendarDate out;
  auto cal = MakeCalendar(zone);
  if (!cal || !std::isfinite(t)) return out;
  const double whole = std::floor(t);
  UErrorCode status = U_ZERO_ERROR;
  cal->setTime(ToUDate(whole), status);
  out.date.year = cal->get(UCAL_EXTENDED_YEAR, status);
  out.date.month = cal->get(UCAL_MONTH, status) + 1;
  out.date.day = cal->get(UCAL_DATE, status);
  out.date.hour = cal->get(UCAL_HOUR_OF_DAY, status);
  out.date.minute = cal->get(UCAL_MINUTE, status);
  out.date.second = cal->get(UCAL_SECOND, status) + (t - whole);
  out.day_of_week = MondayBased(cal->get(UCAL_DAY_OF_WEEK, status));
  out.day_of_year = cal->get(UCAL_DAY_OF_YEAR, status);
  return out;
}

AbsoluteTime AssembleDate(const GregorianDate& date, const TimeZone& zone) {
  auto cal = MakeCalendar(zone);
  if (!cal) return 0;
  const double whole_second = std::floor(date.second);
  cal->clear();
  cal->set(UCAL_EXTENDED_YEAR, date.year);
  cal->set(UCAL_MONTH, date.month - 1);
  cal->set(UCAL_DATE, date.day);
  cal->set(UCAL_HOUR_OF_DAY, date.hour);
  cal->set(UCAL_MINUTE, date.minute);
  cal->set(UCAL_SECOND, static_cast<int32_t>(whole_second));
  cal->set(UCAL_MILLISECOND, 0);
  UErrorCode status = U_ZERO_ERROR;
  const UDate ms = cal->getTime(status);
  if (U_FAILURE(status)) return 0;
  return FromUDate(ms) + (date.second - whole_second);
}

int DayOfWeek(AbsoluteTime t, const TimeZone& zone) {
  return SplitDate(t, zone).day_of_week;
}

AbsoluteTime AddCalendarUnits(AbsoluteTime t, const CalendarUnits& units, const TimeZone& zone) {
  double result = t;
  if (units.years || units.months || units.days) {
    auto cal = MakeCalendar(zone);
    if (!cal) return t;
    const double whole = std::floor(t);
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(ToUDate(whole), status);
    if (units.years) cal->add(UCAL_YEAR, units.years, status);
    if (units.months) cal->add(UCAL_MONTH, units.months, status);
    if (units.days) cal->add(UCAL_DATE, units.days, status);
    const UDate ms = cal->getTime(status);
    if (U_FAILURE(status)) return t;
    result = FromUDate(ms) + (t - whole);
  }
  return result + units.hours * 3600.0 + units.minutes * 60.0 + units.seconds;
}

AbsoluteTime DayStart(AbsoluteTime t, const TimeZone& zone) {
  GregorianDate date = SplitDate(t, zone).date;
  date.hour = 0;
  date.minute = 0;
  date.second = 0;
  return AssembleDate(date, zone);
}

std::string DescribeDate(AbsoluteTime t, const TimeZone& zone) {
  const GregorianDate d = SplitDate(t, zone).date;
  const int offset = zone.OffsetAt(std::floor(t));
  const int magnitude = std::abs(offset);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d", d.year, d.month, d.day, d.hour,
                d.minute, static_cast<int>(std::floor(d.second)), offset < 0 ? '-' : '+', magnitude / 3600,
                magnitude / 60 % 60);
  return buf;
}

std::string DescribeDate(AbsoluteTime t) {
  return DescribeDate(t, DefaultTimeZone());
}

}  // namespace values
