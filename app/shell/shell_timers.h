#pragma once
// The routines that keep the running program moving, all on the main thread: the periodic
// timers (queue scheduler, autosave, list refresh, smart-folder refresh, metadata flush),
// the one-shot timers of the launch, the proxy-settings and network-reachability
// callbacks, and the run-loop observer that ends the per-pass caches.
//
// The scheduler starts at most one queued download per tick, the one the queue chooses
// (queue::ChooseQueuedDownloadToStart) under the per-host limits, and only while the queue
// runs and fewer downloads run than "Queue Length".
// Starting one at a time keeps a long queue from opening every connection in one burst.
//
// Per-pass state: before each pass of the main run loop handles its sources, the
// observer forgets the session identifier, the download-folder mark and the cached day
// boundaries, so that one user action or one Apple event sees one set of them even when
// midnight passes while it is handled.
//
// The timers read the queue tables without taking gQueueItemsLock: the tables change on
// the main thread only, and these routines run there.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/net/reachability.h"
#include "platform/runtime/hook_slot.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/clock.h"
#include "platform/values/value.h"

namespace shell {

using namespace std::chrono_literals;

// First delay and interval of each periodic timer.
struct TimerSchedule {
  runtime::Nanoseconds first;
  runtime::Nanoseconds interval;
};
inline constexpr TimerSchedule kSmartFolderDateTimer{1s, 1s};
inline constexpr TimerSchedule kSchedulerTimer{1s, 2s};
inline constexpr TimerSchedule kAutosaveTimer{100s, 120s};
inline constexpr TimerSchedule kRefreshListTimer{500ms, 1200ms};
inline constexpr TimerSchedule kFlushMetadataTimer{5s, 1500ms};
// The launch events are taken in an event loop this long.
inline constexpr runtime::Nanoseconds kLaunchEventDrain = 100ms;
inline constexpr runtime::Nanoseconds kReconnectFavouritesDelay = 5s;

// What the scheduler calls to start a download; the queue's own by default, tests put
// recording ones in their place (and the queue's own back with RestoreDefaults).
struct SchedulerActions {
  std::function<std::int32_t(const queue::WrapperRef&)> startDownload;
  std::function<bool(const queue::DownloadQueueElement&)> canStartUnderHostLimits;

  static SchedulerActions Defaults();
};
using SchedulerActionsSlot = runtime::HookSlot<SchedulerActions>;

// One scheduler tick; true when it started (or tried to start) a download or an upload.
bool SchedulerTick();
// Saves the queue and the uploads when they changed, and stores the transfer statistics.
void AutosaveTimer();
void RefreshListTimer();
void SmartFolderDateTimer();
void FlushMetadataTimer();
// Ends the short event loop in which start-up takes the launch events.
void QuitAppEventLoopTimer();
void ReconnectFavouritesTimer();

// The proxy credentials follow the system's proxy settings.
void ProxySettingsChanged();

// The network watch of a launch that waits for a connection: acts on its first report
// only (starting the queues the settings ask for when the host is reachable) and ends.
class ReachabilityWatch : public std::enable_shared_from_this<ReachabilityWatch> {
 public:
  // The host whose reachability tells whether the internet is.
  static constexpr const char* kProbeHost = "www.debian.org";
  // Watches `host`; the current state is the first report, handled on the main run loop.
  static std::shared_ptr<ReachabilityWatch> Start(std::string host = kProbeHost);
  bool IsActive() const { return target_ != nullptr; }
  // Ends the watch without acting.
  void Stop() { target_.reset(); }
  // The report (main thread).
  void ReachabilityChanged(unsigned flags);

 private:
  std::shared_ptr<net::ReachabilityTarget> target_;
};

// Today's, tomorrow's and the day after's starts (00:00 in the default time zone), cached
// until the next pass of the main run loop.
struct DayBoundaries {
  values::AbsoluteTime today = 0;
  values::AbsoluteTime tomorrow = 0;
  values::AbsoluteTime dayAfter = 0;
};
DayBoundaries GetRelativeDayBoundaries();
// The observer's callout: forgets the per-pass state (see above).
void InvalidateDayBoundaries();

// A desktop notice was clicked: a path as its context is revealed in the file manager.
void RevealFileFromGrowlClick(const values::Value& context);
// No help viewer: nothing to register.
inline std::int32_t RegisterHelpBook() {
  return 0;
}

// The periodic timers on a run loop, in their order; held until Disarm (shut-down).
class ShellTimers {
 public:
  void Arm(runtime::RunLoop& loop);
  void Disarm();
  ~ShellTimers() { Disarm(); }

 private:
  std::shared_ptr<runtime::RunLoop> loop_;
  std::vector<std::shared_ptr<runtime::Timer>> timers_;
};

}  // namespace shell
