#include "platform/files/catalog_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace files {

namespace {

FileTime FromStatx(const struct statx_timestamp& t) {
  return FileTime{t.tv_sec, t.tv_nsec};
}

CatalogInfo FromStatxBuffer(const struct statx& sx, const char* name) {
  CatalogInfo info;
  switch (sx.stx_mode & S_IFMT) {
    case S_IFREG:
      info.kind = NodeKind::kFile;
      break;
    case S_IFDIR:
      info.kind = NodeKind::kFolder;
      break;
    case S_IFLNK:
      info.kind = NodeKind::kSymlink;
      break;
    default:
      info.kind = NodeKind::kOther;
      break;
  }
  info.is_symlink = info.kind == NodeKind::kSymlink;
  info.hidden = name && name[0] == '.';
  info.device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
  info.inode = sx.stx_ino;
  info.mode = sx.stx_mode & 07777;
  info.uid = sx.stx_uid;
  info.gid = sx.stx_gid;
  info.link_count = sx.stx_nlink;
  info.size = sx.stx_size;
  info.allocated_size = sx.stx_blocks * 512;
  info.access_time = FromStatx(sx.stx_atime);
  info.modification_time = FromStatx(sx.stx_mtime);
  info.change_time = FromStatx(sx.stx_ctime);
  if (sx.stx_mask & STATX_BTIME) info.creation_time = FromStatx(sx.stx_btime);
  return info;
}

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash && slash[1] ? slash + 1 : path;
}

Result<CatalogInfo> StatxAt(int dir_fd, const char* path, int flags, const char* name) {
  struct statx sx;
  if (statx(dir_fd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return Status::FromErrno(errno);
  return FromStatxBuffer(sx, name);
}

Result<CatalogInfo> StatxWithLinkMode(int dir_fd, const char* path, LinkMode links, const char* name) {
  auto own = StatxAt(dir_fd, path, AT_SYMLINK_NOFOLLOW, name);
  if (!own.ok() || links == LinkMode::kNoFollow || !own->is_symlink) return own;
  auto target = StatxAt(dir_fd, path, 0, name);
  if (!target.ok()) return target;
  target->is_symlink = true;
  return target;
}

}  // namespace

FileTime FileTime::Now() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return FileTime{ts.tv_sec, static_cast<std::uint32_t>(ts.tv_nsec)};
}

FileTime FileTime::FromDate(values::Date date) {
  const double unix_seconds = date.seconds + values::kSecondsFrom1970To2001;
  double whole = std::floor(unix_seconds);
  auto nanos = static_cast<std::int64_t>(std::llround((unix_seconds - whole) * 1e9));
  if (nanos >= 1000000000) {
    whole += 1;
    nanos -= 1000000000;
  }
  return FileTime{static_cast<std::int64_t>(whole), static_cast<std::uint32_t>(nanos)};
}

values::Date FileTime::ToDate() const {
  return values::Date{static_cast<double>(seconds) - values::kSecondsFrom1970To2001 + nanoseconds / 1e9};
}

Result<CatalogInfo> GetCatalogInfo(const FileRef& item, LinkMode links) {
  if (item.empty()) return Status(paramErr);
  return StatxWithLinkMode(AT_FDCWD, item.c_str(), links, LastComponent(item.c_str()));
}

Result<CatalogInfo> GetCatalogInfoAt(int dir_fd, const char* name, LinkMode links) {
  return StatxWithLinkMode(dir_fd, name, links, name);
}

Result<CatalogInfo> GetCatalogInfoOfDescriptor(int fd) {
  return StatxAt(fd, "", AT_EMPTY_PATH, nullptr);
}

bool Exists(const FileRef& item) {
  struct stat st;
  return !item.empty() && lstat(item.c_str(), &st) == 0;
}

bool IsFolder(const FileRef& item) {
  struct stat st;
  return !item.empty() && stat(item.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status SetModificationTime(const FileRef& item, FileTime time) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = time.seconds;
  times[1].tv_nsec = time.nanoseconds;
  if (utimensat(AT_FDCWD, item.c_str(), times, 0) != 0) return Status::FromErrno(errno);
  return Status();
}

Status SetPermissions(const FileRef& item, std::uint32_t mode) {
  if (chmod(item.c_str(), mode & 07777) != 0) return Status::FromErrno(errno);
  return Status();
}

Result<std::uint64_t> FreeSpace(const FileRef& item) {
  struct statvfs vfs;
  if (statvfs(item.c_str(), &vfs) != 0) return Status::FromErrno(errno);
  return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

Result<FileRef> FindMountPoint(const FileRef& item) {
  auto info = GetCatalogInfo(item, LinkMode::kFollow);
  if (!info.ok()) return info.status();
  FileRef current = IsFolder(item) ? item : item.Parent();
  while (!current.IsRoot()) {
    auto parent = GetCatalogInfo(current.Parent(), LinkMode::kFollow);
    if (!parent.ok() || parent->device != info->device) break;
    current = current.Parent();
  }
  return current;
}

}  // namespace files
