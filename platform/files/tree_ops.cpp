#include "platform/files/tree_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>

#include <string>
#include <vector>

#include "platform/files/catalog_info.h"
#include "platform/files/file_handle.h"
#include "platform/files/folder_iterator.h"
#include "platform/files/rename.h"

namespace files {

namespace {

Status MakeOwnerWritable(const FileRef& folder, std::uint32_t mode) {
  if (mode & S_IWUSR) return Status();
  if (::chmod(folder.c_str(), (mode | S_IRWXU) & 07777) != 0) return Status::FromErrno(errno);
  return Status();
}

Status CopyFileData(const FileRef& from, const FileRef& to, mode_t mode) {
  auto in = FileHandle::Open(from, kOpenRead);
  if (!in.ok()) return in.status();
  // Made owner-writable while we fill it; the final bits are set afterwards.
  auto out = FileHandle::Open(to, kOpenWrite | kOpenCreate | kOpenExclusive, (mode | S_IWUSR) & 0777);
  if (!out.ok()) return out.status();
  std::uint64_t offset = 0;
  bool use_copy_range = true;
  for (;;) {
    if (use_copy_range) {
      loff_t in_off = static_cast<loff_t>(offset);
      loff_t out_off = static_cast<loff_t>(offset);
      const ssize_t n = ::copy_file_range(in->fd(), &in_off, out->fd(), &out_off, 1 << 30, 0);
      if (n > 0) {
        offset += static_cast<std::uint64_t>(n);
        continue;
      }
      if (n == 0) break;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
        return Status::FromErrno(errno);
      }
      use_copy_range = false;
    }
    std::vector<std::uint8_t> buffer(256 * 1024);
    for (;;) {
      auto n = in->ReadAt(offset, buffer);
      if (!n.ok()) return n.status();
      if (*n == 0) break;
      if (Status s = out->WriteAt(offset, std::span(buffer.data(), *n)); !s.ok()) return s;
      offset += *n;
    }
    break;
  }
  return out->Close();
}

void CopyUserAttributes(const FileRef& from, const FileRef& to) {
  std::string names(4096, '\0');
  ssize_t len = ::llistxattr(from.c_str(), names.data(), names.size());
  if (len < 0 && errno == ERANGE) {
    len = ::llistxattr(from.c_str(), nullptr, 0);
    if (len <= 0) return;
    names.resize(static_cast<std::size_t>(len));
    len = ::llistxattr(from.c_str(), names.data(), names.size());
  }
  if (len <= 0) return;
  names.resize(static_cast<std::size_t>(len));
  std::size_t pos = 0;
  while (pos < names.size()) {
    const std::string name = names.c_str() + pos;
    pos += name.size() + 1;
    if (name.rfind("user.", 0) != 0) continue;
    const ssize_t size = ::lgetxattr(from.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) continue;
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got = ::lgetxattr(from.c_str(), name.c_str(), value.data(), value.size());
    if (got < 0) continue;
    // Best effort: the target file system may not keep attributes (or not on links).
    ::lsetxattr(to.c_str(), name.c_str(), value.data(), static_cast<std::size_t>(got), 0);
  }
}

void CopyTimes(const FileRef& to, const CatalogInfo& info) {
  struct timespec times[2];
  times[0].tv_sec = info.access_time.seconds;
  times[0].tv_nsec = info.access_time.nanoseconds;
  times[1].tv_sec = info.modification_time.seconds;
  times[1].tv_nsec = info.modification_time.nanoseconds;
  ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

Status CopyItem(const FileRef& from, const FileRef& to) {
  auto info = GetCatalogInfo(from);
  if (!info.ok()) return info.status();
  switch (info->kind) {
    case NodeKind::kSymlink: {
      std::string target(info->size + 1, '\0');
      const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
      if (n < 0) return Status::FromErrno(errno);
      target.resize(static_cast<std::size_t>(n));
      if (::symlink(target.c_str(), to.c_str()) != 0) return Status::FromErrno(errno);
      CopyTimes(to, *info);
      return Status();
    }
    case NodeKind::kFile: {
      if (Status s = CopyFileData(from, to, info->mode); !s.ok()) return s;
      CopyUserAttributes(from, to);
      if (::chmod(to.c_str(), info->mode) != 0) return Status::FromErrno(errno);
      CopyTimes(to, *info);
      return Status();
    }
    case NodeKind::kFolder: {
      if (::mkdir(to.c_str(), 0700) != 0) return Status::FromErrno(errno);
      auto entries = ReadFolder(from);
      if (!entries.ok()) return entries.status();
      for (const FolderEntry& entry : *entries) {
        if (Status s = CopyItem(entry.ref, to.Child(entry.name)); !s.ok()) return s;
      }
      CopyUserAttributes(from, to);
      if (::chmod(to.c_str(), info->mode) != 0) return Status::FromErrno(errno);
      CopyTimes(to, *info);
      return Status();
    }
    case NodeKind::kOther:
      break;
  }
  // Devices, sockets and pipes are not data to carry along.
  return Status(paramErr);
}

}  // namespace

Status DeleteItem(const FileRef& item) {
  if (item.empty()) return Status(paramErr);
  if (::unlink(item.c_str()) == 0) return Status();
  if (errno != EISDIR && errno != EPERM) return Status::FromErrno(errno);
  // unlink of a folder fails with EISDIR (or EPERM on some systems): remove it as a folder.
  if (::rmdir(item.c_str()) == 0) return Status();
  return Status::FromErrno(errno == ENOTDIR ? EPERM : errno);
}

Status DeleteTree(const FileRef& item) {
  auto info = GetCatalogInfo(item);
  if (!info.ok()) return info.status();
  if (!info->IsFolder()) return DeleteItem(item);
  if (Status s = MakeOwnerWritable(item, info->mode); !s.ok()) return s;
  auto entries = ReadFolder(item);
  if (!entries.ok()) return entries.status();
  for (const FolderEntry& entry : *entries) {
    if (Status s = DeleteTree(entry.ref); !s.ok()) return s;
  }
  return DeleteItem(item);
}

Status CopyTree(const FileRef& from, const FileRef& to) {
  if (from.empty() || to.empty()) return Status(paramErr);
  if (from.Contains(to)) return Status(paramErr);  // a folder copied into itself never ends
  if (Exists(to)) return Status::FromErrno(EEXIST);
  Status s = CopyItem(from, to);
  if (!s.ok() && s.code() != dupFNErr) DeleteTree(to);
  return s;
}

Status MoveAcrossDevices(const FileRef& from, const FileRef& to) {
  if (Status s = CopyTree(from, to); !s.ok()) return s;
  return DeleteTree(from);
}

Status Move(const FileRef& from, const FileRef& to) {
  Status s = RenameNoReplace(from, to);
  if (s.code() == diffVolErr) return MoveAcrossDevices(from, to);
  return s;
}

}  // namespace files
