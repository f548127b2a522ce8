// The file server's send limiter driven by a clock of its own.
#include <gtest/gtest.h>

#include "app/sharing/fileserver/transfer_send_limiter.h"

namespace {

using sharing::TransferSendLimiter;
using std::chrono::milliseconds;

TEST(TransferSendLimiter, GrantsAThirdCapsTheAllowanceAndReadsOutEachSecond) {
  const auto t0 = TransferSendLimiter::Clock::time_point{};
  TransferSendLimiter limiter(t0);
  limiter.SetRate(40000);                     // a quota of 10000 a tick
  EXPECT_EQ(limiter.Request(100000, t0), 0);  // nothing before the first tick
  const auto t1 = t0 + milliseconds(250);
  EXPECT_EQ(limiter.NextTick(), t1);
  EXPECT_EQ(limiter.Request(100000, t1), 3333);
  EXPECT_EQ(limiter.Request(100000, t1), 2222);
  EXPECT_EQ(limiter.Request(1000, t1), 1000);  // less than a third is asked for
  // Unused bytes come back at once, never above twice the quota.
  limiter.Return(50000, 3333, t1);
  EXPECT_EQ(limiter.Request(100000, t1), 6666);
  // A lower rate cuts the allowance to twice its quota.
  limiter.SetRate(4000);
  EXPECT_EQ(limiter.Request(100000, t1), 666);
  // Each tick sets the allowance to the quota, whatever was left.
  limiter.Return(0, 2000, t1 + milliseconds(300));
  EXPECT_EQ(limiter.Request(100000, t1 + milliseconds(300)), 333);
  // The fourth tick turns the count into the read-out and restarts it.
  EXPECT_EQ(limiter.BytesLastSecond(), 0);
  limiter.Return(0, 0, t0 + milliseconds(1000));
  EXPECT_EQ(limiter.BytesLastSecond(), 5333);
  limiter.Return(0, 0, t0 + milliseconds(2000));
  EXPECT_EQ(limiter.BytesLastSecond(), 0);
}

TEST(TransferSendLimiter, RateZeroGrantsNothing) {
  const auto t0 = TransferSendLimiter::Clock::time_point{};
  TransferSendLimiter limiter(t0);
  limiter.SetRate(0);
  for (int tick = 1; tick < 10; ++tick) {
    EXPECT_EQ(limiter.Request(32768, t0 + tick * TransferSendLimiter::kTick), 0);
    limiter.Return(1000000, 0, t0 + tick * TransferSendLimiter::kTick);
  }
}

}  // namespace
