#pragma once
// Message queues: the way tasks talk without sharing state. A message is three machine
// words; what they mean is the business of the two ends (a byte count, another queue's
// id, a kind in the low 16 bits of the third word...). Any thread may notify a queue;
// waiting blocks the caller until a message arrives, the time-out passes, or the queue
// is deleted.
//
// Queues are named by a `QueueId`, a machine word, so that a queue can travel inside a
// message ("answer me on this queue"). Ids are never reused: notifying a queue that has
// been deleted fails with kInvalidIdErr instead of reaching a stranger. Deleting a queue
// wakes every thread waiting on it with kQueueDeletedErr; messages still in it are
// dropped. `MessageQueue` owns one queue and deletes it when it goes.

#include <cstdint>

#include "platform/runtime/clock.h"
#include "platform/runtime/status.h"

namespace runtime {

using QueueId = std::uintptr_t;  // 0 names no queue
using Word = std::uintptr_t;

struct Message {
  Word p1 = 0;
  Word p2 = 0;
  Word p3 = 0;
  bool operator==(const Message&) const = default;
};

// Creates a queue; `out` receives its id.
Status CreateQueue(QueueId& out);
Status DeleteQueue(QueueId queue);
Status NotifyQueue(QueueId queue, Word p1, Word p2, Word p3);
// Waits without a time-out.
Status WaitOnQueue(QueueId queue, Message& out);
// Waits at most `timeout` (0 polls); kTimeoutErr when nothing came.
Status WaitOnQueue(QueueId queue, Message& out, Nanoseconds timeout);

// Owns one queue; the queue is deleted (waking its waiters) when this goes.
class MessageQueue {
 public:
  MessageQueue();
  ~MessageQueue();
  MessageQueue(MessageQueue&& other) noexcept : id_(other.id_) { other.id_ = 0; }
  MessageQueue& operator=(MessageQueue&& other) noexcept;
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  QueueId id() const { return id_; }
  Status Notify(Word p1, Word p2, Word p3) const { return NotifyQueue(id_, p1, p2, p3); }
  Status Wait(Message& out) const { return WaitOnQueue(id_, out); }
  Status Wait(Message& out, Nanoseconds timeout) const { return WaitOnQueue(id_, out, timeout); }
  // Deletes the queue now (waiters wake with kQueueDeletedErr).
  void Delete();

 private:
  QueueId id_ = 0;
};

}  // namespace runtime
