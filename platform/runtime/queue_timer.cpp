#include "platform/runtime/queue_timer.h"

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace runtime {

struct QueueTimer::State {
  QueueId queue;
  Message message;
  // Guarded by the service's mutex.
  Nanoseconds deadline = kForever;
  Nanoseconds period{0};
};

namespace {

// One thread serves every queue timer; it sleeps until the earliest deadline.
class TimerService {
 public:
  static TimerService& Get() {
    static TimerService service;
    return service;
  }

  void Arm(const std::shared_ptr<QueueTimer::State>& state, Nanoseconds delay, Nanoseconds period) {
    {
      std::lock_guard lock(mutex_);
      state->deadline = DeadlineAfter(delay);
      state->period = period;
      bool known = false;
      for (auto& t : timers_) known = known || t == state;
      if (!known) timers_.push_back(state);
      if (!thread_.joinable()) thread_ = std::thread([this] { Serve(); });
      // A deadline after the one the thread already sleeps towards needs no wake-up: the
      // thread looks again when it wakes. Re-arming a periodic tick from its own handler
      // would otherwise wake this thread twice per tick.
      if (state->deadline >= sleepingUntil_) return;
    }
    cv_.notify_all();
  }

  bool Cancel(const std::shared_ptr<QueueTimer::State>& state) {
    std::lock_guard lock(mutex_);
    const bool armed = state->deadline != kForever;
    state->deadline = kForever;
    std::erase(timers_, state);
    return armed;
  }

  std::size_t ArmedCount() {
    std::lock_guard lock(mutex_);
    return timers_.size();
  }

  bool IsArmed(const std::shared_ptr<QueueTimer::State>& state) {
    std::lock_guard lock(mutex_);
    return state->deadline != kForever;
  }

  ~TimerService() {
    {
      std::lock_guard lock(mutex_);
      shutting_down_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Serve() {
    pthread_setname_np(pthread_self(), "queue timers");
    std::unique_lock lock(mutex_);
    while (!shutting_down_) {
      Nanoseconds earliest = kForever;
      for (auto& t : timers_) earliest = std::min(earliest, t->deadline);
      sleepingUntil_ = earliest;
      WaitUntilUpTime(lock, cv_, earliest, [&] {
        if (shutting_down_) return true;
        Nanoseconds e = kForever;
        for (auto& t : timers_) e = std::min(e, t->deadline);
        return e != earliest;  // something was armed or cancelled: recompute
      });
      // Awake: every arming until the next sleep is seen by the loop below.
      sleepingUntil_ = Nanoseconds::min();
      const Nanoseconds now = UpTime();
      std::vector<std::shared_ptr<QueueTimer::State>> due;
      for (auto& t : timers_) {
        if (t->deadline > now) continue;
        due.push_back(t);
        if (t->period.count() > 0) {
          const auto missed = (now - t->deadline) / t->period;
          t->deadline += t->period * (missed + 1);
        } else {
          t->deadline = kForever;
        }
      }
      std::erase_if(timers_, [](auto& t) { return t->deadline == kForever; });
      lock.unlock();
      for (auto& t : due) NotifyQueue(t->queue, t->message.p1, t->message.p2, t->message.p3);
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::shared_ptr<QueueTimer::State>> timers_;
  std::thread thread_;
  bool shutting_down_ = false;
  // The deadline the thread sleeps towards; Nanoseconds::min() while it is awake (or not
  // started), so that an arming then never notifies.
  Nanoseconds sleepingUntil_ = Nanoseconds::min();
};

}  // namespace

QueueTimer::QueueTimer(QueueId queue, Message message)
    : state_(std::make_shared<State>(State{queue, message})) {}

QueueTimer::~QueueTimer() {
  Cancel();
}

void QueueTimer::ArmAfter(Nanoseconds delay) {
  TimerService::Get().Arm(state_, delay, Nanoseconds(0));
}

void QueueTimer::ArmPeriodic(Nanoseconds period) {
  TimerService::Get().Arm(state_, period, period);
}

bool QueueTimer::Cancel() {
  return TimerService::Get().Cancel(state_);
}

bool QueueTimer::IsArmed() const {
  return TimerService::Get().IsArmed(state_);
}

std::size_t ArmedQueueTimerCount() {
  return TimerService::Get().ArmedCount();
}

}  // namespace runtime
