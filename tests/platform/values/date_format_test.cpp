#include "platform/values/date_format.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/values/number_format.h"

namespace values {
namespace {

const TimeZone& Berlin() {
  static const TimeZone zone = *TimeZone::Named("Europe/Berlin");
  return zone;
}

// 2024-03-05 14:07:09 in Berlin (13:07:09 GMT).
AbsoluteTime Sample() {
  return AssembleDate({2024, 3, 5, 14, 7, 9}, Berlin());
}

struct StyleCase {
  DateStyle date;
  DateStyle time;
  const char* locale;
  const char* expected;
};

TEST(DateFormatTest, StylesFollowTheLocale) {
  const StyleCase cases[] = {
      {DateStyle::kShort, DateStyle::kShort, "en_US", "3/5/24, 2:07 PM"},  // a plain space before PM
      {DateStyle::kMedium, DateStyle::kNone, "en_US", "Mar 5, 2024"},
      {DateStyle::kLong, DateStyle::kNone, "en_US", "March 5, 2024"},
      {DateStyle::kNone, DateStyle::kShort, "en_US", "2:07 PM"},
      {DateStyle::kMedium, DateStyle::kShort, "de_DE", "05.03.2024, 14:07"},
  };
  for (const auto& c : cases) {
    auto f = DateFormatter::WithStyles(c.date, c.time, c.locale, Berlin());
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Format(Sample()), c.expected) << c.locale;
  }
}

TEST(DateFormatTest, TheDisplayLocaleIsTheDefault) {
  ScopedDefaultTimeZone zone(Berlin());
  EXPECT_EQ(DisplayLocale(), "en_US");
  EXPECT_EQ(DateFormatter::WithStyles(DateStyle::kMedium, DateStyle::kNone)->Format(Sample()), "Mar 5, 2024");
  SetDisplayLocale("de_DE");
  EXPECT_EQ(DateFormatter::WithStyles(DateStyle::kMedium, DateStyle::kNone)->Format(Sample()), "05.03.2024");
  SetDisplayLocale("en_US");
}

TEST(DateFormatTest, PatternsFormatInTheirZone) {
  auto gmt = DateFormatter::WithPattern("EEE, dd MMM yyyy HH:mm:ss", "en_US", TimeZone::Gmt());
  auto berlin = DateFormatter::WithPattern("yyyy-MM-dd HH:mm", "en_US", Berlin());
  ASSERT_TRUE(gmt && berlin);
  EXPECT_EQ(gmt->Format(Sample()), "Tue, 05 Mar 2024 13:07:09");
  EXPECT_EQ(berlin->Format(Sample()), "2024-03-05 14:07");
  EXPECT_EQ(gmt->Pattern(), "EEE, dd MMM yyyy HH:mm:ss");
}

struct ParseCase {
  const char* pattern;
  const char* text;
  std::optional<AbsoluteTime> expected;
};

// The three forms of HTTP dates; text behind the last field (" GMT") is allowed.
TEST(DateFormatTest, ParsesHttpDates) {
  const AbsoluteTime nov_1994 = AssembleDate({1994, 11, 6, 8, 49, 37}, TimeZone::Gmt());
  const ParseCase cases[] = {
      {"EEE, dd MMM yyyy HH:mm:ss", "Sun, 06 Nov 1994 08:49:37 GMT", nov_1994},
      {"EEEE, dd-MMM-yy HH:mm:ss", "Sunday, 06-Nov-94 08:49:37 GMT", nov_1994},
      {"EEE MMM  d HH:mm:ss yyyy", "Sun Nov  6 08:49:37 1994", nov_1994},
      // Leniency lets the first pattern read the second form, with "94" as the year 94: a
      // caller that tries the patterns in turn must check the year it gets.
      {"EEE, dd MMM yyyy HH:mm:ss", "Sunday, 06-Nov-94 08:49:37 GMT",
       AssembleDate({94, 11, 6, 8, 49, 37}, TimeZone::Gmt())},
      {"EEE, dd MMM yyyy HH:mm:ss", "garbage", std::nullopt},
      {"EEE, dd MMM yyyy HH:mm:ss", "", std::nullopt},
  };
  for (const auto& c : cases) {
    auto f = DateFormatter::WithPattern(c.pattern, "en_US", TimeZone::Gmt());
    ASSERT_TRUE(f);
    f->SetLenient(true);
    EXPECT_EQ(f->Parse(c.text), c.expected) << c.text;
  }
}

TEST(DateFormatTest, LenientParsingBendsThePattern) {
  auto f = DateFormatter::WithPattern("EEE, dd MMM yyyy HH:mm:ss", "en_US", TimeZone::Gmt());
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->Parse("Tue, 5 Mar 2024 13:07:09"));
  f->SetLenient(true);
  EXPECT_EQ(f->Parse("Tue, 5 Mar 2024 13:07:09"), Sample());
}

TEST(DateFormatTest, EnvironmentLocale) {
  const char* names[] = {"LC_ALL", "LC_TIME", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* v = std::getenv(names[i]);
    had[i] = v != nullptr;
    if (v) saved[i] = v;
    unsetenv(names[i]);
  }
  EXPECT_EQ(EnvironmentLocale(), "en_US");
  setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(EnvironmentLocale(), "fr_FR");
  setenv("LC_TIME", "C", 1);
  EXPECT_EQ(EnvironmentLocale(), "en_US");
  setenv("LC_ALL", "de_DE.UTF-8@euro", 1);
  EXPECT_EQ(EnvironmentLocale(), "de_DE");
  for (int i = 0; i < 3; ++i) {
    if (had[i]) {
      setenv(names[i], saved[i].c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}

TEST(NumberFormatTest, GroupsDigitsAsTheLocaleDoes) {
  EXPECT_EQ(FormatGroupedInteger(1234567, "en_US"), "1,234,567");
  EXPECT_EQ(FormatGroupedInteger(1234567, "de_DE"), "1.234.567");
  EXPECT_EQ(FormatGroupedInteger(1234567, "fr_FR"),
            "1\xC2\xA0"
            "234\xC2\xA0"
            "567");
  EXPECT_EQ(FormatGroupedInteger(-1000, "en_US"), "-1,000");
  EXPECT_EQ(FormatGroupedInteger(999, "en_US"), "999");
  EXPECT_EQ(FormatGroupedInteger(1099511627776), "1,099,511,627,776");
}

}  // namespace
}  // namespace values
