#pragma once
// Whole numbers for people, grouped as the display locale groups digits ("1,234,567" in
// en_US, "1.234.567" in de_DE). Byte counts in dialogs use it next to the short forms.

#include <cstdint>
#include <string>

namespace values {

std::string FormatGroupedInteger(std::int64_t value, const std::string& locale);
std::string FormatGroupedInteger(std::int64_t value);  // in DisplayLocale()

}  // namespace values
