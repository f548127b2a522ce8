#pragma once
// An open file, closed when its owner goes away.
//
// Reads and writes name their offset (pread and pwrite): downloads write several ranges of
// one file from several connections, so there is no shared file position to race on.
// `WriteAt` writes everything or fails: it loops over short writes and retries EINTR.
// `Allocate` reserves disk space without writing (fallocate); where the file system cannot
// do that it reports that it skipped, because writing zeros by hand would double the disk
// traffic of a large download for no safety gained.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/runtime/unique_fd.h"
#include "platform/values/value.h"

namespace files {

using runtime::UniqueFd;

enum OpenFlags : unsigned {
  kOpenRead = 1u << 0,
  kOpenWrite = 1u << 1,
  kOpenReadWrite = kOpenRead | kOpenWrite,
  kOpenCreate = 1u << 2,     // make the file when missing
  kOpenExclusive = 1u << 3,  // with kOpenCreate: dupFNErr when the file exists
  kOpenTruncate = 1u << 4,
  kOpenAppend = 1u << 5,
};

enum class AllocateResult : std::uint8_t { kAllocated, kSkippedUnsupported };

class FileHandle {
 public:
  FileHandle() = default;
  // Only regular files open: anything else (a folder, a FIFO, a device, a socket) is
  // notAFileErr, and opening never waits on it.
  static Result<FileHandle> Open(const FileRef& file, unsigned flags, mode_t create_mode = 0666);

  bool is_open() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }

  // Up to buffer.size() bytes; fewer only at the end of the file (0 at or past it).
  Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) const;
  // Every byte or a failure (dskFulErr when the disk is full).
  Status WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) const;
  // Reserves [offset, offset + length), growing the file when it reaches past the end.
  Result<AllocateResult> Allocate(std::uint64_t offset, std::uint64_t length) const;
  // Reserves [offset, offset + length) without changing the file's size, so that a later
  // write there cannot fail for a full disk (until a truncation gives the space back).
  Result<AllocateResult> Reserve(std::uint64_t offset, std::uint64_t length) const;
  Status Truncate(std::uint64_t size) const;
  Status Sync() const;
  Result<std::uint64_t> Size() const;
  Result<CatalogInfo> Info() const;
  // Reports what close(2) says (a delayed write error on some file systems); the destructor
  // closes silently.
  Status Close();

 private:
  explicit FileHandle(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

// The whole file; memFullErr when it is longer than `max_bytes`.
Result<values::Bytes> ReadFileContents(const FileRef& file, std::size_t max_bytes);
// Creates or replaces the file's contents (not atomic: see Exchange in rename.h for that).
Status WriteFileContents(const FileRef& file, std::span<const std::uint8_t> bytes, mode_t create_mode = 0666);

}  // namespace files
