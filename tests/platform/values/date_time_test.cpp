#include "platform/values/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace values {
namespace {

// The instant of a GMT wall time, computed by the C library rather than by the code under test.
AbsoluteTime Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return AbsoluteTimeFromUnix(static_cast<double>(timegm(&tm)));
}

TimeZone Zone(const char* id) {
  auto zone = TimeZone::Named(id);
  EXPECT_TRUE(zone) << id;
  return zone ? *zone : TimeZone::Gmt();
}

struct SplitCase {
  AbsoluteTime t;
  const char* zone;
  GregorianDate date;
  int day_of_week;
  int day_of_year;
};

TEST(DateTimeTest, SplitGivesTheCalendarFields) {
  const SplitCase cases[] = {
      {0, "GMT", {2001, 1, 1, 0, 0, 0}, 1, 1},  // the epoch was a Monday
      {-1, "GMT", {2000, 12, 31, 23, 59, 59}, 7, 366},
      {-0.5, "GMT", {2000, 12, 31, 23, 59, 59.5}, 7, 366},
      {0, "Europe/Berlin", {2001, 1, 1, 1, 0, 0}, 1, 1},
      {0, "America/New_York", {2000, 12, 31, 19, 0, 0}, 7, 366},
      {Utc(2024, 3, 5, 14, 7, 9) + 0.25, "GMT", {2024, 3, 5, 14, 7, 9.25}, 2, 65},
      {Utc(2024, 3, 10, 12), "GMT", {2024, 3, 10, 12, 0, 0}, 7, 70},
      {Utc(2024, 7, 1, 10), "Europe/Berlin", {2024, 7, 1, 12, 0, 0}, 1, 183},  // summer time
      {Utc(1904, 1, 1), "GMT", {1904, 1, 1, 0, 0, 0}, 5, 1},
  };
  for (const auto& c : cases) {
    const CalendarDate split = SplitDate(c.t, Zone(c.zone));
    EXPECT_EQ(split.date, c.date) << c.t << " in " << c.zone;
    EXPECT_EQ(split.day_of_week, c.day_of_week) << c.t << " in " << c.zone;
    EXPECT_EQ(split.day_of_year, c.day_of_year) << c.t << " in " << c.zone;
    EXPECT_DOUBLE_EQ(AssembleDate(c.date, Zone(c.zone)), c.t) << c.zone;
  }
}

TEST(DateTimeTest, AssemblyCarriesFieldsOutOfRange) {
  const TimeZone gmt = TimeZone::Gmt();
  EXPECT_EQ(AssembleDate({2001, 1, 1, 0, 0, 0}, gmt), 0);
  EXPECT_EQ(AssembleDate({2000, 2, 29, 0, 0, 0}, gmt), -307 * 86400.0);
  EXPECT_EQ(AssembleDate({2001, 13, 1, 0, 0, 0}, gmt), Utc(2002, 1, 1));
  EXPECT_EQ(AssembleDate({2001, 3, 0, 0, 0, 0}, gmt), Utc(2001, 2, 28));
  EXPECT_EQ(AssembleDate({2001, 1, 1, 25, 0, 0}, gmt), Utc(2001, 1, 2, 1));
}

// Berlin changed to summer time on 2024-03-31 at 02:00 (to 03:00) and back on 2024-10-27 at
// 03:00 (to 02:00).
TEST(DateTimeTest, DaylightSavingChangesInBerlin) {
  const TimeZone berlin = Zone("Europe/Berlin");
  EXPECT_EQ(SplitDate(Utc(2024, 3, 31, 0, 59, 59), berlin).date, (GregorianDate{2024, 3, 31, 1, 59, 59}));
  EXPECT_EQ(SplitDate(Utc(2024, 3, 31, 1), berlin).date, (GregorianDate{2024, 3, 31, 3, 0, 0}));
  // A skipped wall time lands after the gap; a repeated one means its first occurrence.
  EXPECT_EQ(AssembleDate({2024, 3, 31, 2, 30, 0}, berlin), Utc(2024, 3, 31, 1, 30));
  EXPECT_EQ(AssembleDate({2024, 10, 27, 2, 30, 0}, berlin), Utc(2024, 10, 27, 0, 30));
  EXPECT_EQ(AssembleDate({2024, 10, 27, 3, 30, 0}, berlin), Utc(2024, 10, 27, 2, 30));
  EXPECT_EQ(berlin.OffsetAt(Utc(2024, 1, 15)), 3600);
  EXPECT_EQ(berlin.OffsetAt(Utc(2024, 7, 15)), 7200);
  EXPECT_TRUE(berlin.IsDaylightSavingAt(Utc(2024, 7, 15)));
  EXPECT_FALSE(berlin.IsDaylightSavingAt(Utc(2024, 1, 15)));
}

TEST(DateTimeTest, AddingDaysKeepsTheWallTimeAcrossDaylightSaving) {
  const TimeZone berlin = Zone("Europe/Berlin");
  const AbsoluteTime noon_before = AssembleDate({2024, 3, 30, 12, 0, 0}, berlin);
  const AbsoluteTime noon_after = AddDays(noon_before, 1, berlin);
  EXPECT_EQ(noon_after, Utc(2024, 3, 31, 10));
  EXPECT_EQ(noon_after - noon_before, 23 * 3600.0);
  EXPECT_EQ(AddDays(noon_after, -1, berlin), noon_before);
  EXPECT_EQ(AddCalendarUnits(noon_before, {.hours = 24}, berlin),
            noon_before + 86400);  // hours are elapsed time
  EXPECT_EQ(AddCalendarUnits(Utc(2001, 1, 31) + 0.5, {.months = 1}, TimeZone::Gmt()), Utc(2001, 2, 28) + 0.5);
  EXPECT_EQ(AddCalendarUnits(Utc(2000, 1, 31), {.months = 1}, TimeZone::Gmt()), Utc(2000, 2, 29));
  EXPECT_EQ(AddCalendarUnits(Utc(2000, 2, 29), {.years = 1}, TimeZone::Gmt()), Utc(2001, 2, 28));
}

