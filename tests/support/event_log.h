#pragma once
// The events a piece of code under test posted from its own threads, readable from the
// test thread while it runs. Waiting is always bounded: a test that waits for an event
// that never comes fails instead of hanging.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/event.h"
#include "platform/values/fourcc.h"

namespace testsupport {

class EventLog {
 public:
  void Add(runtime::EventRef e) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(e));
    cv_.notify_all();
  }

  // Waits until `count` events of `kind` have come; false when `limit` passed first.
  bool WaitFor(std::uint32_t kind, std::size_t count = 1,
               std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return CountLocked(kind) >= count; });
  }

  std::vector<runtime::EventRef> Of(std::uint32_t kind) {
    std::lock_guard lock(mutex_);
    std::vector<runtime::EventRef> out;
    for (auto& e : events_) {
      if (e->kind() == kind) out.push_back(e);
    }
    return out;
  }

  // The string parameter `key` of every event of `kind`, in the order they came.
  std::vector<std::string> Texts(std::uint32_t kind, values::FourCharCode key) {
    std::vector<std::string> out;
    for (auto& e : Of(kind)) out.push_back(e->Get<std::string>(key).value_or(""));
    return out;
  }

 private:
  std::size_t CountLocked(std::uint32_t kind) const {
    return static_cast<std::size_t>(
        std::count_if(events_.begin(), events_.end(), [&](const auto& e) { return e->kind() == kind; }));
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<runtime::EventRef> events_;
};

}  // namespace testsupport
