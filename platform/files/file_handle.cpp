#include "platform/files/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace files {

Result<FileHandle> FileHandle::Open(const FileRef& file, unsigned flags, mode_t create_mode) {
  if (file.empty() || !(flags & kOpenReadWrite)) return Status(paramErr);
  // Non-blocking, so that opening a FIFO or a device put where a file belongs returns at
  // once (to be refused below) instead of waiting for a writer for ever. It changes
  // nothing for a regular file.
  int oflags = O_CLOEXEC | O_NONBLOCK;
  if ((flags & kOpenReadWrite) == kOpenReadWrite) {
    oflags |= O_RDWR;
  } else {
    oflags |= (flags & kOpenWrite) ? O_WRONLY : O_RDONLY;
  }
  if (flags & kOpenCreate) oflags |= O_CREAT;
  if (flags & kOpenExclusive) oflags |= O_EXCL;
  if (flags & kOpenTruncate) oflags |= O_TRUNC;
  if (flags & kOpenAppend) oflags |= O_APPEND;
  // What the program writes is never reached through a link: one planted in place of a
  // partial download's data or ranges file would carry the bytes to the link's target.
  if (flags & kOpenWrite) oflags |= O_NOFOLLOW;
  int fd;
  do {
    fd = ::open(file.c_str(), oflags, create_mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::FromErrno(errno);
  UniqueFd owned(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Status::FromErrno(errno);
  if (!S_ISREG(st.st_mode)) return Status(notAFileErr);
  return FileHandle(std::move(owned));
}

Result<std::size_t> FileHandle::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) const {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n =
        ::pread(fd_.get(), buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::FromErrno(errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

Status FileHandle::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::FromErrno(errno);
    }
    // A write of nothing for a non-empty request means no room, and retrying would spin.
    if (n == 0) return Status::FromErrno(ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  return Status();
}

Result<AllocateResult> FileHandle::Allocate(std::uint64_t offset, std::uint64_t length) const {
  if (length == 0) return AllocateResult::kAllocated;
  // fallocate(2) itself, never posix_fallocate: glibc emulates the latter by writing a byte
  // into every block where the file system lacks support.
  int rc;
  do {
    rc = ::fallocate(fd_.get(), 0, static_cast<off_t>(offset), static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return AllocateResult::kAllocated;
  if (errno == EOPNOTSUPP || errno == ENOSYS) return AllocateResult::kSkippedUnsupported;
  return Status::FromErrno(errno);
}

Result<AllocateResult> FileHandle::Reserve(std::uint64_t offset, std::uint64_t length) const {
  if (length == 0) return AllocateResult::kAllocated;
  int rc;
  do {
    rc = ::fallocate(fd_.get(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return AllocateResult::kAllocated;
  if (errno == EOPNOTSUPP || errno == ENOSYS) return AllocateResult::kSkippedUnsupported;
  return Status::FromErrno(errno);
}

Status FileHandle::Truncate(std::uint64_t size) const {
  int rc;
  do {
    rc = ::ftruncate(fd_.get(), static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? Status() : Status::FromErrno(errno);
}

Status FileHandle::Sync() const {
  int rc;
  do {
    rc = ::fsync(fd_.get());
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? Status() : Status::FromErrno(errno);
}

Result<std::uint64_t> FileHandle::Size() const {
  struct stat st;
  if (::fstat(fd_.get(), &st) != 0) return Status::FromErrno(errno);
  return static_cast<std::uint64_t>(st.st_size);
}

Result<CatalogInfo> FileHandle::Info() const {
  return GetCatalogInfoOfDescriptor(fd_.get());
}

Status FileHandle::Close() {
  if (!fd_.valid()) return Status();
  const int rc = ::close(fd_.Release());
  // EINTR from close still closed the descriptor on Linux: nothing to retry.
  if (rc != 0 && errno != EINTR) return Status::FromErrno(errno);
  return Status();
}

Result<values::Bytes> ReadFileContents(const FileRef& file, std::size_t max_bytes) {
  auto handle = FileHandle::Open(file, kOpenRead);
  if (!handle.ok()) return handle.status();
  auto size = handle->Size();
  if (!size.ok()) return size.status();
  if (*size > max_bytes) return Status(memFullErr);
  // Read one byte more than expected so that a file that grew past the cap is caught too.
  values::Bytes bytes(static_cast<std::size_t>(*size) + 1);
  auto n = handle->ReadAt(0, bytes);
  if (!n.ok()) return n.status();
  if (*n > max_bytes) return Status(memFullErr);
  bytes.resize(*n);
  return bytes;
}

Status WriteFileContents(const FileRef& file, std::span<const std::uint8_t> bytes, mode_t create_mode) {
  auto handle = FileHandle::Open(file, kOpenWrite | kOpenCreate | kOpenTruncate, create_mode);
  if (!handle.ok()) return handle.status();
  if (Status s = handle->WriteAt(0, bytes); !s.ok()) return s;
  return handle->Close();
}

}  // namespace files
