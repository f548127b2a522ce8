#pragma once
// Tasks: threads with a name and a stack of a chosen size, running one entry function
// to its end. A task is never joined by force: it ends when its entry returns, and
// whoever cares waits for it (`Wait`, `WaitFor`) or asks for a message on a termination
// queue. Every task gets at least kMinimumStackSize of stack, whatever it asks for:
// small stacks sized for hand-tuned C code overflow under C++ and the libraries below.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/runtime/clock.h"
#include "platform/runtime/message_queue.h"
#include "platform/runtime/status.h"

namespace runtime {

struct TaskOptions {
  std::string name;               // shown by ps/top/gdb (the first 15 bytes)
  std::size_t stack_size = 0;     // bytes; raised to kMinimumStackSize
  QueueId termination_queue = 0;  // when set, told (task id, result, 0) at the end
};

class Task {
 public:
  using Entry = std::function<Status()>;
  static constexpr std::size_t kMinimumStackSize = 512 * 1024;

  // Starts a task; nullptr (with `error` set when given) when no thread could be made.
  static std::shared_ptr<Task> Start(TaskOptions options, Entry entry, Status* error = nullptr);

  std::uint64_t id() const { return id_; }
  const std::string& name() const { return options_.name; }
  std::size_t stack_size() const { return stack_size_; }
  bool IsRunning() const;
  // Waits for the end and returns the entry's result.
  Status Wait() const;
  // False when the task still runs after `timeout`.
  bool WaitFor(Nanoseconds timeout, Status* result = nullptr) const;

  Task(TaskOptions options, Entry entry);

 private:
  static void* ThreadMain(void* arg);

  TaskOptions options_;
  Entry entry_;
  std::uint64_t id_;
  std::size_t stack_size_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable done_cv_;
  bool done_ = false;
  Status result_ = kNoErr;
};

// The name of the calling thread (empty when it has none).
std::string CurrentTaskName();

}  // namespace runtime
