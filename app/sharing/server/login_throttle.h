#pragma once
// Slows down password guessing on the sharing server, one peer address at a time.
//
// After a refused login the next login from that address waits: half a second after the
// first refusal, twice as long after each further one, at most 16 seconds. Logins of one
// address are taken one at a time (a turn is reserved for the whole wait), so opening many
// connections at once gains a guesser nothing. A successful login of a real user clears
// the address (a Guest login proves nothing); an address quiet for 15 minutes is
// forgotten. At most kMaxThrottledAddresses addresses are remembered: a full table
// forgets the one quiet longest, so a flood of addresses costs bounded memory.
//
// Any thread.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace sharing {

inline constexpr std::size_t kMaxThrottledAddresses = 1024;

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kFirstDelay = std::chrono::milliseconds(500);
  static constexpr Clock::duration kLongestDelay = std::chrono::seconds(16);
  static constexpr Clock::duration kForgetAfter = std::chrono::minutes(15);

  // Nothing when a login from `address` may be handled now (its turn is then taken);
  // else the time to ask again.
  std::optional<Clock::time_point> TakeTurn(const std::string& address, Clock::time_point now);
  void NoteRefused(const std::string& address, Clock::time_point now);
  void NoteAccepted(const std::string& address);
  std::size_t addressCount() const;

 private:
  struct Entry {
    Clock::duration delay{};
    Clock::time_point until;
    Clock::time_point last;  // the last refusal or turn
  };
  void MakeRoomLocked(Clock::time_point now);

  mutable std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace sharing
