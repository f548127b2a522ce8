#pragma once
// Helpers for the run-loop stream tests: run the calling thread's loop until something
// happened, never longer than a bound.

#include <chrono>
#include <functional>
#include <string>

#include "platform/runtime/run_loop.h"

namespace net::testing {

// Runs the current thread's loop until `done` or `limit`; returns `done()`.
inline bool RunUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  auto loop = runtime::RunLoop::Current();
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    loop->RunFor(std::chrono::milliseconds(20), true);
  }
  return true;
}

// A body with a pattern, so a lost, doubled or reordered byte shows.
inline std::string PatternBytes(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return s;
}

}  // namespace net::testing
