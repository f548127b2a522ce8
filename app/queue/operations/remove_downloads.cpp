#include "app/queue/operations/remove_downloads.h"

#include "app/queue/adding/scheduled_items.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_locks.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"
#include "platform/files/tree_ops.h"

namespace queue {
namespace {

// The folder id of a pass over the whole queue.
constexpr ViewID kWholeQueue = 0;

bool InHistory(const DownloadQueueElement& e) {
  return e.historyPosition >= 1 && e.historyPosition <= kHistoryLimit;
}

bool FolderLists(ViewID folderID, DownloadUID uid) {
  FolderRef folder = LookUpFolder(folderID);
  if (!folder || !folder->HasItems()) return false;
  std::lock_guard lock(folder->itemsLock());
  return folder->items().count(uid) != 0;
}

void ForgetUndo(const WrapperRef& wrapper) {
  TruvaneUndoRemoveActionsForTarget(wrapper.get());
}

struct Pass {
  ViewID folder = kWholeQueue;
  bool undoable = false;
  std::vector<DownloadUID> rows;     // rows to take out of the list
  std::vector<DownloadUID> removed;  // records to take out of the queue
};

void RemoveCompletely(const WrapperRef& wrapper, Pass& pass) {
  DownloadQueueElement& e = wrapper->element();
  if ((e.status & kRunningMask) || e.inUse) {
    ShowQueueMessage(kItemIsActiveMessage);
    return;
  }
  if (pass.undoable) {
    RegisterUndoDownloadRemoved(wrapper, e.foldersContainedIn, true);
  } else {
    ForgetUndo(wrapper);
  }
  auto& list = ui::MainListServicesSlot::Get();
  list.CloseDownloadInspector(wrapper);
  list.NotifyMiniWindowDownloadRemoved(wrapper);
  pass.rows.push_back(e.uid);
  // The status stays Queued: undoing the removal puts the download back in its place.
  if (e.status == kStatusQueued) RemoveFromQueueOrder(e.uid);
  if (e.status == kStatusScheduled) RemoveScheduledItem(wrapper);
  if (InHistory(e)) LeaveHistory(wrapper);
  FolderRemoveDownload(wrapper);
  if (!pass.undoable) {
    if (auto package = CopyPartialPackageURL(e)) files::DeleteTree(*package);
  }
  pass.removed.push_back(e.uid);
}

// The download leaves this one place and stays in the queue.
void RemoveFromPlace(const WrapperRef& wrapper, Pass& pass) {
  DownloadQueueElement& e = wrapper->element();
  pass.rows.push_back(e.uid);
  if (pass.folder == kHistoryViewID) {
    LeaveHistory(wrapper);
    return;
  }
  // Registered first, while the download still has its place in the queue.
  if (pass.undoable) {
    RegisterUndoDownloadRemoved(wrapper, {pass.folder}, false);
  } else {
    ForgetUndo(wrapper);
  }
  RemoveElementFromFolder(wrapper, pass.folder);
  if (pass.folder == kMyDownloadsViewID) {
    if (e.status == kStatusQueued) {
      wrapper->setStatus(kStatusOnHold);
      RemoveFromQueueOrder(e.uid);
    }
    ui::MainListServicesSlot::Get().MarkDockTileChanged();
  }
}

void RunPass(const std::vector<DownloadUID>& uids, Pass& pass) {
  const ViewID folder = pass.folder;
  for (DownloadUID uid : uids) {
    WrapperRef wrapper = LookUpDownloadWrapper(uid);
    if (!wrapper) continue;
    DownloadQueueElement& e = wrapper->element();
    if (folder != kWholeQueue && folder != kHistoryViewID && !FolderLists(folder, uid)) continue;
    bool complete = folder == kWholeQueue;
    if (folder == kMyDownloadsViewID || IsUserFolderID(folder)) {
      std::set<ViewID> others = e.foldersContainedIn;
      others.erase(folder);
      complete = others.empty() && !InHistory(e);
    } else if (folder == kHistoryViewID) {
      if (!InHistory(e)) continue;
      complete = e.foldersContainedIn.empty();
    }
    if (complete) {
      RemoveCompletely(wrapper, pass);
    } else {
      RemoveFromPlace(wrapper, pass);
    }
  }
  if (folder == kWholeQueue || IsViewDisplayed(folder))
    ui::MainListServicesSlot::Get().RemoveDownloadRows(pass.rows);
  for (DownloadUID uid : pass.removed) QueueItemsRemove(uid);
}

}  // namespace

void LeaveHistory(const WrapperRef& wrapper) {
  if (auto& hook = QueueHooksSlot::Get().removeFromHistory) hook(wrapper);
  wrapper->element().historyPosition = -1;
  wrapper->element().historyGroup = 0;
}

void RemoveDownloads(const std::vector<DownloadUID>& uids, const std::set<ViewID>& folders, bool fromLibrary,
                     bool undoable) {
  if (uids.empty() || (!fromLibrary && folders.empty())) return;
  {
    // The whole removal in one hold of the tables, in the one lock order.
    QueueTablesGuard guard;
    std::vector<ViewID> passes;
    if (fromLibrary) {
      passes.push_back(kWholeQueue);
    } else {
      for (ViewID id : folders) {
        if (IsSmartFolderID(id) || IsDateFolderID(id) || id == kFiltersViewID || !LookUpFolder(id)) continue;
        passes.push_back(id);
      }
    }
    for (ViewID id : passes) {
      Pass pass;
      pass.folder = id;
      pass.undoable = undoable;
      RunPass(uids, pass);
    }
  }
  ui::MainListServicesSlot::Get().UpdateDownloadColumn(kQueuePositionColumn, {});
  MarkQueueDirty();
}

void RemoveDownloadsFromFolder(const std::vector<DownloadUID>& uids, ViewID folder, bool fromLibrary,
                               bool undoable) {
  RemoveDownloads(uids, {folder}, fromLibrary, undoable);
}

void FolderRemoveDownload(const WrapperRef& wrapper) {
  const std::set<ViewID> folders = wrapper->foldersContainedIn();
  for (ViewID id : folders) RemoveElementFromFolder(wrapper, id);
}

void FolderRemoveAllDownloads() {
  runtime::RegionGuard folders(gFoldersLock);
  for (auto& [id, folder] : gFolders) {
    std::lock_guard lock(folder->itemsLock());
    for (auto& [uid, wrapper] : folder->items()) wrapper->element().foldersContainedIn.erase(id);
    folder->items().clear();
  }
}

}  // namespace queue
