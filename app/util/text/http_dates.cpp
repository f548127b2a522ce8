#include "app/util/text/http_dates.h"

#include <cmath>

#include "platform/values/date_format.h"
#include "platform/values/date_time.h"
#include "platform/values/format.h"

namespace util {

std::optional<values::AbsoluteTime> ParseHTTPDate(std::string_view text) {
  static constexpr std::string_view kPatterns[] = {
      "EEE, dd MMM yyyy HH:mm:ss",  // RFC 1123
      "EEEE, dd-MMM-yy HH:mm:ss",   // RFC 850
      "EEE MMM  d HH:mm:ss yyyy",   // asctime
  };
  // Strictly first: read leniently, the RFC 1123 pattern also takes an RFC 850 date and
  // reads its two-digit year "94" as the year 94. Leniency is for what no form fits exactly.
  for (bool lenient : {false, true}) {
    for (std::string_view pattern : kPatterns) {
      std::optional<values::DateFormatter> formatter =
          values::DateFormatter::WithPattern(pattern, "en_US", values::TimeZone::Gmt());
      if (!formatter) continue;
      formatter->SetLenient(lenient);
      if (std::optional<values::AbsoluteTime> t = formatter->Parse(text)) return t;
    }
  }
  return std::nullopt;
}

std::string CopyHTTPDateString(values::AbsoluteTime time) {
  static constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const values::CalendarDate d = values::SplitDate(time, values::TimeZone::Gmt());
  const int second = static_cast<int>(std::floor(d.date.second));
  return values::Format("%s, %.2d %s %.4d %.2d:%.2d:%.2d GMT",
                        {kDays[(d.day_of_week - 1) % 7], d.date.day, kMonths[(d.date.month - 1) % 12],
                         d.date.year, d.date.hour, d.date.minute, second});
}

}  // namespace util
