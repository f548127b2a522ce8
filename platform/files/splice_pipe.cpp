#include "platform/files/splice_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace files {

std::optional<SplicePipe> SplicePipe::Create(std::size_t capacity) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return std::nullopt;
  runtime::UniqueFd read(fds[0]);
  runtime::UniqueFd write(fds[1]);
  // A smaller pipe still works (the default holds 64 KiB); it only takes more calls.
  int size = ::fcntl(write.get(), F_SETPIPE_SZ, static_cast<int>(capacity));
  if (size <= 0) size = ::fcntl(write.get(), F_GETPIPE_SZ);
  if (size <= 0) return std::nullopt;
  return SplicePipe(std::move(read), std::move(write), static_cast<std::size_t>(size));
}

Status SplicePipe::MoveToFile(const FileHandle& file, std::uint64_t offset, std::size_t count) {
  if (count > held_) return Status(paramErr, EINVAL);
  auto position = static_cast<loff_t>(offset);
  std::size_t done = 0;
  while (done < count) {
    // Without SPLICE_F_NONBLOCK on the pipe side: the bytes are in it already, and the
    // file side blocks like a pwrite would.
    const ssize_t n = ::splice(read_.get(), nullptr, file.fd(), &position, count - done, SPLICE_F_MOVE);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::FromErrno(errno);
    }
    // Nothing moved out of a pipe that holds bytes means no room in the file.
    if (n == 0) return Status::FromErrno(ENOSPC);
    done += static_cast<std::size_t>(n);
    held_ -= static_cast<std::size_t>(n);
  }
  return Status();
}

Result<std::size_t> SplicePipe::ReadOut(std::span<std::uint8_t> out) {
  const std::size_t want = std::min(out.size(), held_);
  std::size_t done = 0;
  while (done < want) {
    const ssize_t n = ::read(read_.get(), out.data() + done, want - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::FromErrno(errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  held_ -= done;
  return done;
}

void SplicePipe::Discard() {
  std::array<std::uint8_t, 65536> sink;
  for (;;) {
    const ssize_t n = ::read(read_.get(), sink.data(), sink.size());
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;  // empty (EAGAIN: the read side never blocks) or broken
  }
  held_ = 0;
}

}  // namespace files
