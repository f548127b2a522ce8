#include "platform/net/reachability.h"

#include <algorithm>

namespace net {

namespace {

std::mutex& ProbeMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<ReachabilityProbe>& ProbeSlot() {
  static std::shared_ptr<ReachabilityProbe> probe;
  return probe;
}
std::mutex& TargetsMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::weak_ptr<ReachabilityTarget>>& Targets() {
  static std::vector<std::weak_ptr<ReachabilityTarget>> targets;
  return targets;
}

}  // namespace

void SetReachabilityProbe(std::shared_ptr<ReachabilityProbe> probe) {
  std::lock_guard lock(ProbeMutex());
  ProbeSlot() = std::move(probe);
}

unsigned ReachabilityFlagsForHost(std::string_view host) {
  std::shared_ptr<ReachabilityProbe> probe;
  {
    std::lock_guard lock(ProbeMutex());
    probe = ProbeSlot();
  }
  return probe ? probe->FlagsForHost(host) : kReachabilityReachable;
}

ReachabilityTarget::ReachabilityTarget(std::string host, Callback callback)
    : host_(std::move(host)), callback_(std::move(callback)), last_flags_(ReachabilityFlagsForHost(host_)) {}

std::shared_ptr<ReachabilityTarget> ReachabilityTarget::Create(std::string host, Callback callback) {
  auto target = std::make_shared<ReachabilityTarget>(std::move(host), std::move(callback));
  std::lock_guard lock(TargetsMutex());
  Targets().push_back(target);
  return target;
}

ReachabilityTarget::~ReachabilityTarget() {
  std::lock_guard lock(TargetsMutex());
  auto& t = Targets();
  t.erase(std::remove_if(t.begin(), t.end(), [](auto& w) { return w.expired(); }), t.end());
}

void ReachabilityTarget::AnnounceChange() {
  std::vector<std::shared_ptr<ReachabilityTarget>> live;
  {
    std::lock_guard lock(TargetsMutex());
    for (auto& w : Targets())
      if (auto t = w.lock()) live.push_back(std::move(t));
  }
  for (auto& t : live) {
    const unsigned flags = t->Flags();
    if (flags == t->last_flags_) continue;
    t->last_flags_ = flags;
    if (t->callback_) t->callback_(flags);
  }
}

}  // namespace net
