#include "app/engine/ftp/ftp_list_parser.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/values/clock.h"

namespace engine {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// A date without a year is taken in the first year that puts it less than this far in the
// past: "ls" shows a time of day instead of a year for files under about six months old,
// and 350 days leave room for servers whose clocks or time zones differ from ours.
constexpr std::int64_t kYearGuessWindow = 30240000;  // 350 days

constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Leading decimal digits of `text`, saturating at the largest signed 64-bit value.
std::int64_t ReadDecimal(std::string_view text) {
  constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    const unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (kMax - digit) / 10) return static_cast<std::int64_t>(kMax);
    value = value * 10 + digit;
  }
  return static_cast<std::int64_t>(value);
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

bool IsLeapYear(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days since 1970-01-01 back to a civil year (inverse of the day count, year only).
std::int64_t YearOfUnixTime(std::int64_t seconds) {
  std::int64_t days =
      seconds >= 0 ? seconds / kSecondsPerDay : (seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;  // 0 = March
  return year_of_era + era * 400 + (month_index >= 10 ? 1 : 0);
}

// The midnight of month/day in the year a dateless listing line most likely means; false
// when no year in the next century fits (it always does unless `now` is absurd).
bool GuessDateWithoutYear(int month0, int day, std::int64_t now, std::int64_t& midnight) {
  const std::int64_t current_year = YearOfUnixTime(now);
  for (std::int64_t year = current_year - 1; year <= current_year + 99; ++year) {
    // February 29 only exists in leap years; rolling it over to March 1 of another year
    // would date the file on a day it cannot carry.
    if (month0 == 1 && day == 29 && !IsLeapYear(year)) continue;
    const std::int64_t candidate = SecondsFromCivilDate(year, month0, day);
    if (candidate > now - kYearGuessWindow) {
      midnight = candidate;
      return true;
    }
  }
  return false;
}

void Clear(FTPListEntry& entry) {
  entry = FTPListEntry{};
}

bool ParseEplf(FTPListEntry& entry, std::string_view line) {
  std::size_t pos = 1;
  const std::size_t n = line.size();
  while (true) {
    if (pos >= n) return false;
    if (line[pos] == '\t') break;
    std::size_t end = pos;
    while (end < n && line[end] != ',' && line[end] != '\t') ++end;
    if (end >= n) return false;
    if (line[end] == '\t') {
      // A fact that never got its comma is not a fact.
      pos = end;
      break;
    }
    const std::string_view fact = line.substr(pos, end - pos);
    if (!fact.empty()) {
      switch (fact[0]) {
        case '/':
          entry.try_change_directory = true;
          break;
        case 'r':
          entry.try_retrieve = true;
          break;
        case 's':
          if (AllDigits(fact.substr(1))) {
            entry.size_type = 1;
            entry.size = ReadDecimal(fact.substr(1));
          }
          break;
        case 'm':
          if (AllDigits(fact.substr(1))) {
            entry.time_type = 1;
            entry.time = ReadDecimal(fact.substr(1));
          }
          break;
        case 'i':
          entry.id_type = 1;
          entry.id = fact.substr(1);
          break;
        default:
          break;
      }
    }
    pos = end + 1;
  }
  entry.name = line.substr(pos + 1);
  return !entry.name.empty();
}

bool ParseUnix(FTPListEntry& entry, std::string_view line, std::int64_t now) {
  const char kind = line[0];
  if (kind == 'd') entry.try_change_directory = true;
  if (kind == '-') entry.try_retrieve = true;
  if (kind == 'l') entry.try_change_directory = entry.try_retrieve = true;

  int state = 1;
  std::size_t token_start = 0;
  std::string_view first_number;  // the group column, when the line has one
  std::string_view size_token;
  int number_tokens = 0;
  int month0 = -1;
  int day = 0;
  std::size_t name_start = std::string_view::npos;

  const std::size_t n = line.size();
  for (std::size_t i = 1; i < n && state != 8; ++i) {
    if (line[i] != ' ') {
      if (line[i - 1] == ' ') token_start = i;
      continue;
    }
    if (line[i - 1] == ' ') continue;
    const std::string_view token = line.substr(token_start, i - token_start);
    switch (state) {
      case 1:
        entry.permissions = token;
        state = 2;
        break;
      case 2:
        // Some Mac servers print "folder" in place of the link count, and no owner.
        state = (token.size() == 6 && token[0] == 'f') ? 4 : 3;
        break;
      case 3:
        entry.owner = token;
        state = 4;
        break;
      case 4:
        first_number = size_token = token;
        number_tokens = 1;
        state = 5;
        break;
      case 5:
        if (const int m = FTPMonthIndex(token); m >= 0) {
          month0 = m;
          state = 6;
        } else {
          // The number right before the month is the size, with or without a group column.
          size_token = token;
          ++number_tokens;
        }
        break;
      case 6:
        if (!AllDigits(token)) return false;
        day = static_cast<int>(ReadDecimal(token));
        if (day < 1 || day > 31) return false;
        state = 7;
        break;
      case 7: {
        std::int64_t time = 0;
        if ((token.size() == 4 && token[1] == ':') || (token.size() == 5 && token[2] == ':')) {
          const std::size_t colon = token.size() - 3;
          const std::string_view hour_text = token.substr(0, colon);
          const std::string_view minute_text = token.substr(colon + 1);
          if (!AllDigits(hour_text) || !AllDigits(minute_text)) return false;
          std::int64_t midnight = 0;
          if (!GuessDateWithoutYear(month0, day, now, midnight)) return false;
          time = midnight + ReadDecimal(minute_text) * 60 + ReadDecimal(hour_text) * 3600;
          entry.time_type = 2;
        } else if (token.size() < 4) {
          return false;
        } else {
          if (!AllDigits(token)) return false;
          time = SecondsFromCivilDate(ReadDecimal(token.substr(0, 6)), month0, day);
          entry.time_type = 3;
        }
        entry.time = time;
        name_start = i + 1;
        state = 8;
        break;
      }
      default:
        break;
    }
  }
  if (state != 8 || name_start >= n) return false;

  entry.size_type = 1;
  entry.size = ReadDecimal(size_token);
  if (number_tokens >= 2 && !entry.owner.empty()) entry.group = first_number;

  std::string_view name = line.substr(name_start);
  if (kind == 'l') {
    const std::size_t arrow = name.find(" -> ");
    if (arrow != std::string_view::npos && arrow + 4 <= name.size()) {
      entry.link_target = name.substr(arrow + 4);
      name = name.substr(0, arrow);
    }
  }
  if ((line[1] == ' ' || line[1] == '[') && name.size() >= 4 && name.substr(0, 3) == "   ") {
    name.remove_prefix(3);
  }
  if (name.empty()) return false;
  entry.name = name;
  return true;
}

// A cursor over the line whose scans fail when they run off its end.
class Scanner {
 public:
  explicit Scanner(std::string_view line) : line_(line) {}

  bool AtEnd() const { return pos_ >= line_.size(); }
  char Peek() const { return line_[pos_]; }
  std::size_t Position() const { return pos_; }
  std::string_view Rest() const { return line_.substr(pos_); }
  void Advance() { ++pos_; }

  // Text up to (not including) the first of `stops`; false when none is found.
  bool ReadUntil(std::string_view stops, std::string_view& out) {
    const std::size_t start = pos_;
    while (pos_ < line_.size() && stops.find(line_[pos_]) == std::string_view::npos) ++pos_;
    out = line_.substr(start, pos_ - start);
    return pos_ < line_.size();
  }
  // Skips bytes equal to `c`; false when that reaches the end.
  bool Skip(char c) {
    while (pos_ < line_.size() && line_[pos_] == c) ++pos_;
    return pos_ < line_.size();
  }

 private:
  std::string_view line_;
  std::size_t pos_ = 0;
};

bool ParseVms(FTPListEntry& entry, std::string_view line) {
  const std::size_t semicolon = line.find(';');
  std::string_view name = line.substr(0, semicolon);
  // VMS names never hold spaces; a line that does is some other style with a ";" in it.
  if (name.empty() || name.find(' ') != std::string_view::npos) return false;
  if (name.size() > 4 && name.substr(name.size() - 4) == ".DIR") {
    name.remove_suffix(4);
    entry.try_change_directory = true;
  } else {
    entry.try_retrieve = true;
  }
  entry.name = name;

  Scanner scan(line.substr(semicolon));
  std::string_view skipped, day_text, month_text, year_text, hour_text, minute_text;
  if (!scan.ReadUntil(" ", skipped) || !scan.Skip(' ')) return false;
  if (!scan.ReadUntil(" ", skipped) || !scan.Skip(' ')) return false;  // size in blocks
  if (!scan.ReadUntil("-", day_text) || !scan.Skip('-')) return false;
  if (!scan.ReadUntil("-", month_text) || !scan.Skip('-')) return false;
  if (!scan.ReadUntil(" ", year_text) || !scan.Skip(' ')) return false;
  if (!scan.ReadUntil(":", hour_text) || !scan.Skip(':')) return false;
  if (!scan.ReadUntil(" :", minute_text)) return false;

  const int month0 = FTPMonthIndex(month_text);
  if (month0 < 0 || !AllDigits(day_text) || !AllDigits(year_text) || !AllDigits(hour_text) ||
      !AllDigits(minute_text)) {
    return false;
  }
  entry.time_type = 2;
  entry.time = SecondsFromCivilDate(ReadDecimal(year_text.substr(0, 6)), month0,
                                    static_cast<int>(ReadDecimal(day_text.substr(0, 2)))) +
               ReadDecimal(minute_text.substr(0, 2)) * 60 + ReadDecimal(hour_text.substr(0, 2)) * 3600;
  return true;
}

bool ParseMsDos(FTPListEntry& entry, std::string_view line) {
  Scanner scan(line);
  std::string_view month_text, day_text, year_text, hour_text, minute_text;
  if (!scan.ReadUntil("-", month_text) || !scan.Skip('-')) return false;
  if (!scan.ReadUntil("-", day_text) || !scan.Skip('-')) return false;
  if (!scan.ReadUntil(" ", year_text) || !scan.Skip(' ')) return false;
  if (!scan.ReadUntil(":", hour_text) || !scan.Skip(':')) return false;
  if (!AllDigits(month_text) || !AllDigits(day_text) || !AllDigits(year_text) || !AllDigits(hour_text)) {
    return false;
  }
  const std::int64_t month = ReadDecimal(month_text);
  const std::int64_t day = ReadDecimal(day_text);
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  std::int64_t year = ReadDecimal(year_text.substr(0, 6));
  if (year < 50) year += 2000;
  if (year < 1000) year += 1900;

  // The minute is its digits; IIS in 24-hour mode prints no AM/PM after them.
  const std::size_t minute_start = scan.Position();
  while (!scan.AtEnd() && IsDigit(scan.Peek())) scan.Advance();
  minute_text = line.substr(minute_start, scan.Position() - minute_start);
  if (minute_text.empty() || scan.AtEnd()) return false;
  std::int64_t hour = ReadDecimal(hour_text.substr(0, 2));
  if (scan.Peek() == 'A' || scan.Peek() == 'P') {
    // 12 AM is midnight and 12 PM noon; only a 12-hour clock counts 12 as 0.
    if (hour == 12) hour = 0;
    if (scan.Peek() == 'P') hour += 12;
    scan.Advance();
    if (!scan.AtEnd() && scan.Peek() == 'M') scan.Advance();
  }
  if (!scan.Skip(' ')) return false;

  std::string_view token;
  if (!scan.ReadUntil(" ", token)) return false;
  if (token[0] == '<') {
    entry.try_change_directory = true;
  } else {
    std::string digits;
    for (char c : token) {
      if (IsDigit(c)) {
        digits.push_back(c);
      } else if (c != ',') {
        return false;
      }
    }
    if (digits.empty()) return false;
    entry.size_type = 1;
    entry.size = ReadDecimal(digits);
    entry.try_retrieve = true;
  }
  if (!scan.Skip(' ')) return false;
  entry.name = scan.Rest();
  entry.time_type = 2;
  entry.time = SecondsFromCivilDate(year, static_cast<int>(month - 1), static_cast<int>(day)) +
               ReadDecimal(minute_text.substr(0, 2)) * 60 + hour * 3600;
  return true;
}

}  // namespace

std::int64_t CurrentUnixTime() {
  return static_cast<std::int64_t>(std::floor(values::Now() + values::kAbsoluteTimeIntervalSince1970));
}

int FTPMonthIndex(std::string_view token) {
  if (token.size() != 3) return -1;
  for (int m = 0; m < 12; ++m) {
    const char* name = kMonths[static_cast<std::size_t>(m)];
    bool match = true;
    for (int i = 0; i < 3 && match; ++i) {
      match = token[i] == name[i] || token[i] == name[i] - 32;
    }
    if (match) return m;
  }
  return -1;
}

std::int64_t SecondsFromCivilDate(std::int64_t year, int month0, int day) {
  // Years counted from March, so that February 29 is the last day of a year and the
  // month lengths repeat in a pattern (153 days every five months).
  const int month = month0 + 1;
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const std::int64_t days = era * 146097 + day_of_era - 719468;  // 0000-03-01 to 1970-01-01
  return days * kSecondsPerDay;
}

int FTPModeFromPermissions(std::string_view permissions) {
  if (permissions.size() < 10) return -1;
  int mode = 0;
  for (int who = 0; who < 3; ++who) {
    const char r = permissions[static_cast<std::size_t>(1 + who * 3)];
    const char w = permissions[static_cast<std::size_t>(2 + who * 3)];
    const char x = permissions[static_cast<std::size_t>(3 + who * 3)];
    const int shift = (2 - who) * 3;
    if (r == 'r') {
      mode |= 4 << shift;
    } else if (r != '-') {
      return -1;
    }
    if (w == 'w') {
      mode |= 2 << shift;
    } else if (w != '-') {
      return -1;
    }
    // The special bit rides on the execute column: lower case with execute, upper without.
    const char special = who == 2 ? 't' : 's';
    const int special_bit = who == 0 ? 04000 : who == 1 ? 02000 : 01000;
    if (x == 'x') {
      mode |= 1 << shift;
    } else if (x == special) {
      mode |= (1 << shift) | special_bit;
    } else if (x == special - 32) {
      mode |= special_bit;
    } else if (x != '-') {
      return -1;
    }
  }
  return mode;
}

bool ParseFTPListLine(FTPListEntry& entry, std::string_view line) {
  return ParseFTPListLine(entry, line, CurrentUnixTime());
}

bool ParseFTPListLine(FTPListEntry& entry, std::string_view line, std::int64_t now_unix) {
  Clear(entry);
  if (line.size() < 2) return false;
  bool parsed = false;
  switch (line[0]) {
    case 'b':
    case 'c':
    case 'd':
    case 'l':
    case 'p':
    case 's':
    case '-':
      parsed = ParseUnix(entry, line, now_unix);
      break;
    case '+':
      parsed = ParseEplf(entry, line);
      break;
    default:
      if (line.find(';') != std::string_view::npos) {
        parsed = ParseVms(entry, line);
        if (parsed) break;
        Clear(entry);
      }
      if (IsDigit(line[0])) parsed = ParseMsDos(entry, line);
      break;
  }
  if (!parsed) Clear(entry);
  return parsed;
}

}  // namespace engine
