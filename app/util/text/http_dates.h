#pragma once
// HTTP dates: reading the three forms servers send (RFC 1123, RFC 850 and the C
// library's asctime form) and writing the RFC 1123 form. Names of days and months are
// English whatever the user's language.

#include <optional>
#include <string>
#include <string_view>

#include "platform/values/clock.h"

namespace util {

// The time, or nothing when no form fits. Tried in order: "EEE, dd MMM yyyy HH:mm:ss",
// "EEEE, dd-MMM-yy HH:mm:ss", "EEE MMM  d HH:mm:ss yyyy", all in GMT, each exactly and
// then each leniently (a one-digit day, a full day name); text after the last field
// (" GMT") is not needed.
std::optional<values::AbsoluteTime> ParseHTTPDate(std::string_view text);

// "Sun, 06 Nov 1994 08:49:37 GMT"; fractions of a second are cut, never rounded up.
std::string CopyHTTPDateString(values::AbsoluteTime time);

}  // namespace util
