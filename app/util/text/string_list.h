#pragma once
// A string list in the classic resource layout that the browser plug-in reads: an
// unsigned 16-bit big-endian count followed by that many length-prefixed strings (one
// length byte, then up to 255 bytes of text).

#include <string_view>

#include "platform/values/value.h"

namespace util {

// Appends one string (cut to 255 bytes) and increments the count. An empty buffer is
// taken as an empty list.
void AppendStringToSTRListHandle(values::Bytes& list, std::string_view text);

}  // namespace util
