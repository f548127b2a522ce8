#pragma once
// A FIFO standing where a stored file belongs, for the tests that a reader refuses it
// instead of waiting for a writer that never comes.
//
// `ReturnsWithoutWaiting` runs the reader on a thread of its own. When it has not returned
// within the limit it is stuck on the FIFO: the FIFO is then opened for writing and closed
// again, which ends the wait, so that the test fails instead of hanging.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

namespace testsupport {

inline bool MakeFifo(const std::string& path) {
  return ::mkfifo(path.c_str(), 0600) == 0;
}

inline bool ReturnsWithoutWaiting(const std::string& fifo, const std::function<void()>& read,
                                  std::chrono::seconds limit = std::chrono::seconds(10)) {
  std::packaged_task<void()> task(read);
  std::future<void> done = task.get_future();
  std::thread reader(std::move(task));
  const bool returned = done.wait_for(limit) == std::future_status::ready;
  while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    // A reader blocked in open() is released by a writer's open; one blocked in read() by
    // the writer's close.
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
  }
  reader.join();
  return returned;
}

}  // namespace testsupport
