#include "app/shell/shell_timers.h"

#include <utility>

#include "app/queue/undo/truvane_undo.h"

#include "app/engine/http/system_proxy_credentials.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/schedule/next_download.h"
#include "app/queue/schedule/queue_schedule.h"
#include "app/queue/smartfolders/element_metadata.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/shell/shell_hooks.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_window/command_state.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/workspace.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/main_thread.h"
#include "platform/values/date_time.h"

namespace shell {

SchedulerActions SchedulerActions::Defaults() {
  return {queue::StartDownload, queue::CanStartUnderHostLimits};
}

namespace {

// Starts one download the way the scheduler does: the undo manager forgets the actions
// aimed at it and records none for the start itself. A start cancelled for want of a
// download folder stops the queue, so the next tick does not ask again.
void StartForScheduler(const queue::WrapperRef& wrapper) {
  auto& hooks = ShellHooksSlot::Get();
  queue::TruvaneUndoRemoveActionsForTarget(wrapper.get());
  CallHook(hooks.setUndoRegistrationEnabled, false);
  const std::int32_t result = SchedulerActionsSlot::Get().startDownload(wrapper);
  CallHook(hooks.setUndoRegistrationEnabled, true);
  if (result == queue::kStartCancelled) queue::StopQueue(false);
}

struct DayCache {
  DayBoundaries boundaries;
  bool valid = false;
};
DayCache& Days() {
  static DayCache cache;
  return cache;
}

}  // namespace

bool SchedulerTick() {
  auto& hooks = ShellHooksSlot::Get();
  bool started = false;
  queue::CheckQueueSchedule();

  const auto settings = util::CurrentSettings();
  const auto running = static_cast<std::int64_t>(queue::gActiveDownloads.size());
  if (queue::gQueueRunning && running < settings->queueLength && queue::gQueuedCount > 0) {
    queue::gQueuedCount = static_cast<std::int32_t>(queue::gQueueOrder.size());
    if (auto chosen =
            queue::ChooseQueuedDownloadToStart(SchedulerActionsSlot::Get().canStartUnderHostLimits)) {
      StartForScheduler(chosen);
      started = true;
      // The start takes the download out of the queue order: every queued row's ordinal
      // ("Queued (3rd)") and position move up, not only the started row's.
      ui::UpdateStatusColumn();
    }
  }

  if (auto due = queue::PopDueScheduledItem(values::Now())) {
    StartForScheduler(due);
    started = true;
  }
  // A download that has just started is written to the queue file at once rather than at
  // the next autosave, up to two minutes later: a program killed during the transfer then
  // finds the download again at its next start, and resumes it from its partial package.
  // The writing happens on a worker, so a long queue does not hold up this tick.
  if (started && queue::gQueueChanged) queue::SaveQueueFileSoon();

  CallHook(hooks.miniWindowUpdateLabels);

  if (queue::gUploadQueueRunning && AskHook<std::int32_t>(hooks.waitingUploadCount, 0) > 0 &&
      AskHook<std::int32_t>(hooks.activeUploadCount, 0) <
          util::ReadSetting(util::kMaxSimultaneousUploadsKey)) {
    CallHook(hooks.startNextUpload);
    started = true;
  }

  if (util::ReadSetting(util::kShowSpeedsKey)) CallHook(hooks.updateDockTile);
  if (started) ui::UpdateQueueCommandState();
  return started;
}

void AutosaveTimer() {
  auto& hooks = ShellHooksSlot::Get();
  if (queue::gQueueChanged) queue::SaveQueueFileSoon();
  if (AskHook<bool>(hooks.uploadsChanged, false)) CallHook(hooks.saveUploadQueue);
  const auto settings = util::CurrentSettings();
  util::SetPreferenceValue("Files transfered",
                           values::Value(values::Number::Int64(settings->filesTransferred)));
  util::SetPreferenceValue("Bytes transfered",
                           values::Value(values::Number::Int64(settings->bytesTransferred)));
}

void RefreshListTimer() {
  CallHook(ShellHooksSlot::Get().refreshChangedRows);
}

void SmartFolderDateTimer() {
  queue::FlushSmartFolderChanges();
}

void FlushMetadataTimer() {
  queue::FlushMetadataChanges();
}

void QuitAppEventLoopTimer() {
  runtime::QuitApplicationEventLoop();
}

void ReconnectFavouritesTimer() {
  CallHook(ShellHooksSlot::Get().connectAutoconnectFavourites);
}

void ProxySettingsChanged() {
  engine::UpdateProxyCredentialsFromSystem();
}

std::shared_ptr<ReachabilityWatch> ReachabilityWatch::Start(std::string host) {
  auto watch = std::make_shared<ReachabilityWatch>();
  std::weak_ptr<ReachabilityWatch> weak = watch;
  auto report = [weak](unsigned flags) {
    // Reports come on the announcing thread; the watch acts on the main thread, and not
    // at all once it has ended.
    runtime::PerformOnMainThread([weak, flags] {
      if (auto self = weak.lock()) self->ReachabilityChanged(flags);
    });
  };
  watch->target_ = net::ReachabilityTarget::Create(std::move(host), report);
  // The state now is the first report: a probe reports changes only, and a launch that
  // waits for a connection must not wait for a change when the network is up already.
  report(watch->target_->Flags());
  return watch;
}

void ReachabilityWatch::ReachabilityChanged(unsigned flags) {
  if (!target_) return;  // a later report, or one that raced with the first
  if ((flags & net::kReachabilityReachable) != 0) {
    const auto settings = util::CurrentSettings();
    if (settings->startOnLaunch && settings->startIfConnected) queue::StartQueue();
    if (util::ReadSetting(util::kStartUploadsOnLaunchKey) &&
        util::ReadSetting(util::kStartUploadsIfConnectedKey)) {
      queue::StartUploadQueue();
    }
  }
  target_.reset();
}

DayBoundaries GetRelativeDayBoundaries() {
  DayCache& cache = Days();
  if (!cache.valid) {
    const values::TimeZone zone = values::DefaultTimeZone();
    const values::AbsoluteTime today = values::DayStart(values::Now(), zone);
    const values::AbsoluteTime tomorrow = values::AddDays(today, 1, zone);
    cache.boundaries = {today, tomorrow, values::AddDays(tomorrow, 1, zone)};
    cache.valid = true;
  }
  return cache.boundaries;
}

void InvalidateDayBoundaries() {
  util::ResetSessionState();
  Days().valid = false;
}

void RevealFileFromGrowlClick(const values::Value& context) {
  if (const std::string* path = context.AsString()) desktop::WorkspaceSlot::Get().RevealItem(*path);
}

void ShellTimers::Arm(runtime::RunLoop& loop) {
  Disarm();
  loop_ = loop.shared_from_this();
  auto add = [&](TimerSchedule schedule, void (*routine)()) {
    auto timer =
        runtime::Timer::Create(schedule.first, schedule.interval, [routine](runtime::Timer&) { routine(); });
    loop.AddTimer(timer);
    timers_.push_back(std::move(timer));
  };
  add(kSmartFolderDateTimer, SmartFolderDateTimer);
  add(kSchedulerTimer, [] { SchedulerTick(); });
  add(kAutosaveTimer, AutosaveTimer);
  add(kRefreshListTimer, RefreshListTimer);
  add(kFlushMetadataTimer, FlushMetadataTimer);
}

void ShellTimers::Disarm() {
  for (auto& timer : timers_) timer->Invalidate();
  timers_.clear();
  loop_.reset();
}

}  // namespace shell
