#include "app/engine/limits/bandwidth_limiter.h"

#include <algorithm>

#include "app/engine/limits/limit_settings.h"
#include "platform/runtime/queue_timer.h"

namespace engine {
namespace {

using runtime::Nanoseconds;
using std::chrono::milliseconds;

// Below this many tokens a grant is crumbs: wait for the refill instead.
constexpr std::int64_t kLowTokens = 49;
// Tokens are shared out this thinly so that several transfers get a part of each tick.
constexpr double kGrantDivisor = 3.8;

runtime::Word Kind(LimiterMessage kind) {
  return static_cast<runtime::Word>(kind);
}

}  // namespace

void BandwidthBudget::SetRate(std::int64_t bytesPerSecond) {
  budget_ = static_cast<std::int64_t>(static_cast<double>(std::max<std::int64_t>(bytesPerSecond, 0)) * 0.25);
  tokens_ = std::min(tokens_, budget_ * 2);
}

std::optional<std::int64_t> BandwidthBudget::Tick(Nanoseconds now, bool statisticsWanted) {
  lastTick_ = now;
  std::optional<std::int64_t> sample;
  if (++tickCount_ >= 4) {
    tickCount_ = 0;
    if (statisticsWanted) sample = moved_;
    // Counted afresh each second even when nobody listens, so the first sample after the
    // graph opens is one second's bytes, not everything since start-up.
    moved_ = 0;
  }
  tokens_ = budget_;
  return sample;
}

BandwidthBudget::Grant BandwidthBudget::Request(std::int64_t wanted, Nanoseconds now) {
  Grant g;
  const std::int64_t share =
      static_cast<std::int64_t>(static_cast<double>(std::max<std::int64_t>(tokens_, 0)) / kGrantDivisor);
  g.bytes = std::clamp<std::int64_t>(wanted, 0, share);
  tokens_ -= g.bytes;
  if (tokens_ <= kLowTokens) {
    const Nanoseconds elapsed = now - lastTick_;
    if (elapsed < milliseconds(255)) {
      g.pause = elapsed + milliseconds(75) <= kLimiterPeriod ? Nanoseconds(milliseconds(75))
                                                             : Nanoseconds(milliseconds(255)) - elapsed;
    }
  }
  return g;
}

void BandwidthBudget::Report(std::int64_t unused, std::int64_t moved) {
  moved_ += std::max<std::int64_t>(moved, 0);
  tokens_ += std::max<std::int64_t>(unused, 0);
  tokens_ = std::min(tokens_, budget_ < 500 ? budget_ : budget_ * 2);
}

runtime::Status BandwidthLimiterTask(runtime::QueueId queue) {
  runtime::QueueTimer timer(queue, {0, 0, Kind(LimiterMessage::kTick)});
  BandwidthBudget budget(runtime::UpTime());
  timer.ArmAfter(kLimiterPeriod);
  for (;;) {
    runtime::Message m;
    if (runtime::WaitOnQueue(queue, m) != runtime::kNoErr) return runtime::kNoErr;  // queue deleted
    switch (static_cast<LimiterMessage>(m.p3 & 0xFFFF)) {
      case LimiterMessage::kTick: {
        timer.ArmAfter(kLimiterPeriod);
        if (auto sample = budget.Tick(runtime::UpTime(), StatisticsWanted())) {
          if (runtime::QueueId stats = StatisticsQueue()) {
            runtime::NotifyQueue(stats, static_cast<runtime::Word>(*sample), queue, 0);
          }
        }
        break;
      }
      case LimiterMessage::kRequest: {
        const auto reply = static_cast<runtime::QueueId>(m.p2);
        if (reply == 0) break;
        const Nanoseconds now = runtime::UpTime();
        const BandwidthBudget::Grant g = budget.Request(static_cast<std::int64_t>(m.p1), now);
        runtime::NotifyQueue(reply, static_cast<runtime::Word>(g.bytes), 0, 0);
        // Until a time fixed before replying: the requester may act (and time move) at once.
        if (g.pause > Nanoseconds(0)) runtime::DelayUntil(now + g.pause);
        break;
      }
      case LimiterMessage::kReport:
        budget.Report(static_cast<std::int64_t>(m.p1), static_cast<std::int64_t>(m.p2));
        break;
      case LimiterMessage::kSetRate:
        budget.SetRate(static_cast<std::int64_t>(m.p1));
        break;
      case LimiterMessage::kStop:
        runtime::DeleteQueue(queue);
        return runtime::kNoErr;
      default:
        break;
    }
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
