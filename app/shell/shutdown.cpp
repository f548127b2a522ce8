#include "app/shell/shutdown.h"

#include <vector>

#include "app/engine/log/transfer_log.h"
#include "app/engine/services/download_engine_services.h"
#include "app/engine/task/download_ranges.h"
#include "app/engine/task/resume_file.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/download_status.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/received/received_files.h"
#include "app/shell/shell_hooks.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace shell {

namespace {

std::function<void(runtime::Nanoseconds)>& Delay() {
  static std::function<void(runtime::Nanoseconds)> delay = runtime::DelayFor;
  return delay;
}

void SaveQueueIfChanged() {
  queue::FinishQueueFileSaves();
  if (!queue::gQueueChanged && !queue::gFolderSettingsChanged) return;
  if (queue::SaveQueueFile().ok()) queue::gFolderSettingsChanged = false;
}

bool TransfersRunning(const ShellHooks& hooks) {
  return AskHook<std::int32_t>(hooks.runningDownloadStreams, 0) > 0 || sharing::RunningUploadServers() > 0 ||
         AskHook<std::int32_t>(hooks.runningUploads, 0) > 0;
}

// A stopping task writes its ranges file last; its finished event is never handled (the
// main loop has ended), so the record takes its progress from that file: the saved
// progress is then exactly what a restart resumes from.
void TakeProgressFromRangesFile(const queue::WrapperRef& wrapper) {
  queue::DownloadQueueElement& e = wrapper->element();
  const auto package = queue::CopyPartialPackageURL(e);
  if (!package) return;
  engine::RangeList done;
  if (!engine::ReadRangesFile(package->Child(queue::kRangesFileName), e.fileSize > 0 ? e.fileSize : -1, done)
           .ok()) {
    return;
  }
  const std::int64_t progress = engine::SumRangeLengths(done);
  if (progress == e.progress) return;
  e.progress = progress;
  queue::MarkQueueDirty();
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

  if (!running.empty() || sharing::RunningUploadServers() > 0 ||
      AskHook<std::int32_t>(hooks.runningUploads, 0) > 0) {
    for (const auto& wrapper : running) {
      if (const auto& stop = wrapper->element().stopSource) stop->Signal();
    }
    // A file cut off here keeps what arrived: the peer resumes it from there next time.
    // The server's own cancel also reaches receptions whose start the list has not taken
    // (the main loop no longer runs).
    sharing::ReceivedFilesCancelAll();
    sharing::CancelFileTransferReceptions();
    // The uploads' end events are not handled any more: the saved uploads keep "uploading"
    // and wait again, first, at the next start.
    CallHook(hooks.cancelActiveUploads);
    // Bounded: a task stuck in a system call must not keep the program from ending; its
    // last saved ranges still let the download resume.
    int polls = 0;
    const auto limit = static_cast<int>(kShutdownWaitLimit / kShutdownPollInterval);
    while (TransfersRunning(hooks) && polls++ < limit) Delay()(kShutdownPollInterval);
    if (TransfersRunning(hooks)) {
      engine::LogMessageToGlobalLog(true, "%@", {"Quitting while a transfer had not stopped yet"});
    }
    for (const auto& wrapper : running) TakeProgressFromRangesFile(wrapper);
  }

  sharing::StopFileTransferServer();
  SaveQueueIfChanged();
  if (AskHook<bool>(hooks.uploadsChanged, false)) CallHook(hooks.saveUploadQueue);
  CallHook(hooks.saveFavouritesIfChanged);
  util::SynchronizeSettings();
  CallHook(hooks.restoreDockTile);
}

}  // namespace shell
