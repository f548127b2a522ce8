#pragma once
// Cookie texts handed over by browsers ("a=1; b=2") become name -> value dictionaries.
//
// The reader is deliberately forgiving, the way a browser's header reader is: white space
// before a name or a value is skipped, a pair without a value or with a control
// character (below 0x20, or 0x7F) in its name or value is passed over, and a
// cookie without a name is kept under the empty name. What cannot be read is skipped up
// to the next ";", and a text that yields no pair at all gives no dictionary, so callers
// can tell "no cookies" from "empty cookies".

#include <optional>
#include <string_view>

#include "platform/values/value.h"

namespace engine {

// A dictionary of string values, or nothing when the text holds no name=value pair.
// Later pairs of the same name replace earlier ones.
std::optional<values::Dictionary> ParseCookieString(std::string_view text);

}  // namespace engine
