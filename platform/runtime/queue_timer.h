#pragma once
// A queue timer posts one message to a message queue when its delay has passed, once
// or periodically. It is how a task that lives in a blocking queue wait gets woken for
// periodic work (the bandwidth limiter's 250 ms refill). Every queue timer of the
// process is served by one background thread. Destroying a timer cancels it.

#include <cstddef>
#include <memory>

#include "platform/runtime/clock.h"
#include "platform/runtime/message_queue.h"

namespace runtime {

class QueueTimer {
 public:
  // The timer will post `message` to `queue`; it starts disarmed.
  QueueTimer(QueueId queue, Message message);
  ~QueueTimer();
  QueueTimer(const QueueTimer&) = delete;
  QueueTimer& operator=(const QueueTimer&) = delete;

  // Fires once, `delay` from now (re-arming replaces an earlier arming).
  void ArmAfter(Nanoseconds delay);
  // Fires `period` from now, then every `period`; missed periods are skipped, not
  // posted in a burst.
  void ArmPeriodic(Nanoseconds period);
  // True when the timer was armed.
  bool Cancel();
  bool IsArmed() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// How many queue timers of the process are armed: an idle program should have none that
// fire periodically.
std::size_t ArmedQueueTimerCount();

}  // namespace runtime
