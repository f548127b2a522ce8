#include "platform/runtime/task.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>

namespace runtime {

namespace {
std::atomic<std::uint64_t> gNextTaskId{1};

struct StartBlock {
  std::shared_ptr<Task> task;
};
}  // namespace

Task::Task(TaskOptions options, Entry entry)
    : options_(std::move(options)), entry_(std::move(entry)), id_(gNextTaskId.fetch_add(1)) {}

std::shared_ptr<Task> Task::Start(TaskOptions options, Entry entry, Status* error) {
  auto task = std::make_shared<Task>(std::move(options), std::move(entry));
  const long page = sysconf(_SC_PAGESIZE);
  std::size_t stack = std::max(task->options_.stack_size, kMinimumStackSize);
  stack = (stack + page - 1) / page * page;
  task->stack_size_ = stack;

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stack);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  auto block = std::make_unique<StartBlock>(StartBlock{task});
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, &Task::ThreadMain, block.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    if (error) *error = kInsufficientResourcesErr;
    return nullptr;
  }
  block.release();  // the thread owns it now
  if (error) *error = kNoErr;
  return task;
}

void* Task::ThreadMain(void* arg) {
  std::shared_ptr<Task> task = std::move(std::unique_ptr<StartBlock>(static_cast<StartBlock*>(arg))->task);
  if (!task->options_.name.empty()) {
    pthread_setname_np(pthread_self(), task->options_.name.substr(0, 15).c_str());
  }
  const Status result = task->entry_ ? task->entry_() : kNoErr;
  task->entry_ = nullptr;  // what it captured goes now, on its own thread
  {
    std::lock_guard lock(task->mutex_);
    task->done_ = true;
    task->result_ = result;
  }
  task->done_cv_.notify_all();
  if (task->options_.termination_queue != 0) {
    NotifyQueue(task->options_.termination_queue, static_cast<Word>(task->id_), static_cast<Word>(result), 0);
  }
  return nullptr;
}

bool Task::IsRunning() const {
  std::lock_guard lock(mutex_);
  return !done_;
}

Status Task::Wait() const {
  std::unique_lock lock(mutex_);
  done_cv_.wait(lock, [&] { return done_; });
  return result_;
}

bool Task::WaitFor(Nanoseconds timeout, Status* result) const {
  std::unique_lock lock(mutex_);
  if (!WaitUntilUpTime(lock, done_cv_, DeadlineAfter(timeout), [&] { return done_; })) return false;
  if (result) *result = result_;
  return true;
}

std::string CurrentTaskName() {
  char name[32] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return {};
  return name;
}

}  // namespace runtime
