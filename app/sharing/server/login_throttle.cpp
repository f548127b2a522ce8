#include "app/sharing/server/login_throttle.h"

#include <algorithm>

namespace sharing {

std::optional<LoginThrottle::Clock::time_point> LoginThrottle::TakeTurn(const std::string& address,
                                                                        Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(address);
  if (it == entries_.end()) return std::nullopt;
  Entry& e = it->second;
  if (now - e.last >= kForgetAfter) {
    entries_.erase(it);
    return std::nullopt;
  }
  if (e.until > now) return e.until;
  // The turn: a login of the same address arriving meanwhile waits a whole delay.
  e.until = now + e.delay;
  e.last = now;
  return std::nullopt;
}

void LoginThrottle::NoteRefused(const std::string& address, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(address);
  if (it != entries_.end() && now - it->second.last >= kForgetAfter) {
    entries_.erase(it);
    it = entries_.end();
  }
  if (it == entries_.end()) {
    MakeRoomLocked(now);
    it = entries_.emplace(address, Entry{kFirstDelay, now + kFirstDelay, now}).first;
    return;
  }
  Entry& e = it->second;
  e.delay = std::min(e.delay * 2, kLongestDelay);
  e.until = now + e.delay;
  e.last = now;
}

void LoginThrottle::NoteAccepted(const std::string& address) {
  std::lock_guard lock(mutex_);
  entries_.erase(address);
}

std::size_t LoginThrottle::addressCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void LoginThrottle::MakeRoomLocked(Clock::time_point now) {
  if (entries_.size() < kMaxThrottledAddresses) return;
  std::erase_if(entries_, [now](const auto& e) { return now - e.second.last >= kForgetAfter; });
  if (entries_.size() < kMaxThrottledAddresses) return;
  const auto quietest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
    return a.second.last < b.second.last;
  });
  entries_.erase(quietest);
}

}  // namespace sharing
