#include "app/sharing/fileserver/transfer_send_limiter.h"

#include <algorithm>

namespace sharing {

TransferSendLimiter::TransferSendLimiter(Clock::time_point now) : tickStart_(now) {}

void TransferSendLimiter::Advance(Clock::time_point now) {
  if (now < tickStart_ + kTick) return;
  const auto passed = (now - tickStart_) / kTick;
  tickStart_ += passed * kTick;
  allowance_ = quota_;
  for (auto i = 0; i < passed && i < 4; ++i) {
    if (++ticks_ == 4) {
      ticks_ = 0;
      bytesLastSecond_ = bytesThisSecond_;
      bytesThisSecond_ = 0;
    }
  }
  // A second or more without any tick handled: nothing was sent in the last one.
  if (passed >= 8) bytesLastSecond_ = 0;
}

void TransferSendLimiter::SetRate(std::int64_t rate) {
  std::lock_guard lock(mutex_);
  quota_ = std::max<std::int64_t>(0, rate) / 4;
  allowance_ = std::min(allowance_, 2 * quota_);
}

std::int64_t TransferSendLimiter::Request(std::int64_t wanted, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  const std::int64_t grant = std::max<std::int64_t>(0, std::min(allowance_ / 3, wanted));
  allowance_ -= grant;
  return grant;
}

void TransferSendLimiter::Return(std::int64_t unused, std::int64_t moved, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  bytesThisSecond_ += std::max<std::int64_t>(0, moved);
  allowance_ = std::min(allowance_ + std::max<std::int64_t>(0, unused), 2 * quota_);
}

std::int64_t TransferSendLimiter::BytesLastSecond() const {
  std::lock_guard lock(mutex_);
  return bytesLastSecond_;
}

std::int64_t TransferSendLimiter::ReadOut(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  Advance(now);
  return bytesLastSecond_;
}

TransferSendLimiter::Clock::time_point TransferSendLimiter::NextTick() const {
  std::lock_guard lock(mutex_);
  return tickStart_ + kTick;
}

}  // namespace sharing
