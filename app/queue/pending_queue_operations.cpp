#include "app/queue/pending_queue_operations.h"

#include "app/engine/download_engine_services.h"
#include "app/queue/folder_table.h"
#include "app/queue/queue_hooks.h"
#include "app/queue/queue_tables.h"

namespace queue {

bool gQueueRunning = false;
bool gQueueRestartAllowed = true;
bool gUploadQueueRunning = false;

void StartQueue() {
  gQueueRunning = true;
  gQueueRestartAllowed = true;
}

void StopQueue(bool force) {
  gQueueRunning = false;
  if (!force) return;
  for (const WrapperRef& w : CopyElementsWithStatus(kRunningMask)) {
    w->element().requeueOnStop = true;
    if (w->element().stopSource) w->element().stopSource->Signal();
  }
}

std::vector<WrapperRef> CopyElementsWithStatus(DownloadStatus mask, ViewID) {
  std::vector<WrapperRef> out;
  std::lock_guard lock(gQueueItemsLock);
  for (const auto& [uid, w] : gQueueItems) {
    if ((w->status() & mask) != 0) out.push_back(w);
  }
  return out;
}

std::string CopyElementURLList(const DownloadQueueElement& e) {
  std::string out;
  for (const values::Value& entry : e.urlData) {
    const values::Value* url = entry.Find("url");
    if (url == nullptr || !url->IsString()) continue;
    if (!out.empty()) out += '\r';
    out += *url->AsString();
  }
  return out;
}

void RemoveDownloads(const std::vector<DownloadUID>& uids, const std::set<ViewID>& folders, bool fromLibrary,
                     bool) {
  for (DownloadUID uid : uids) {
    WrapperRef w = LookUpDownloadWrapper(uid);
    if (!w || (w->status() & kRunningMask) != 0) continue;
    if (fromLibrary) {
      RemoveFromQueueOrder(uid);
      for (ViewID folder : std::set<ViewID>(w->foldersContainedIn())) RemoveElementFromFolder(w, folder);
      QueueItemsRemove(uid);
    } else {
      for (ViewID folder : folders) RemoveElementFromFolder(w, folder);
    }
    TruvaneUndoRemoveActionsForTarget(w.get());
  }
  MarkQueueDirty();
}

void ClearQueue() {
  std::vector<DownloadUID> uids;
  {
    std::lock_guard lock(gQueueItemsLock);
    for (const auto& [uid, w] : gQueueItems) uids.push_back(uid);
  }
  RemoveDownloads(uids, {}, true, false);
}

void TruvaneUndoDisableRegistration() {}
void TruvaneUndoEnableRegistration() {}
void TruvaneUndoRemoveActionsForTarget(const void* target) {
  if (GetQueueHooks().removeUndoActionsForTarget) GetQueueHooks().removeUndoActionsForTarget(target);
}

}  // namespace queue
