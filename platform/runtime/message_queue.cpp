#include "platform/runtime/message_queue.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace runtime {

namespace {

struct QueueState {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Message> messages;
  bool deleted = false;
};

struct Registry {
  std::mutex mutex;
  QueueId next_id = 1;
  std::unordered_map<QueueId, std::shared_ptr<QueueState>> queues;
};

Registry& Queues() {
  static Registry registry;
  return registry;
}

std::shared_ptr<QueueState> Find(QueueId id) {
  Registry& r = Queues();
  std::lock_guard lock(r.mutex);
  auto it = r.queues.find(id);
  return it == r.queues.end() ? nullptr : it->second;
}

}  // namespace

Status CreateQueue(QueueId& out) {
  Registry& r = Queues();
  std::lock_guard lock(r.mutex);
  out = r.next_id++;
  r.queues.emplace(out, std::make_shared<QueueState>());
  return kNoErr;
}

Status DeleteQueue(QueueId queue) {
  std::shared_ptr<QueueState> state;
  {
    Registry& r = Queues();
    std::lock_guard lock(r.mutex);
    auto it = r.queues.find(queue);
    if (it == r.queues.end()) return kInvalidIdErr;
    state = std::move(it->second);
    r.queues.erase(it);
  }
  {
    std::lock_guard lock(state->mutex);
    state->deleted = true;
    state->messages.clear();
  }
  state->cv.notify_all();
  return kNoErr;
}

Status NotifyQueue(QueueId queue, Word p1, Word p2, Word p3) {
  std::shared_ptr<QueueState> state = Find(queue);
  if (!state) return kInvalidIdErr;
  {
    std::lock_guard lock(state->mutex);
    if (state->deleted) return kInvalidIdErr;
    state->messages.push_back({p1, p2, p3});
  }
  state->cv.notify_one();
  return kNoErr;
}

Status WaitOnQueue(QueueId queue, Message& out) {
  return WaitOnQueue(queue, out, kForever);
}

Status WaitOnQueue(QueueId queue, Message& out, Nanoseconds timeout) {
  std::shared_ptr<QueueState> state = Find(queue);
  if (!state) return kInvalidIdErr;
  const Nanoseconds deadline = timeout == kForever ? kForever : DeadlineAfter(timeout);
  std::unique_lock lock(state->mutex);
  const bool ready =
      WaitUntilUpTime(lock, state->cv, deadline, [&] { return state->deleted || !state->messages.empty(); });
  if (state->deleted) return kQueueDeletedErr;
  if (!ready) return kTimeoutErr;
  out = state->messages.front();
  state->messages.pop_front();
  return kNoErr;
}

MessageQueue::MessageQueue() {
  CreateQueue(id_);
}

MessageQueue::~MessageQueue() {
  Delete();
}

MessageQueue& MessageQueue::operator=(MessageQueue&& other) noexcept {
  if (this != &other) {
    Delete();
    id_ = other.id_;
    other.id_ = 0;
  }
  return *this;
}

void MessageQueue::Delete() {
  if (id_ != 0) DeleteQueue(id_);
  id_ = 0;
}

}  // namespace runtime
