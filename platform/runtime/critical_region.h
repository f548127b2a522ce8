#pragma once
// A critical region guards one shared table. It is recursive: the thread inside may
// enter again (helpers that take the lock call each other), and must leave as many
// times as it entered. The program enters its regions without time-out, always in one
// documented order, so waiting forever is the right thing and cannot deadlock.
// `CriticalRegion` also meets the standard Lockable requirements, so
// `std::scoped_lock` works; `RegionGuard` is the usual way in.

#include <chrono>
#include <mutex>

#include "platform/runtime/clock.h"

namespace runtime {

class CriticalRegion {
 public:
  CriticalRegion() = default;
  CriticalRegion(const CriticalRegion&) = delete;
  CriticalRegion& operator=(const CriticalRegion&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  // Waits at most `timeout` of real time (lock waits do not follow a fake clock).
  bool EnterFor(Nanoseconds timeout) { return mutex_.try_lock_for(timeout); }
  void Exit() { mutex_.unlock(); }

  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Exit(); }

 private:
  std::recursive_timed_mutex mutex_;
};

class RegionGuard {
 public:
  explicit RegionGuard(CriticalRegion& region) : region_(region) { region_.Enter(); }
  ~RegionGuard() { region_.Exit(); }
  RegionGuard(const RegionGuard&) = delete;
  RegionGuard& operator=(const RegionGuard&) = delete;

 private:
  CriticalRegion& region_;
};

}  // namespace runtime
