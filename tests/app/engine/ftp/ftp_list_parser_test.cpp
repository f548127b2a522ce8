#include "app/engine/ftp/ftp_list_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace engine {
namespace {

// 2024-06-15 12:00:00 UTC: dates without a year are guessed against it.
constexpr std::int64_t kNow = 1718452800;

struct LineCase {
  const char* what;
  std::string line;
  std::string name;
  bool directory;
  bool file;
  int size_type;
  std::int64_t size;
  int time_type;
  std::int64_t time;
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.what;
}

class ListLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(ListLineTest, ReadsEntry) {
  const LineCase& c = GetParam();
  FTPListEntry entry;
  ASSERT_TRUE(ParseFTPListLine(entry, c.line, kNow)) << c.line;
  EXPECT_EQ(entry.name, c.name);
  EXPECT_EQ(entry.try_change_directory, c.directory);
  EXPECT_EQ(entry.try_retrieve, c.file);
  EXPECT_EQ(entry.size_type, c.size_type);
  if (c.size_type) {
    EXPECT_EQ(entry.size, c.size);
  }
  EXPECT_EQ(entry.time_type, c.time_type);
  EXPECT_EQ(entry.time, c.time);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ListLineTest,
    ::testing::Values(
        // vsftpd: numeric owner and group, a date five days ahead of our clock stays this year.
        LineCase{"vsftpd_future_date", "-rw-r--r--    1 1000     1000      1048576 Jun 20 08:00 big file.bin",
                 "big file.bin", false, true, 1, 1048576, 2, 1718870400},
        // 225 days back: last year's November.
        LineCase{"vsftpd_directory", "drwxr-xr-x    2 ftp      ftp          4096 Nov 03 14:07 pub", "pub",
                 true, false, 1, 4096, 2, 1699020420},
        LineCase{"proftpd_over_4g", "-rw-r--r--   1 owner    group    5000000000 Jan 10 09:30 huge.iso",
                 "huge.iso", false, true, 1, 5000000000, 2, 1704879000},
        LineCase{"no_group_column", "-rw-r--r--   1 owner    5000000000 Jan 10 09:30 huge.iso", "huge.iso",
                 false, true, 1, 5000000000, 2, 1704879000},
        LineCase{"year_instead_of_time", "-rw-r--r--   1 root     root          312 Mar 18  2009 README",
                 "README", false, true, 1, 312, 3, 1237334400},
        LineCase{"spaces_kept_inside_name", "-rw-r--r--   1 u g 10 Mar 18  2009 my  file .txt",
                 "my  file .txt", false, true, 1, 10, 3, 1237334400},
        LineCase{"leading_space_of_name_kept", "-rw-r--r--   1 u g 10 Mar 18  2009  lead", " lead", false,
                 true, 1, 10, 3, 1237334400},
        LineCase{"symbolic_link",
                 "lrwxrwxrwx   1 root     root           11 Jan 10 09:30 latest -> releases/v2", "latest",
                 true, true, 1, 11, 2, 1704879000},
        LineCase{"upper_case_month", "-rw-r--r--   1 root     root          312 MAR 18  2009 README",
                 "README", false, true, 1, 312, 3, 1237334400},
        LineCase{"leap_day_with_year", "-rw-r--r--   1 root     root          1 Feb 29  2012 leap", "leap",
                 false, true, 1, 1, 3, 1330473600},
        // Mac servers: "folder" instead of the link count and no owner.
        LineCase{"mac_folder_column", "drwxrwxr-x               folder        2 May 10  1996 network",
                 "network", true, false, 1, 2, 3, 831686400},
        // NetWare: a single-letter type, then three spaces before the name that are not the name's.
        LineCase{"netware_three_spaces", "d [R----F--] supervisor            512       Jan 16 18:53    login",
                 "login", true, false, 1, 512, 2, 1705431180},
        LineCase{"eplf_file", "+i8388621.48594,m825718503,r,s280,\tdjb.html", "djb.html", false, true, 1, 280,
                 1, 825718503},
        LineCase{"eplf_directory", "+i8388621.29609,m824255902,/,\tdev", "dev", true, false, 0, 0, 1,
                 824255902},
        // "s280" has no comma before the TAB: not a fact.
        LineCase{"eplf_fact_without_comma", "+m825718503,s280\tname", "name", false, false, 0, 0, 1,
                 825718503},
        LineCase{"vms_directory", "CORE.DIR;1          1  8-SEP-1996 16:09 [SYSTEM] (RWE,RWE,RE,RE)", "CORE",
                 true, false, 0, 0, 2, 842198940},
        LineCase{"vms_file", "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)",
                 "00README.TXT", false, true, 0, 0, 2, 851967840},
        LineCase{"iis_directory", "01-16-02  11:14AM       <DIR>          epsgroup", "epsgroup", true, false,
                 0, 0, 2, 1011179640},
        LineCase{"iis_file_pm", "11-10-04  01:55PM                 1234 file name.txt", "file name.txt",
                 false, true, 1, 1234, 2, 1100094900},
        LineCase{"dos_year_00_is_2000", "01-01-00  09:09PM                    7 x", "x", false, true, 1, 7, 2,
                 946760940},
        LineCase{"dos_year_99_is_1999_and_12am_is_midnight", "12-31-99  12:05AM                    5 y", "y",
                 false, true, 1, 5, 2, 946598700},
        LineCase{"iis_24_hour_four_digit_year", "03-15-2003  14:14       <DIR>          Program Files",
                 "Program Files", true, false, 0, 0, 2, 1047737640},
        LineCase{"dos_name_with_semicolon", "11-10-04  01:55PM                 1234 a;b.txt", "a;b.txt",
                 false, true, 1, 1234, 2, 1100094900}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ListLineTest, RefusesWhatIsNotAnEntry) {
  for (std::string_view line : {
           "",
           "-",
           "total 24",
           "drwxr-xr-x   2 ftp ftp 4096 Nov 03",               // ends inside the date
           "-rw-r--r--   1 owner group 312 Mar 18 2009",       // no name after the year
           "-rw-r--r--   1 owner group 312 Mar 18 20",         // a year token too short
           "-rw-r--r--   1 owner group 312 Foo 18 2009 name",  // never a month
           "+i1,m2,r,",
           "+i1,m2",
           "+r,\t",
           "FOO.TXT;1   2 30-DEC-1996",
           "01-16-02  11:14AM",
           "211 End of status",
           "13-01-02  11:14AM  5 bad-month",
           "Directory DISK$USER:[FTP]",
       }) {
    FTPListEntry entry;
    EXPECT_FALSE(ParseFTPListLine(entry, line, kNow)) << line;
    EXPECT_TRUE(entry.name.empty());
  }
}

TEST(ListLineTest, UnixLineKeepsOwnerGroupModeAndLinkTarget) {
  FTPListEntry entry;
  ASSERT_TRUE(ParseFTPListLine(entry, "lrwxrwxrwx   1 alice    staff  11 Jan 10 09:30 a -> b -> c", kNow));
  EXPECT_EQ(entry.owner, "alice");
  EXPECT_EQ(entry.group, "staff");
  EXPECT_EQ(entry.permissions, "lrwxrwxrwx");
  EXPECT_EQ(entry.name, "a");  // the first arrow splits
  EXPECT_EQ(entry.link_target, "b -> c");

  ASSERT_TRUE(ParseFTPListLine(entry, "-rw-r--r--   1 alice  5 Jan 10 09:30 x", kNow));
  EXPECT_EQ(entry.owner, "alice");
  EXPECT_EQ(entry.group, "");
}

TEST(ListLineTest, EplfIdentifierPointsIntoLine) {
  FTPListEntry entry;
  ASSERT_TRUE(ParseFTPListLine(entry, "+i8388621.48594,m825718503,r,s280,\tdjb.html", kNow));
  EXPECT_EQ(entry.id_type, 1);
  EXPECT_EQ(entry.id, "8388621.48594");
}

TEST(ListLineTest, HugeNumbersSaturateInsteadOfOverflowing) {
  FTPListEntry entry;
  ASSERT_TRUE(ParseFTPListLine(entry, "-rw-r--r-- 1 u g 99999999999999999999999999 Mar 18 2009 x", kNow));
  EXPECT_EQ(entry.size, INT64_MAX);
  ASSERT_TRUE(ParseFTPListLine(entry, "+s18446744073709551616,\tx", kNow));
  EXPECT_EQ(entry.size, INT64_MAX);
}

struct YearCase {
  const char* what;
  std::int64_t now;
  std::string date;
  std::int64_t expected;
};

void PrintTo(const YearCase& c, std::ostream* os) {
  *os << c.what;
}

class YearGuessTest : public ::testing::TestWithParam<YearCase> {};

TEST_P(YearGuessTest, PicksYearNotMoreThan350DaysBack) {
  const YearCase& c = GetParam();
  FTPListEntry entry;
  ASSERT_TRUE(ParseFTPListLine(entry, "-rw-r--r-- 1 u g 1 " + c.date + " name", c.now));
  EXPECT_EQ(entry.time_type, 2);
  EXPECT_EQ(entry.time, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, YearGuessTest,
    ::testing::Values(YearCase{"earlier_this_year", kNow, "Jan 10 09:30", 1704879000},
                      YearCase{"late_last_year", kNow, "Nov 03 14:07", 1699020420},
                      // Exactly a year before would be 361 days back: the server's clock is ahead.
                      YearCase{"slightly_ahead", kNow, "Jun 20 08:00", 1718870400},
                      // 2025-02-01: the leap day 338 days back.
                      YearCase{"leap_day_last_year", 1738368000, "Feb 29 10:00", 1709200800},
                      YearCase{"leap_day_this_year", kNow, "Feb 29 10:00", 1709200800}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ListLineTest, MonthNamesMatchLetterByLetterInEitherCase) {
  EXPECT_EQ(FTPMonthIndex("jan"), 0);
  EXPECT_EQ(FTPMonthIndex("DEC"), 11);
  EXPECT_EQ(FTPMonthIndex("sEp"), 8);
  EXPECT_EQ(FTPMonthIndex("june"), -1);
  EXPECT_EQ(FTPMonthIndex("ja"), -1);
  EXPECT_EQ(FTPMonthIndex("j@n"), -1);
}

TEST(ListLineTest, CivilDatesCountFromTheEpoch) {
  EXPECT_EQ(SecondsFromCivilDate(1970, 0, 1), 0);
  EXPECT_EQ(SecondsFromCivilDate(2000, 1, 29), 951782400);
  EXPECT_EQ(SecondsFromCivilDate(2000, 2, 1), 951868800);
  EXPECT_EQ(SecondsFromCivilDate(1969, 11, 31), -86400);
  EXPECT_EQ(SecondsFromCivilDate(2100, 2, 1), 4107542400);  // 2100 has no February 29
}

TEST(ListLineTest, ModeStringsGiveBits) {
  EXPECT_EQ(FTPModeFromPermissions("drwxr-xr-x"), 0755);
  EXPECT_EQ(FTPModeFromPermissions("-rw-r-----"), 0640);
  EXPECT_EQ(FTPModeFromPermissions("drwxrwxrwt"), 01777);
  EXPECT_EQ(FTPModeFromPermissions("-rwsr-Sr-T"), 06744 | 01000);
  EXPECT_EQ(FTPModeFromPermissions("-rw-r--r--+"), 0644);  // ACL marker after the bits
  EXPECT_EQ(FTPModeFromPermissions("d"), -1);
  EXPECT_EQ(FTPModeFromPermissions("[R----F--]"), -1);
}

}  // namespace
}  // namespace engine