TEST(DateTimeTest, DayStartIsTheFirstInstantOfTheLocalDay) {
  const TimeZone berlin = Zone("Europe/Berlin");
  EXPECT_EQ(DayStart(Utc(2024, 3, 31, 13), berlin), Utc(2024, 3, 30, 23));
  EXPECT_EQ(DayStart(Utc(2024, 10, 27, 13), berlin), Utc(2024, 10, 26, 22));
  const AbsoluteTime long_day = DayStart(Utc(2024, 10, 27, 13), berlin);
  EXPECT_EQ(AddDays(long_day, 1, berlin) - long_day, 25 * 3600.0);
  EXPECT_EQ(DayStart(0.0, TimeZone::Gmt()), 0.0);
  EXPECT_EQ(DayStart(-0.5, TimeZone::Gmt()), -86400.0);
  // São Paulo moved its clocks from midnight to 01:00 on 2018-11-04: that day starts at 01:00.
  const TimeZone sao_paulo = Zone("America/Sao_Paulo");
  EXPECT_EQ(DayStart(Utc(2018, 11, 4, 15), sao_paulo), Utc(2018, 11, 4, 3));
}

TEST(DateTimeTest, DescriptionShowsTheZoneOffset) {
  EXPECT_EQ(DescribeDate(Utc(2024, 7, 1, 10, 0, 5) + 0.9, Zone("Europe/Berlin")),
            "2024-07-01 12:00:05 +0200");
  EXPECT_EQ(DescribeDate(Utc(2024, 1, 1, 10), Zone("America/New_York")), "2024-01-01 05:00:00 -0500");
  EXPECT_EQ(DescribeDate(0, TimeZone::FixedOffset(5 * 3600 + 1800)), "2001-01-01 05:30:00 +0530");
  EXPECT_EQ(DescribeDate(0, TimeZone::FixedOffset(-(3 * 3600 + 1800))), "2000-12-31 20:30:00 -0330");
}

TEST(DateTimeTest, ZonesByNameAndFromTheEnvironment) {
  EXPECT_FALSE(TimeZone::Named("Mars/Olympus_Mons"));
  EXPECT_EQ(Zone("Europe/Berlin").Id(), "Europe/Berlin");

  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "Asia/Tokyo", 1);
  EXPECT_EQ(TimeZone::System().Id(), "Asia/Tokyo");
  EXPECT_EQ(DefaultTimeZone().OffsetAt(0), 9 * 3600);
  {
    ScopedDefaultTimeZone berlin(Zone("Europe/Berlin"));
    EXPECT_EQ(DefaultTimeZone().Id(), "Europe/Berlin");
    EXPECT_EQ(SplitDate(0).date.hour, 1);
  }
  EXPECT_EQ(DefaultTimeZone().Id(), "Asia/Tokyo");
  setenv("TZ", "America/New_York", 1);
  EXPECT_EQ(TimeZone::System().Id(), "America/New_York");
  if (old_tz) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
}

TEST(DateTimeTest, The1904Epoch) {
  EXPECT_EQ(SecondsSince1904(0), kSecondsFrom1904To2001);
  EXPECT_EQ(SecondsSince1904(59.9), kSecondsFrom1904To2001 + 59);
  EXPECT_EQ(SecondsSince1904(Utc(1904, 1, 1)), 0);
  EXPECT_EQ(AbsoluteTimeFrom1904Seconds(kSecondsFrom1904To2001), 0);
  EXPECT_EQ(AbsoluteTimeFrom1904Seconds(0), Utc(1904, 1, 1));
  // Day keys past 2040-02-06 no longer fit 32 bits; the count here is 64-bit.
  EXPECT_GT(SecondsSince1904(Utc(2041, 1, 1)), INT64_C(4294967295));
}

TEST(ClockTest, ManualClockReplacesTheSystemClockForItsScope) {
  const AbsoluteTime real = Now();
  EXPECT_NEAR(real, AbsoluteTimeFromUnix(static_cast<double>(std::time(nullptr))), 5.0);
  auto clock = std::make_shared<ManualClock>(86400.0);
  {
    ScopedClock use(clock);
    EXPECT_EQ(Now(), 86400.0);
    clock->Advance(1.5);
    EXPECT_EQ(Now(), 86401.5);
    clock->Set(-10);
    EXPECT_EQ(Now(), -10);
  }
  EXPECT_NEAR(Now(), real, 5.0);
}

TEST(ClockTest, AdvancingFromManyThreadsLosesNothing) {
  auto clock = std::make_shared<ManualClock>(0);
  ScopedClock use(clock);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        clock->Advance(1);
        (void)Now();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(Now(), 4000.0);
}

TEST(ClockTest, TimePointsConvert) {
  const auto tp = std::chrono::system_clock::from_time_t(978307200 + 60);
  EXPECT_EQ(AbsoluteTimeFromTimePoint(tp), 60.0);
  EXPECT_EQ(TimePointFromAbsoluteTime(60.0), tp);
  EXPECT_EQ(UnixFromAbsoluteTime(0), 978307200.0);
}

}  // namespace
}  // namespace values
