#include "app/engine/limits/bandwidth_limiter.h"

#include <algorithm>
#include <deque>

#include "app/engine/limits/limit_settings.h"
#include "platform/runtime/queue_timer.h"

namespace engine {
namespace {

using runtime::Nanoseconds;
using std::chrono::milliseconds;

// Tokens are shared out this thinly so that several transfers get a part of each tick.
constexpr double kGrantDivisor = 3.8;
// The smallest grant, as a fraction of a second of the rate, and its bounds: small enough
// that ten transfers share a tick evenly, large enough that a fast limit is not served in
// crumbs of a message round trip each.
constexpr std::int64_t kQuantaPerSecond = 50;
constexpr std::int64_t kMinQuantum = 1024;
constexpr std::int64_t kMaxQuantum = 256 * 1024;
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

runtime::Word Kind(LimiterMessage kind) {
  return static_cast<runtime::Word>(kind);
}

std::int64_t SavedTokensCap(std::int64_t budget) {
  return budget < 500 ? budget : budget * 2;
}

}  // namespace

std::int64_t BandwidthBudget::quantum() const {
  return std::clamp(rate_ / kQuantaPerSecond, kMinQuantum, kMaxQuantum);
}

void BandwidthBudget::Refill(Nanoseconds now) {
  if (now <= lastRefill_) return;
  // A long gap fills the tokens to their cap anyway; bounding it keeps the product small.
  const std::int64_t elapsed = std::min<std::int64_t>((now - lastRefill_).count(), kNanosPerSecond);
  lastRefill_ = now;
  const std::int64_t fill = rate_ * elapsed + carry_;
  carry_ = fill % kNanosPerSecond;
  tokens_ = std::min(tokens_ + fill / kNanosPerSecond, std::max(tokens_, SavedTokensCap(budget_)));
}

void BandwidthBudget::SetRate(std::int64_t bytesPerSecond, Nanoseconds now) {
  Refill(now);  // the time so far at the old rate
  rate_ = std::clamp<std::int64_t>(bytesPerSecond, 0, std::int64_t{1} << 32);
  budget_ = static_cast<std::int64_t>(static_cast<double>(rate_) * 0.25);
  carry_ = 0;
  tokens_ = std::min(tokens_, budget_ * 2);
}

std::optional<std::int64_t> BandwidthBudget::Tick(Nanoseconds now, bool statisticsWanted) {
  Refill(now);
  std::optional<std::int64_t> sample;
  if (++tickCount_ >= 4) {
    tickCount_ = 0;
    if (statisticsWanted) sample = moved_;
    // Counted afresh each second even when nobody listens, so the first sample after the
    // graph opens is one second's bytes, not everything since start-up.
    moved_ = 0;
  }
  return sample;
}

BandwidthBudget::Grant BandwidthBudget::Request(std::int64_t wanted, Nanoseconds now) {
  Refill(now);
  Grant g;
  wanted = std::max<std::int64_t>(wanted, 1);
  const std::int64_t least = std::min(wanted, quantum());
  if (tokens_ < least) {
    // Nothing yet: say when the refill will have covered the smallest grant.
    if (rate_ <= 0) {
      g.readyAt = now + std::chrono::hours(24);
    } else {
      const std::int64_t missing = least - tokens_;
      const std::int64_t nanos = (missing * kNanosPerSecond - carry_ + rate_ - 1) / rate_;
      g.readyAt = now + Nanoseconds(std::max<std::int64_t>(nanos, 1));
    }
    return g;
  }
  const auto share = static_cast<std::int64_t>(static_cast<double>(tokens_) / kGrantDivisor);
  g.bytes = std::min({wanted, tokens_, std::max(least, share)});
  tokens_ -= g.bytes;
  return g;
}

void BandwidthBudget::Rest() {
  // The second under way is not reported by a sleeping limiter: a graph opened later
  // starts from a whole second of its own.
  tickCount_ = 0;
  moved_ = 0;
}

void BandwidthBudget::Report(std::int64_t unused, std::int64_t moved) {
  moved_ += std::max<std::int64_t>(moved, 0);
  tokens_ += std::max<std::int64_t>(unused, 0);
  tokens_ = std::min(tokens_, SavedTokensCap(budget_));
}

namespace {

struct WaitingRequest {
  runtime::QueueId reply;
  std::int64_t wanted;
};

// Answers waiting requests in order while the tokens cover them; returns when the first
// one left can be served, or nullopt when none waits.
std::optional<Nanoseconds> ServeWaiting(BandwidthBudget& budget, std::deque<WaitingRequest>& waiting) {
  while (!waiting.empty()) {
    const Nanoseconds now = runtime::UpTime();
    const BandwidthBudget::Grant g = budget.Request(waiting.front().wanted, now);
    if (g.bytes == 0) return g.readyAt;
    runtime::NotifyQueue(waiting.front().reply, static_cast<runtime::Word>(g.bytes), 0, 0);
    waiting.pop_front();
  }
  return std::nullopt;
}

// A limiter that ends leaves no one blocked: waiting requesters get nothing, and their
// next request finds the queue gone.
void ReleaseWaiting(std::deque<WaitingRequest>& waiting) {
  for (const WaitingRequest& w : waiting) runtime::NotifyQueue(w.reply, 0, 0, 0);
  waiting.clear();
}

}  // namespace

runtime::Status BandwidthLimiterTask(runtime::QueueId queue) {
  runtime::QueueTimer timer(queue, {0, 0, Kind(LimiterMessage::kTick)});
  BandwidthBudget budget(runtime::UpTime());
  std::deque<WaitingRequest> waiting;
  std::optional<Nanoseconds> readyAt;
  // A limiter nobody uses sleeps: its tick stops after a whole period without a request,
  // a report or a new rate while no graph wants samples, and the next message re-arms it.
  // The refill follows the clock, not the ticks, so a sleeping limiter loses nothing.
  bool ticking = true;
  bool usedSinceTick = false;
  timer.ArmAfter(kLimiterPeriod);
  for (;;) {
    runtime::Message m;
    runtime::Status st = runtime::kNoErr;
    if (readyAt) {
      st = runtime::WaitOnQueue(queue, m, std::max(*readyAt - runtime::UpTime(), Nanoseconds(0)));
    } else {
      st = runtime::WaitOnQueue(queue, m);
    }
    if (st == runtime::kTimeoutErr) {
      readyAt = ServeWaiting(budget, waiting);
      continue;
    }
    if (st != runtime::kNoErr) {  // queue deleted
      ReleaseWaiting(waiting);
      return runtime::kNoErr;
    }
    switch (static_cast<LimiterMessage>(m.p3 & 0xFFFF)) {
      case LimiterMessage::kTick: {
        const bool statisticsWanted = StatisticsWanted();
        if (auto sample = budget.Tick(runtime::UpTime(), statisticsWanted)) {
          if (runtime::QueueId stats = StatisticsQueue()) {
            runtime::NotifyQueue(stats, static_cast<runtime::Word>(*sample), queue, 0);
          }
        }
        if (usedSinceTick || !waiting.empty() || statisticsWanted) {
          timer.ArmAfter(kLimiterPeriod);
        } else {
          ticking = false;
          budget.Rest();
        }
        usedSinceTick = false;
        break;
      }
      case LimiterMessage::kRequest: {
        const auto reply = static_cast<runtime::QueueId>(m.p2);
        if (reply == 0) break;
        if (m.p1 == 0) {  // asks for nothing: gets nothing, at once
          runtime::NotifyQueue(reply, 0, 0, 0);
          break;
        }
        // Behind those already waiting, so that every transfer gets its turn.
        waiting.push_back({reply, static_cast<std::int64_t>(m.p1)});
        break;
      }
      case LimiterMessage::kReport:
        budget.Report(static_cast<std::int64_t>(m.p1), static_cast<std::int64_t>(m.p2));
        break;
      case LimiterMessage::kSetRate:
        budget.SetRate(static_cast<std::int64_t>(m.p1), runtime::UpTime());
        break;
      case LimiterMessage::kStop:
        ReleaseWaiting(waiting);
        runtime::DeleteQueue(queue);
        return runtime::kNoErr;
      default:
        break;
    }
    if (static_cast<LimiterMessage>(m.p3 & 0xFFFF) != LimiterMessage::kTick) {
      usedSinceTick = true;
      if (!ticking) {
        ticking = true;
        timer.ArmAfter(kLimiterPeriod);
      }
    }
    readyAt = ServeWaiting(budget, waiting);
  }
}

std::unique_ptr<BandwidthLimiter> BandwidthLimiter::Start(const char* name) {
  std::unique_ptr<BandwidthLimiter> limiter(new BandwidthLimiter());
  if (runtime::CreateQueue(limiter->queue_) != runtime::kNoErr) return nullptr;
  const runtime::QueueId queue = limiter->queue_;
  limiter->task_ = runtime::Task::Start({.name = name}, [queue] { return BandwidthLimiterTask(queue); });
  if (!limiter->task_) {
    runtime::DeleteQueue(queue);
    return nullptr;
  }
  return limiter;
}

BandwidthLimiter::~BandwidthLimiter() {
  Stop();
}

void BandwidthLimiter::SetRate(std::int64_t bytesPerSecond) const {
  runtime::NotifyQueue(queue_, static_cast<runtime::Word>(std::max<std::int64_t>(bytesPerSecond, 0)), 0,
                       Kind(LimiterMessage::kSetRate));
}

void BandwidthLimiter::Stop() {
  if (!task_) return;
  if (runtime::NotifyQueue(queue_, 0, 0, Kind(LimiterMessage::kStop)) != runtime::kNoErr) {
    runtime::DeleteQueue(queue_);  // already gone: make sure the task wakes
  }
  task_->Wait();
  task_.reset();
}

std::int64_t RequestBandwidth(runtime::QueueId limiter, runtime::QueueId replyQueue, std::int64_t wanted) {
  if (runtime::NotifyQueue(limiter, static_cast<runtime::Word>(std::max<std::int64_t>(wanted, 0)), replyQueue,
                           Kind(LimiterMessage::kRequest)) != runtime::kNoErr) {
    return kLimiterGone;
  }
  runtime::Message m;
  if (runtime::WaitOnQueue(replyQueue, m) != runtime::kNoErr) return kLimiterGone;
  return std::clamp<std::int64_t>(static_cast<std::int64_t>(m.p1), 0, std::max<std::int64_t>(wanted, 0));
}

void ReportBandwidth(runtime::QueueId limiter, std::int64_t unusedGrant, std::int64_t moved) {
  runtime::NotifyQueue(limiter, static_cast<runtime::Word>(std::max<std::int64_t>(unusedGrant, 0)),
                       static_cast<runtime::Word>(std::max<std::int64_t>(moved, 0)),
                       Kind(LimiterMessage::kReport));
}

}  // namespace engine
