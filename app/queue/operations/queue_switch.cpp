#include "app/queue/operations/queue_switch.h"

#include "app/engine/services/download_engine_services.h"
#include "app/queue/record/queue_locks.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/util/settings/settings_store.h"

namespace queue {

bool gQueueRunning = false;
bool gQueueStartPending = false;
bool gQueueRestartAllowed = false;
bool gQueueReady = false;
bool gUploadQueueRunning = false;
bool gUploadQueueStartPending = false;
bool gUploadQueueReady = false;

void StartQueue() {
  gQueueRestartAllowed = true;
  if (!gQueueReady) {
    gQueueStartPending = true;
    return;
  }
  {
    QueueTablesGuard guard;
    RenumberQueue(0, gQueueOrder.size());
  }
  gQueueRunning = true;
  auto& list = ui::MainListServicesSlot::Get();
  list.ShowQueueSwitch(false, true);
  list.LogMessageToGlobalLog(false, kQueueStartedMessage);
  list.RefreshCommandState();
}

void StopQueue(bool force) {
  gQueueRunning = false;
  if (force || util::CurrentSettings()->downloadsStopWithQueue) {
    QueueTablesGuard guard;
    for (auto& [uid, wrapper] : gQueueItems) {
      DownloadQueueElement& e = wrapper->element();
      if ((e.status & kRunningMask) == 0 || !e.stopSource) continue;
      e.stopSource->Signal();
      e.requeueOnStop = e.returnToQueue;
    }
    gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
  }
  auto& list = ui::MainListServicesSlot::Get();
  list.ShowQueueSwitch(false, false);
  list.LogMessageToGlobalLog(false, kQueueStoppedMessage);
}

void StartUploadQueue() {
  if (!gUploadQueueReady) {
    gUploadQueueStartPending = true;
    return;
  }
  gUploadQueueRunning = true;
  ui::MainListServicesSlot::Get().ShowQueueSwitch(true, true);
}

void StopUploadQueue(bool stopRunning) {
  gUploadQueueRunning = false;
  if (stopRunning) upload::UploadQueueServiceSlot::Get().RequeueActiveUploads();
  ui::MainListServicesSlot::Get().ShowQueueSwitch(true, false);
}

}  // namespace queue
