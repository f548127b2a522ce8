#pragma once
// Resource files: typed, numbered resources in the classic resource-map layout, kept in
// a file's data fork (the plug-in file-type resource is such a file), and the `STR#`
// string-list resource.
//
// Layout (all integers big-endian): a 16-byte header {data offset, map offset, data
// length, map length}; the data area, each resource a 32-bit length and its bytes; the
// map: a copy of the header, 4 + 2 + 2 bytes kept zero, the offsets (from the map's start)
// of the type list and of the name list, then the type list {count - 1, then per type:
// the type, its resource count - 1, the offset of its reference list from the type list's
// start} and the reference lists {id, name offset (-1: no name), attributes, a 24-bit
// data offset from the data area's start, 4 bytes kept zero}.
//
// Writing is for a handful of small resources, as the plug-in's file holds: the map's
// offsets are 16-bit and the data offsets 24-bit.
//
// Reading trusts nothing: every offset and count is checked against the file's size, and
// a file larger than kMaxResourceFileBytes is refused.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/fourcc.h"

namespace files {

inline constexpr std::size_t kMaxResourceFileBytes = 16 * 1024 * 1024;

struct Resource {
  values::FourCharCode type = 0;
  std::int16_t id = 0;
  std::string data;
};

// No value when the bytes are not a well-formed resource file.
std::optional<std::vector<Resource>> ParseResourceFile(std::string_view bytes);
std::string BuildResourceFile(const std::vector<Resource>& resources);

std::optional<std::vector<Resource>> ReadResourceFile(const std::string& path);
bool WriteResourceFile(const std::string& path, const std::vector<Resource>& resources);

// `STR#`: a 16-bit count, then per string a length byte and at most 255 bytes of Mac OS
// Roman text. Strings are UTF-8 here; a string longer than 255 bytes once encoded is cut
// at a character boundary, and a character Mac OS Roman lacks becomes "?".
inline constexpr values::FourCharCode kStringListType = values::FourCC("STR#");
std::optional<std::vector<std::string>> ParseStringList(std::string_view data);
std::string BuildStringList(const std::vector<std::string>& strings);

// The data of the resource of that type and id, or nothing.
const Resource* FindResource(const std::vector<Resource>& resources, values::FourCharCode type,
                             std::int16_t id);

}  // namespace files
