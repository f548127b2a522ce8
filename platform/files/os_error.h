#pragma once
// The file layer speaks the error vocabulary of the program above it: 16-bit OSErr codes
// (-43 file not found, -48 name taken, ...), because the callers test those numbers and
// show messages keyed by them. Every failure is a `Status`: the OSErr code plus the errno
// that caused it (0 when the code did not come from a system call), so that logs keep the
// exact cause while callers compare codes.
//
// errno -> OSErr (OSErrFromErrno is the only place that maps; keep this table in step):
//
//   ENOENT, ELOOP, ENODATA       -43   fnfErr           (ENODATA: extended attribute absent)
//   ENOTDIR                      -120  dirNFErr         (a folder on the path is not a folder)
//   EEXIST                       -48   dupFNErr         (the name is taken)
//   ENOTEMPTY, EBUSY, ETXTBSY,
//   EAGAIN                       -47   fBsyErr          (deleting a non-empty folder is "busy")
//   EACCES, EPERM, EROFS         -5000 afpAccessDenied  (walks skip it; "no permission" texts)
//   ENOSPC, EDQUOT, EFBIG        -34   dskFulErr        (no room to grow the file)
//   EXDEV                        -1303 diffVolErr       (a move across file systems)
//   ENAMETOOLONG                 -37   bdNamErr
//   EISDIR                       -1302 notAFileErr      (a folder where a file was expected)
//   EMFILE, ENFILE               -42   tmfoErr
//   ENOMEM                       -108  memFullErr
//   ENODEV, ENXIO, ESTALE        -35   nsvErr           (the volume went away)
//   EBADF                        -51   rfNumErr
//   EINVAL                       -50   paramErr
//   ENOTSUP, EOPNOTSUPP, ENOSYS  -4    unimpErr         (the file system lacks the operation)
//   EIO and anything else        -36   ioErr
//
// EINTR never reaches the table: every call that can be interrupted is retried.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace files {

using OSErr = std::int16_t;

inline constexpr OSErr noErr = 0;
inline constexpr OSErr unimpErr = -4;
inline constexpr OSErr dskFulErr = -34;
inline constexpr OSErr nsvErr = -35;
inline constexpr OSErr ioErr = -36;
inline constexpr OSErr bdNamErr = -37;
inline constexpr OSErr eofErr = -39;
inline constexpr OSErr tmfoErr = -42;
inline constexpr OSErr fnfErr = -43;
inline constexpr OSErr fBsyErr = -47;
inline constexpr OSErr dupFNErr = -48;
inline constexpr OSErr paramErr = -50;
inline constexpr OSErr rfNumErr = -51;
inline constexpr OSErr memFullErr = -108;
inline constexpr OSErr dirNFErr = -120;
inline constexpr OSErr notAFileErr = -1302;
inline constexpr OSErr diffVolErr = -1303;
inline constexpr OSErr errFSNoMoreItems = -1417;
inline constexpr OSErr afpAccessDenied = -5000;

OSErr OSErrFromErrno(int error_number);

// "fnfErr (-43)"; unknown codes as "OSErr -1234".
std::string OSErrName(OSErr code);

class Status {
 public:
  Status() = default;
  explicit Status(OSErr code, int sys_errno = 0) : code_(code), sys_(sys_errno) {}
  static Status FromErrno(int error_number) { return Status(OSErrFromErrno(error_number), error_number); }

  bool ok() const { return code_ == noErr; }
  OSErr code() const { return code_; }
  int sys_errno() const { return sys_; }
  // The file system does not offer the operation (extended attributes, renameat2 flags,
  // fallocate): callers that can do without it tell this apart from a real failure.
  bool IsUnsupported() const { return code_ == unimpErr; }
  // "fnfErr (-43): No such file or directory"
  std::string Describe() const;

  bool operator==(const Status& other) const = default;

 private:
  OSErr code_ = noErr;
  int sys_ = 0;
};

// A value or the status that explains why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}
  Result(Status status) : status_(status) {}

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return status_; }
  OSErr code() const { return status_.code(); }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace files
