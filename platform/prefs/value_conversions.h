#pragma once
// How a stored preference converts to the type a reader asks for. Preference files are
// edited by hand and by other programs, so a Boolean may arrive as a number or as the
// text "YES", and a number as text.

#include <cstdint>
#include <optional>

#include "platform/values/value.h"

namespace prefs {

// Booleans; numbers (non-zero is true); "true"/"yes" and "false"/"no" in any case, and
// integer text.
std::optional<bool> BoolFromValue(const values::Value& v);
// Numbers (reals truncate toward zero); Booleans as 0 or 1; decimal integer text.
std::optional<std::int64_t> IntegerFromValue(const values::Value& v);
// Numbers; Booleans as 0 or 1; decimal text.
std::optional<double> DoubleFromValue(const values::Value& v);

}  // namespace prefs
