#pragma once
// Sizes as the lists show them.

#include <cstdint>
#include <string>

namespace util {

// "--" below 0; "%ld bytes" below 1024; "%ld KB" (whole kilobytes) below 1 MB; "%.1f MB"
// below 1 GB; the "kGigabyteFormat" text with the gigabytes above. The fractional sizes
// are computed in single precision, as the lists have always shown them. Formats are
// looked up in the strings table with the English text as key.
std::string CopyByteCountString(std::int64_t byte_count);

}  // namespace util
