#pragma once
// Whether a host can be reached, as an injectable probe.
//
// Linux offers no per-host reachability verdict short of trying, so the default probe
// answers "reachable" for every host; a network watcher, or a test, installs its own
// probe and calls `AnnounceChange` when the network changes, upon which every target
// whose flags differ from the last ones it reported calls its callback (on the
// announcing thread; callers hop to their own loop when they need to).

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace net {

enum ReachabilityFlags : unsigned {
  kReachabilityReachable = 1u << 1,
  kReachabilityConnectionAutomatic = 1u << 3,
};

class ReachabilityProbe {
 public:
  virtual ~ReachabilityProbe() = default;
  virtual unsigned FlagsForHost(std::string_view host) = 0;
};

// nullptr restores the default ("always reachable").
void SetReachabilityProbe(std::shared_ptr<ReachabilityProbe> probe);
unsigned ReachabilityFlagsForHost(std::string_view host);
inline bool IsHostReachable(std::string_view host) {
  return (ReachabilityFlagsForHost(host) & kReachabilityReachable) != 0;
}

class ReachabilityTarget : public std::enable_shared_from_this<ReachabilityTarget> {
 public:
  using Callback = std::function<void(unsigned flags)>;
  static std::shared_ptr<ReachabilityTarget> Create(std::string host, Callback callback);
  ~ReachabilityTarget();

  const std::string& host() const { return host_; }
  unsigned Flags() const { return ReachabilityFlagsForHost(host_); }

  // Re-asks the probe for every live target.
  static void AnnounceChange();

  ReachabilityTarget(std::string host, Callback callback);

 private:
  std::string host_;
  Callback callback_;
  unsigned last_flags_;
};

}  // namespace net
