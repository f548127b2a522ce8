#pragma once
// Directory listings read entry by entry as their bytes arrive.
//
// A LIST data connection delivers lines in pieces. The reader keeps the bytes it has not
// used and offers them again and again; each call takes at most one line:
//   > 0  that many bytes were used (the line and its CR LF, CR or LF); `resource` holds
//        the entry, or nothing for a line that is not one ("total 42", blank lines)
//     0  no complete line yet: keep the bytes and call again when more arrive (at the end
//        of the data, call with `at_end` so that a last line without a line end counts)
//   < 0  the bytes cannot be a listing (a line longer than any listing line): give up
//
// Every style `ParseFTPListLine` knows is read; UNIX lines also give the owner, the group,
// the permission bits and a symbolic link's target.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/engine/ftp/ftp_list_parser.h"
#include "platform/values/value.h"

namespace engine {

// Resource types, numbered as directory-entry types are.
inline constexpr int kFTPResourceFolder = 4;
inline constexpr int kFTPResourceFile = 8;
inline constexpr int kFTPResourceLink = 10;

struct FTPResource {
  std::string name;  // UTF-8 (bytes that are not UTF-8 read as ISO Latin 1)
  int type = 0;      // kFTPResource...; also 1 pipe, 2 character device, 6 block device, 12 socket
  std::optional<std::int64_t> size;
  std::optional<values::Date> modified;
  std::string owner;
  std::string group;
  std::optional<int> mode;  // permission bits, 0755
  std::string link;         // a link's target
  bool operator==(const FTPResource&) const = default;
};

// Longest line accepted before the bytes are taken for something other than a listing.
inline constexpr std::size_t kFTPListingMaxLine = 64 * 1024;

std::int64_t ParseFTPResourceListing(std::string_view bytes, bool at_end,
                                     std::optional<FTPResource>& resource);
std::int64_t ParseFTPResourceListing(std::string_view bytes, bool at_end,
                                     std::optional<FTPResource>& resource, std::int64_t now_unix);

// The entry of one listing line as a resource (names decoded, NUL bytes back to line
// feeds); nothing when the line is not an entry.
std::optional<FTPResource> FTPResourceFromListLine(std::string_view line, std::int64_t now_unix);

}  // namespace engine
