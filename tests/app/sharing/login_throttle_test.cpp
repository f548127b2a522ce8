// How long logins from an address are held back after refusals, on a clock of the test's.
#include "app/sharing/server/login_throttle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace sharing {
namespace {

using Clock = LoginThrottle::Clock;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

TEST(LoginThrottle, EachRefusalDoublesTheWaitUpTo16Seconds) {
  LoginThrottle throttle;
  Clock::time_point now{};
  EXPECT_FALSE(throttle.TakeTurn("192.0.2.1", now)) << "a new address waits for nothing";
  const Clock::duration waits[] = {milliseconds(500), seconds(1),  seconds(2), seconds(4),
                                   seconds(8),        seconds(16), seconds(16)};
  for (const auto wait : waits) {
    throttle.NoteRefused("192.0.2.1", now);
    const auto held = throttle.TakeTurn("192.0.2.1", now);
    ASSERT_TRUE(held);
    EXPECT_EQ(*held - now, wait);
    EXPECT_EQ(throttle.TakeTurn("192.0.2.1", *held - milliseconds(1)), held);
    EXPECT_FALSE(throttle.TakeTurn("198.51.100.7", now)) << "another address is not held";
    now = *held;
    EXPECT_FALSE(throttle.TakeTurn("192.0.2.1", now));
  }
}

// A turn is taken for the whole wait: logins of one address on many connections are
// handled one at a time.
TEST(LoginThrottle, ATurnHoldsBackTheOthersOfTheSameAddress) {
  LoginThrottle throttle;
  Clock::time_point now{};
  throttle.NoteRefused("192.0.2.1", now);
  now += seconds(1);
  EXPECT_FALSE(throttle.TakeTurn("192.0.2.1", now));
  const auto next = throttle.TakeTurn("192.0.2.1", now);
  ASSERT_TRUE(next);
  EXPECT_EQ(*next, now + milliseconds(500));
}

TEST(LoginThrottle, ASuccessOrAQuarterOfAnHourOfQuietClearsTheAddress) {
  const struct {
    const char* what;
    bool accepted;
    Clock::duration quiet;
  } cases[] = {
      {"accepted", true, seconds(0)},
      {"quiet for 15 minutes", false, minutes(15)},
  };
  for (const auto& c : cases) {
    LoginThrottle throttle;
    Clock::time_point now{};
    for (int i = 0; i < 5; ++i) {
      throttle.NoteRefused("192.0.2.1", now);
      now = *throttle.TakeTurn("192.0.2.1", now);
    }
    if (c.accepted) throttle.NoteAccepted("192.0.2.1");
    now += c.quiet;
    EXPECT_FALSE(throttle.TakeTurn("192.0.2.1", now)) << c.what;
    throttle.NoteRefused("192.0.2.1", now);
    EXPECT_EQ(*throttle.TakeTurn("192.0.2.1", now) - now, milliseconds(500)) << c.what;
  }
}

// A flood of addresses costs bounded memory; the one quiet longest is forgotten first.
TEST(LoginThrottle, RemembersABoundedNumberOfAddresses) {
  LoginThrottle throttle;
  Clock::time_point now{};
  for (std::size_t i = 0; i < 3 * kMaxThrottledAddresses; ++i) {
    now += milliseconds(1);
    throttle.NoteRefused("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256), now);
  }
  EXPECT_LE(throttle.addressCount(), kMaxThrottledAddresses);
  EXPECT_TRUE(throttle.TakeTurn("10.0.11.255", now)) << "the newest is remembered";
  EXPECT_FALSE(throttle.TakeTurn("10.0.0.0", now)) << "the oldest is forgotten";
}

}  // namespace
}  // namespace sharing
