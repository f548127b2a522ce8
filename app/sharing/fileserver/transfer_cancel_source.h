#pragma once
// The cancel source of one file-server connection: signalled from any thread (the main
// thread's cancel of a received file, quitting), watched by the connection's polls.

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/runtime/unique_fd.h"

namespace sharing {

class TransferCancelSource {
 public:
  TransferCancelSource() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  void Signal() {
    signalled_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_.get(), &one, sizeof one);
  }
  bool signalled() const { return signalled_; }
  int fd() const { return fd_.get(); }

 private:
  runtime::UniqueFd fd_;
  std::atomic<bool> signalled_{false};
};

}  // namespace sharing
