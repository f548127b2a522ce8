#pragma once
// A kernel pipe that carries bytes from a socket into a file without passing them through
// this process's memory (splice(2) on both sides): a plain download then costs one copy,
// into the page cache, instead of one into a buffer here and one more out of it.
//
// The producer (a socket reader) splices into `WriteDescriptor()` and says how much with
// `NoteFilled`; `MoveToFile` then moves exactly that much into the file at an offset.
// Nothing stays in the pipe between uses. When the file system refuses splice (EINVAL),
// `ReadOut` takes the held bytes back into memory so the caller can write them the
// ordinary way; after any failure, `Discard` empties the pipe so that no byte of one use
// leaks into the next.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/files/file_handle.h"
#include "platform/files/os_error.h"
#include "platform/runtime/unique_fd.h"

namespace files {

class SplicePipe {
 public:
  // What a pipe asks for: big enough for a burst of a fast socket, and within the size an
  // unprivileged process may set (fs/pipe-max-size, 1 MiB by default).
  static constexpr std::size_t kWantedCapacity = 1024 * 1024;

  // Null when the process has no descriptors left or the system has no pipes.
  static std::optional<SplicePipe> Create(std::size_t capacity = kWantedCapacity);

  int WriteDescriptor() const { return write_.get(); }
  // What fits in the pipe: the most a producer should splice in at once.
  std::size_t Capacity() const { return capacity_; }
  std::size_t Held() const { return held_; }
  void NoteFilled(std::size_t count) { held_ += count; }

  // Moves `count` held bytes into `file` at `offset`: every byte or a failure (dskFulErr
  // for a full disk; sys_errno() EINVAL where the file system has no splice, and then
  // nothing was moved).
  Status MoveToFile(const FileHandle& file, std::uint64_t offset, std::size_t count);
  // Up to out.size() held bytes back into memory.
  Result<std::size_t> ReadOut(std::span<std::uint8_t> out);
  // Drops every held byte.
  void Discard();

 private:
  SplicePipe(runtime::UniqueFd read, runtime::UniqueFd write, std::size_t capacity)
      : read_(std::move(read)), write_(std::move(write)), capacity_(capacity) {}

  runtime::UniqueFd read_;
  runtime::UniqueFd write_;
  std::size_t capacity_ = 0;
  std::size_t held_ = 0;
};

}  // namespace files
