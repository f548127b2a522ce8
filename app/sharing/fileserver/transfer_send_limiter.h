#pragma once
// The file server's limiter of data sent to peers, shared by all its sending connections.
//
// Time runs in ticks of 250 ms. Each tick sets the allowance to the quota of one tick
// (a quarter of the rate per second). A request is granted at most a third of the current
// allowance, so that several connections share it; what a connection was granted but did
// not send goes back at once, the allowance never passing twice the quota. Every fourth
// tick the bytes sent in that second become the read-out and the count restarts.
//
// A grant of 0 means: send nothing until the next tick (with a rate of 0 nothing is ever
// sent), never "send as much as you like".
//
// Any thread; the clock is passed in so that tests drive it.

#include <chrono>
#include <cstdint>
#include <mutex>

namespace sharing {

class TransferSendLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kTick = std::chrono::milliseconds(250);

  explicit TransferSendLimiter(Clock::time_point now);

  // Bytes per second.
  void SetRate(std::int64_t rate);
  std::int64_t Request(std::int64_t wanted, Clock::time_point now);
  // After a step: the granted bytes not used, and the bytes really sent.
  void Return(std::int64_t unused, std::int64_t moved, Clock::time_point now);
  // The bytes sent in the last whole second.
  std::int64_t BytesLastSecond() const;
  // The same once the time up to `now` is counted: 0 after a silent second.
  std::int64_t ReadOut(Clock::time_point now);
  Clock::time_point NextTick() const;

 private:
  void Advance(Clock::time_point now);

  mutable std::mutex mutex_;
  std::int64_t quota_ = 4096;
  std::int64_t allowance_ = 0;
  std::int64_t bytesThisSecond_ = 0;
  std::int64_t bytesLastSecond_ = 0;
  int ticks_ = 0;
  Clock::time_point tickStart_;
};

}  // namespace sharing
