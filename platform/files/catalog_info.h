#pragma once
// What the file system knows about one item: kind, identity (device and inode), size,
// permissions, owner and times.
//
// Items whose name begins with "." are hidden, as file managers show them. Symbolic links
// stand in for the aliases of the other platform: `is_symlink` tells that the item is one;
// by default the information is the link's own, and `LinkMode::kFollow` reads the target's
// while still reporting that the item was a link. The creation time comes from statx and is
// absent on file systems that do not keep one.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/value.h"

namespace files {

struct FileTime {
  std::int64_t seconds = 0;  // since 1970-01-01 00:00:00 UTC
  std::uint32_t nanoseconds = 0;

  static FileTime Now();
  static FileTime FromDate(values::Date date);
  values::Date ToDate() const;
  auto operator<=>(const FileTime& other) const = default;
};

enum class NodeKind : std::uint8_t { kFile, kFolder, kSymlink, kOther };

struct CatalogInfo {
  NodeKind kind = NodeKind::kOther;
  bool is_symlink = false;
  bool hidden = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint32_t mode = 0;  // permission bits with set-id and sticky bits (st_mode & 07777)
  std::uint32_t uid = 0;
  std::uint32_t gid = 0;
  std::uint32_t link_count = 0;
  std::uint64_t size = 0;            // logical size in bytes
  std::uint64_t allocated_size = 0;  // bytes of disk space in use
  FileTime access_time;
  FileTime modification_time;
  FileTime change_time;  // status change (the closest thing to an attribute modification date)
  std::optional<FileTime> creation_time;

  bool IsFolder() const { return kind == NodeKind::kFolder; }
  bool IsFile() const { return kind == NodeKind::kFile; }
};

enum class LinkMode : std::uint8_t { kNoFollow, kFollow };

Result<CatalogInfo> GetCatalogInfo(const FileRef& item, LinkMode links = LinkMode::kNoFollow);
// The same for the entry `name` of the open folder `dir_fd`, as folder readers need it.
Result<CatalogInfo> GetCatalogInfoAt(int dir_fd, const char* name, LinkMode links = LinkMode::kNoFollow);
Result<CatalogInfo> GetCatalogInfoOfDescriptor(int fd);

bool Exists(const FileRef& item);    // the item itself, also a dangling link
bool IsFolder(const FileRef& item);  // following links, as a folder alias acts as a folder

// Sets the content modification time, leaving the access time alone.
Status SetModificationTime(const FileRef& item, FileTime time);
Status SetPermissions(const FileRef& item, std::uint32_t mode);

// Bytes the current user may still write on the file system holding `item`.
Result<std::uint64_t> FreeSpace(const FileRef& item);

// The folder where the file system holding `item` is mounted (found by walking up until the
// device changes); `item` must exist.
Result<FileRef> FindMountPoint(const FileRef& item);

}  // namespace files
