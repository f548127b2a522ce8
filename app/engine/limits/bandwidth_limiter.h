#pragma once
// The bandwidth limiter: one byte budget shared by every transfer of one direction.
//
// A limiter is a task that owns a message queue. A transfer task that wants to read (or
// write) sends it a request for bytes with its own reply queue, blocks on that queue for
// the grant, moves at most the grant, then reports what it did not use and what it moved.
// A queue timer refills the budget every 250 ms, so the rate is budget x 4 per second.
// Messages are three words; the kind is the low 16 bits of the third:
//
//   kind 0 request   (bytes wanted, reply queue)      -> reply (grant, 0, 0)
//   kind 1 tick      (from the limiter's own timer)   tokens := budget; re-arm
//   kind 2 set rate  (bytes per second)               budget := trunc(rate x 0.25)
//   kind 3 report    (unused grant, bytes moved)      tokens back, moved bytes counted
//   kind 4 stop                                       the loop ends
//
// The budget is refilled by the time that passed, at the rate, whenever the limiter looks
// at it (a request, a report, its 250 ms timer), not reset at each tick: tokens a tick did
// not hand out stay for the next one, so the rate holds exactly at every speed. Saved
// tokens are capped at twice the tick's budget (at the budget when it is below 500), so
// idle transfers cannot save up a burst.
//
// A grant is a share of the tokens, trunc(tokens / 3.8), but at least a quantum (about
// 20 ms of the rate), so that several transfers asking together each get a part and none
// takes the whole tick, without grants shrinking to crumbs. A request the tokens cannot
// serve yet is not answered with nothing: it waits, in order of arrival, inside the
// limiter until the refill covers it. The limiter itself never blocks on a waiting
// request, so it holds up no one else's report or refill. When nothing has asked it for
// a whole tick and no rate graph wants samples, the tick stops until the next message, so
// an idle program does not wake four times a second per limiter.
//
// The same loop counts the bytes moved (also by transfers running without a limit, which
// report with an unused part of 0) and, once a second when the rate history wants them,
// sends (bytes moved, limiter queue, 0) to the statistics queue.
//
// `BandwidthBudget` is that arithmetic without threads or clocks (the time of each call is
// passed in), so tests drive it step by step; `BandwidthLimiterTask` is the task body
// around it. Everything goes through queues: the limiter needs no lock.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/runtime/clock.h"
#include "platform/runtime/message_queue.h"
#include "platform/runtime/status.h"
#include "platform/runtime/task.h"

namespace engine {

enum class LimiterMessage : std::uint16_t { kRequest = 0, kTick = 1, kSetRate = 2, kReport = 3, kStop = 4 };

inline constexpr runtime::Nanoseconds kLimiterPeriod = std::chrono::milliseconds(250);
// Budget per tick before the first set-rate message: about 52 KB/s.
inline constexpr std::int64_t kInitialBudgetPerTick = 0x3334;

class BandwidthBudget {
 public:
  struct Grant {
    // 0: not yet; ask again at `readyAt`, when the tokens will cover the smallest grant.
    std::int64_t bytes = 0;
    runtime::Nanoseconds readyAt{0};
  };

  explicit BandwidthBudget(runtime::Nanoseconds now) : lastRefill_(now) {}

  void SetRate(std::int64_t bytesPerSecond, runtime::Nanoseconds now);
  // The 250 ms timer: refills, and returns the bytes moved during the last second on every
  // fourth tick when `statisticsWanted`; the count restarts every second either way.
  std::optional<std::int64_t> Tick(runtime::Nanoseconds now, bool statisticsWanted);
  Grant Request(std::int64_t wanted, runtime::Nanoseconds now);
  void Report(std::int64_t unused, std::int64_t moved);
  // The limiter goes to sleep: the partial second of statistics is dropped.
  void Rest();

  std::int64_t rate() const { return rate_; }
  std::int64_t budget() const { return budget_; }
  std::int64_t tokens() const { return tokens_; }
  std::int64_t moved() const { return moved_; }
  // The smallest grant for a transfer that wants at least this much.
  std::int64_t quantum() const;

 private:
  void Refill(runtime::Nanoseconds now);

  std::int64_t rate_ = kInitialBudgetPerTick * 4;
  std::int64_t budget_ = kInitialBudgetPerTick;
  std::int64_t tokens_ = 0;
  int tickCount_ = 0;
  std::int64_t moved_ = 0;
  runtime::Nanoseconds lastRefill_;
  // Token fractions (in byte-nanoseconds per second) not yet worth a byte.
  std::int64_t carry_ = 0;
};

// The limiter's task body: serves `queue` until a stop message or until the queue is
// deleted. Statistics go to the queue `StatisticsQueue()` names while
// `StatisticsWanted()` holds (limit_settings.h).
runtime::Status BandwidthLimiterTask(runtime::QueueId queue);

// One limiter: its queue and its task. Stopping (also on destruction) sends the stop
// message and waits for the task. Stop a limiter only after every transfer that asks it
// has ended: a transfer waits for its grant without a time-out.
class BandwidthLimiter {
 public:
  // nullptr when the queue or the task could not be made.
  static std::unique_ptr<BandwidthLimiter> Start(const char* name);
  ~BandwidthLimiter();
  BandwidthLimiter(const BandwidthLimiter&) = delete;
  BandwidthLimiter& operator=(const BandwidthLimiter&) = delete;

  runtime::QueueId queue() const { return queue_; }
  void SetRate(std::int64_t bytesPerSecond) const;
  void Stop();

 private:
  BandwidthLimiter() = default;
  runtime::QueueId queue_ = 0;
  std::shared_ptr<runtime::Task> task_;
};

// What RequestBandwidth answers when the limiter has gone (its queue deleted at quit):
// nothing limits any more. Told apart from a grant of 0, the answer to a request for
// nothing or to one still waiting when the limiter stops: "move nothing now, ask again".
inline constexpr std::int64_t kLimiterGone = -1;

// Transfer side. With the limit on: ask for `wanted` bytes and block for the grant
// (0 ... wanted, or kLimiterGone); while the budget is spent the answer comes once the
// refill covers it. After moving, always report what was moved and the
// share of the grant not used; with the limit off the unused part is 0.
std::int64_t RequestBandwidth(runtime::QueueId limiter, runtime::QueueId replyQueue, std::int64_t wanted);
void ReportBandwidth(runtime::QueueId limiter, std::int64_t unusedGrant, std::int64_t moved);

}  // namespace engine
