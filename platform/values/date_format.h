#pragma once
// Dates as text for people (list cells, log entries, dialogs) and dates read back from text
// (HTTP dates), through ICU's date formats.
//
// A formatter has a locale, a time zone and either a pair of styles (short, medium, long,
// full, or none for the date or the time part) or a pattern in the Unicode date-pattern
// syntax ("EEE, dd MMM yyyy HH:mm:ss"). The locale defaults to the program's display
// locale: "en_US" unless set with SetDisplayLocale (the application passes the user's
// locale at start; tests may pass another). Formatted text uses plain spaces where recent
// locale data puts narrow or thin no-break spaces (before "PM", between the pieces of a
// range), as the platform's output did and as logs and tests expect.
//
// A formatter may be used from several threads; each call is serialised on the formatter.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/values/date_time.h"

namespace values {

enum class DateStyle { kNone, kShort, kMedium, kLong, kFull };

// The locale for dates and numbers shown to the user ("en_US", "de_DE", ...).
std::string DisplayLocale();
void SetDisplayLocale(std::string locale);
// The user's locale as the environment names it (LC_ALL, LC_TIME, LANG), "en_US" when unset.
std::string EnvironmentLocale();

class DateFormatter {
 public:
  // nullopt only when ICU has no data for the request (an unknown locale falls back to
  // ICU's root data, it is not an error).
  static std::optional<DateFormatter> WithStyles(DateStyle date, DateStyle time, const std::string& locale,
                                                 const TimeZone& zone);
  static std::optional<DateFormatter> WithStyles(DateStyle date, DateStyle time) {
    return WithStyles(date, time, DisplayLocale(), DefaultTimeZone());
  }
  // nullopt when ICU refuses the pattern (it reads most texts somehow).
  static std::optional<DateFormatter> WithPattern(std::string_view pattern, const std::string& locale,
                                                  const TimeZone& zone);
  static std::optional<DateFormatter> WithPattern(std::string_view pattern) {
    return WithPattern(pattern, DisplayLocale(), DefaultTimeZone());
  }

  ~DateFormatter();
  DateFormatter(DateFormatter&&) noexcept;
  DateFormatter& operator=(DateFormatter&&) noexcept;

  // Lenient parsing accepts texts that bend the pattern a little (a one-digit day for "dd",
  // a full day name for "EEE"). Off by default.
  void SetLenient(bool lenient);

  // The pattern in use (for styles, the locale's pattern for them).
  std::string Pattern() const;

  std::string Format(AbsoluteTime t) const;

  // Reads a date from the start of `text`; text behind the last field is allowed and
  // ignored. nullopt when the text does not fit the pattern.
  std::optional<AbsoluteTime> Parse(std::string_view text) const;

 private:
  struct Impl;
  explicit DateFormatter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace values
