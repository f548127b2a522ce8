#include "platform/values/number_format.h"

#include <unicode/numberformatter.h>

#include "platform/values/date_format.h"

namespace values {

std::string FormatGroupedInteger(std::int64_t value, const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::number::FormattedNumber formatted =
      icu::number::NumberFormatter::withLocale(icu::Locale(locale.c_str()))
          .grouping(UNUM_GROUPING_AUTO)
          .formatInt(value, status);
  if (U_FAILURE(status)) return std::to_string(value);
  icu::UnicodeString text = formatted.toString(status);
  if (U_FAILURE(status) || text.isEmpty()) return std::to_string(value);
  // Recent locale data groups French digits with a narrow no-break space; the platform
  // wrote the ordinary no-break space, which every font has.
  text.findAndReplace(icu::UnicodeString(static_cast<UChar>(0x202F)),
                      icu::UnicodeString(static_cast<UChar>(0xA0)));
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::string FormatGroupedInteger(std::int64_t value) {
  return FormatGroupedInteger(value, DisplayLocale());
}

}  // namespace values
