#pragma once
// Asking the main thread. A worker that needs something only the main thread may do
// (ask the user, touch a window's model) hands it a closure and waits for the result.
// The closure runs in the main run loop's next pass, whatever event loop (or Qt) is
// driving it at the time. On the main thread itself the closure runs at once.
//
// The wait has no time-out: the main thread must never wait for a worker that is
// waiting here.

#include <functional>
#include <future>
#include <type_traits>
#include <utility>

#include "platform/runtime/run_loop.h"

namespace runtime {

inline bool IsMainThread() {
  return RunLoop::Main()->IsCurrent();
}

template <class F>
std::invoke_result_t<F> PerformOnMainThreadAndWait(F&& f) {
  using R = std::invoke_result_t<F>;
  auto main = RunLoop::Main();
  if (main->IsCurrent()) return std::forward<F>(f)();
  std::packaged_task<R()> task(std::forward<F>(f));
  std::future<R> result = task.get_future();
  // The task lives on this stack until the result is in, so the closure may refer to it.
  main->Perform([&task] { task(); });
  return result.get();
}

// Runs `f` on the main thread without waiting.
inline void PerformOnMainThread(std::function<void()> f) {
  RunLoop::Main()->Perform(std::move(f));
}

}  // namespace runtime
