#include "platform/files/rename.h"

#include "platform/files/catalog_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

#include <atomic>
#include <cstdint>

namespace files {

namespace {

int RealRenameat2(int old_dir, const char* old_path, int new_dir, const char* new_path, unsigned flags) {
  return ::renameat2(old_dir, old_path, new_dir, new_path, flags);
}

Renameat2Function g_renameat2 = &RealRenameat2;

// EINVAL is also what renameat2 says for a folder moved into itself; the fallbacks then fail
// with the same error on their own, so treating it as "flag not supported" loses nothing.
bool FlagUnsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

int CallRenameat2(const FileRef& from, const FileRef& to, unsigned flags) {
  int rc;
  do {
    rc = g_renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

bool SameItem(const FileRef& a, const FileRef& b) {
  struct stat sa, sb;
  return lstat(a.c_str(), &sa) == 0 && lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// A plain rename that keeps the target when it appears meanwhile as well as it can without
// kernel help. Used only by the fallbacks, after a check.
Status PlainRenameOnto(const FileRef& from, const FileRef& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return Status::FromErrno(errno);
  return Status();
}

}  // namespace

Renameat2Function SetRenameat2ForTesting(Renameat2Function function) {
  Renameat2Function previous = g_renameat2;
  g_renameat2 = function ? function : &RealRenameat2;
  return previous;
}

Status RenameNoReplace(const FileRef& from, const FileRef& to) {
  if (from.empty() || to.empty()) return Status(paramErr);
  if (from == to) {
    return Exists(from) ? Status() : Status(fnfErr, ENOENT);
  }
  if (CallRenameat2(from, to, RENAME_NOREPLACE) == 0) return Status();
  const int error = errno;
  if (FlagUnsupported(error)) return RenameNoReplaceByLink(from, to);
  return Status::FromErrno(error);
}

Status RenameNoReplaceByLink(const FileRef& from, const FileRef& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return Status::FromErrno(errno);
  if (S_ISDIR(st.st_mode)) {
    if (lstat(to.c_str(), &st) == 0) return Status::FromErrno(EEXIST);
    if (errno != ENOENT) return Status::FromErrno(errno);
    return PlainRenameOnto(from, to);
  }
  // linkat without AT_SYMLINK_FOLLOW links a symbolic link itself, as a rename would move it.
  if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) != 0) {
    const int error = errno;
    // File systems without hard links (some FUSE and FAT): check, then rename.
    if (error == EPERM || error == EOPNOTSUPP || error == EMLINK) {
      if (lstat(to.c_str(), &st) == 0) return Status::FromErrno(EEXIST);
      return PlainRenameOnto(from, to);
    }
    return Status::FromErrno(error);
  }
  if (::unlink(from.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    return Status::FromErrno(error);
  }
  return Status();
}

Status ExchangeAtomically(const FileRef& a, const FileRef& b) {
  if (a.empty() || b.empty()) return Status(paramErr);
  if (CallRenameat2(a, b, RENAME_EXCHANGE) == 0) return Status();
  const int error = errno;
  if (FlagUnsupported(error)) return Status(unimpErr, error);
  return Status::FromErrno(error);
}

Status Exchange(const FileRef& a, const FileRef& b) {
  Status s = ExchangeAtomically(a, b);
  if (s.IsUnsupported()) return ExchangeViaTemporaryName(a, b);
  return s;
}

Status ExchangeViaTemporaryName(const FileRef& a, const FileRef& b) {
  if (a.empty() || b.empty()) return Status(paramErr);
  if (a == b || SameItem(a, b)) return Exists(a) ? Status() : Status(fnfErr, ENOENT);
  if (!Exists(a) || !Exists(b)) return Status(fnfErr, ENOENT);
  // Different processes and threads must not pick the same temporary name; the name is
  // claimed by the no-replace rename itself, so a clash only costs another try.
  static std::atomic<std::uint32_t> counter{0x5EED0000u ^ static_cast<std::uint32_t>(getpid())};
  FileRef parked;
  Status s;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".truvane-xchg-%08X", counter.fetch_add(1));
    parked = b.Parent().Child(name);
    s = RenameNoReplace(b, parked);
    if (s.code() != dupFNErr) break;
  }
  if (!s.ok()) return s;
  s = RenameNoReplace(a, b);
  if (!s.ok()) {
    RenameNoReplace(parked, b);
    return s;
  }
  s = RenameNoReplace(parked, a);
  if (!s.ok()) {
    RenameNoReplace(b, a);
    RenameNoReplace(parked, b);
    return s;
  }
  return Status();
}

}  // namespace files
