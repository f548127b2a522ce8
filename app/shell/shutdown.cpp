#include "app/shell/shutdown.h"

#include <vector>

#include "app/engine/services/download_engine_services.h"
#include "app/queue/record/download_status.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/shell_hooks.h"
#include "app/util/settings/settings_store.h"

namespace shell {

namespace {

std::function<void(runtime::Nanoseconds)>& Delay() {
  static std::function<void(runtime::Nanoseconds)> delay = runtime::DelayFor;
  return delay;
}

void SaveQueueIfChanged() {
  if (!queue::gQueueChanged && !queue::gFolderSettingsChanged) return;
  if (queue::SaveQueueFile().ok()) queue::gFolderSettingsChanged = false;
}

bool TransfersRunning(const ShellHooks& hooks) {
  return AskHook<std::int32_t>(hooks.runningDownloadStreams, 0) > 0 ||
         AskHook<std::int32_t>(hooks.incomingTransfers, 0) > 0;
}

}  // namespace

void SetShutdownDelay(std::function<void(runtime::Nanoseconds)> delay) {
  Delay() = delay ? std::move(delay) : std::function<void(runtime::Nanoseconds)>(runtime::DelayFor);
}

void Shutdown() {
  auto& hooks = ShellHooksSlot::Get();

  std::vector<queue::WrapperRef> running;
  {
    runtime::RegionGuard guard(queue::gQueueItemsLock);
    for (const auto& [uid, wrapper] : queue::gQueueItems) {
      if (wrapper && (wrapper->element().status & queue::kRunningMask) != 0) running.push_back(wrapper);
    }
  }

  SaveQueueIfChanged();

  if (!running.empty() || AskHook<std::int32_t>(hooks.incomingTransfers, 0) > 0) {
    for (const auto& wrapper : running) {
      if (const auto& stop = wrapper->element().stopSource) stop->Signal();
    }
    CallHook(hooks.cancelReceivedFiles);
    while (TransfersRunning(hooks)) Delay()(kShutdownPollInterval);
  }

  CallHook(hooks.stopFileTransferServer);
  SaveQueueIfChanged();
  if (AskHook<bool>(hooks.uploadsChanged, false)) CallHook(hooks.saveUploadQueue);
  CallHook(hooks.saveFavouritesIfChanged);
  util::SettingsPreferences().Synchronize();
  CallHook(hooks.restoreDockTile);
}

}  // namespace shell
