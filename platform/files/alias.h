#pragma once
// Aliases: records that find a file or folder again after it was renamed or moved.
//
// An alias holds the item's path and its identity (device, inode, and creation time where
// the file system keeps one, so that a recycled inode number is not taken for the item).
// A relative alias also holds the path from a base folder, so that it keeps working when
// the base folder and the item move together (a package holding its partial file).
//
// Resolving tries, in order:
//   1. the relative path from the base given to ResolveAlias, when the alias has one and the
//      item there has the recorded identity;
//   2. the recorded path, when the item there has the recorded identity;
//   3. a bounded search of the recorded device for the identity: the old parent folder (or
//      its nearest existing ancestor), the folders beside it, then the home folder a few
//      levels deep; at most kAliasSearchLimit entries are examined;
//   4. whatever now stands at the relative path, then at the recorded path, when it is of the
//      recorded kind (file or folder): a file replaced by a new one under the same name is
//      the file the user means;
//   5. otherwise fnfErr.
// When the item was found anywhere but by step 2, or its identity changed, the record is
// updated in place and the resolution says so, so that the caller stores the new bytes.
// An item moved to another file system, or farther than the search reaches, is found only
// by path.
//
// Byte form, big-endian, version 1:
//   0  4  magic "TRal"
//   4  2  version (1)
//   6  2  flags: 1 folder, 2 creation time present, 4 relative path present
//   8  8  device
//  16  8  inode
//  24  8  creation time, seconds since 1970 (signed; 0 when absent)
//  32  4  creation time, nanoseconds
//  36  4  length of the path in bytes, then the path (UTF-8)
//   .  4  length of the relative path, then the relative path (only with flag 4)
// Readers reject other magic numbers and versions, lengths running past the end and
// paths that are not absolute.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/value.h"

namespace files {

inline constexpr std::size_t kAliasSearchLimit = 20000;

struct AliasRecord {
  std::string path;           // absolute
  std::string relative_path;  // from the base, "" when the alias is not relative
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::optional<FileTime> creation_time;
  bool is_folder = false;

  bool operator==(const AliasRecord& other) const = default;
};

Result<AliasRecord> MakeAlias(const FileRef& target);
// The relative path may climb out of the base ("../x").
Result<AliasRecord> MakeAliasRelativeTo(const FileRef& target, const FileRef& base);

values::Bytes AliasToBytes(const AliasRecord& alias);
Result<AliasRecord> AliasFromBytes(std::span<const std::uint8_t> bytes);  // paramErr when malformed

struct AliasResolution {
  FileRef ref;
  bool updated = false;  // the record changed: store AliasToBytes(alias) again
};

Result<AliasResolution> ResolveAlias(AliasRecord& alias, const FileRef* base = nullptr);

}  // namespace files
