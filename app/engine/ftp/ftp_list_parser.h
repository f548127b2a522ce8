#pragma once
// One line of an FTP directory listing, read into an `FTPListEntry`.
//
// Servers answer LIST in whatever their system's "ls" prints, so the line is recognised
// by its first byte:
//   "+"                      EPLF: comma-ended facts, a TAB, the name
//   "-" "d" "l" "b" "c" "p" "s"  UNIX long listing (the "ls -l" columns)
//   any line with a ";"      VMS: NAME.EXT;VERSION, directories end in ".DIR"
//   a leading digit          MS-DOS / IIS: date, time with AM/PM, "<DIR>" or a size, name
// Anything else ("total 12", blank lines, banners) is not an entry.
//
// The entry points into the caller's line (no copies); it is valid while the line is.
// Times are seconds since 1970-01-01 in the server's own reckoning: listings carry no
// time zone, so no shift is applied. A UNIX or MS-DOS line gives the time to the minute or
// the day; a UNIX line with a time of day and no year gets the year that puts the date
// less than 350 days in the past (or in the future): "ls" prints a time of day only for
// files younger than about six months, and a server's clock may run ahead of ours.
//
// Numbers are read digit by digit into unsigned accumulators that saturate, so a hostile
// or broken listing cannot overflow anything.

#include <cstdint>
#include <string_view>

namespace engine {

struct FTPListEntry {
  std::string_view name;
  bool try_change_directory = false;  // the entry may be a directory
  bool try_retrieve = false;          // the entry may be a file

  // 0: no size given; 1: size in bytes.
  int size_type = 0;
  std::int64_t size = 0;

  // 0: no time; 1: exact (EPLF, Unix time); 2: server time to the minute; 3: to the day.
  int time_type = 0;
  std::int64_t time = 0;

  // 0: no identifier; 1: a full identifier (EPLF "i" fact).
  int id_type = 0;
  std::string_view id;

  // UNIX lines only; empty otherwise.
  std::string_view permissions;  // "drwxr-xr-x"
  std::string_view owner;
  std::string_view group;
  std::string_view link_target;  // what follows " -> " on a symbolic-link line
};

// The time now, in seconds since 1970 (from values::Now()).
std::int64_t CurrentUnixTime();

// Reads one listing line (without its line end). False when the line is not an entry;
// `entry` is cleared first either way.
bool ParseFTPListLine(FTPListEntry& entry, std::string_view line);
// Same, with the time used to guess missing years.
bool ParseFTPListLine(FTPListEntry& entry, std::string_view line, std::int64_t now_unix);

// "jan".."dec" in any case, letter by letter, exactly three bytes: 0-11; -1 otherwise.
int FTPMonthIndex(std::string_view token);

// Seconds from 1970-01-01 to the given date of the proleptic Gregorian calendar (month
// 0-11). Out-of-range days roll over as the arithmetic takes them ("Feb 30" is Mar 2).
std::int64_t SecondsFromCivilDate(std::int64_t year, int month0, int day);

// The permission bits of an "ls -l" mode string ("drwxr-sr-t" gives 03755); -1 when the
// string is not one.
int FTPModeFromPermissions(std::string_view permissions);

}  // namespace engine
