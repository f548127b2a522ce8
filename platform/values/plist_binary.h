#pragma once
// Binary property lists ("bplist00"), the platform's compact encoding:
//
//   "bplist00" | objects | offset table | 32-byte trailer
//
// Each object starts with a marker byte: high nibble the type, low nibble a size or a
// count (15 = the count follows as an integer object). Containers hold references:
// indexes into the offset table, 1 to 8 bytes wide, whose entries give each object's file
// offset. The trailer gives the widths of offsets and references, the number of objects,
// the top object's reference and where the offset table starts.
//
// The writer shares one object among equal scalars (strings, numbers, dates, data), as
// the platform does, so dictionary keys repeated throughout a keyed archive cost one
// object. The reader trusts nothing: every offset, count and reference is checked against
// the file, a reference back to an object that is being read (a cycle) is refused, and
// containers reached by several references may not expand into more values than a bound
// proportional to the file, so a small hostile file cannot demand unbounded memory.

#include <cstdint>
#include <span>

#include "platform/values/plist.h"

namespace values {

inline constexpr std::string_view kBinaryPlistSignature = "bplist00";

PlistResult<Value> ReadBinaryPropertyList(std::span<const std::uint8_t> bytes);
PlistResult<Bytes> WriteBinaryPropertyList(const Value& value);

}  // namespace values
