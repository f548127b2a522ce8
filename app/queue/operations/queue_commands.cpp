#include "app/queue/operations/queue_commands.h"

#include <algorithm>

#include "app/browser/services/remote_rows.h"
#include "app/engine/services/download_engine_services.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_locks.h"
#include "app/queue/undo/undoable_action.h"
#include "app/sharing/services/received_file_service.h"
#include "app/ui/services/confirmation_service.h"
#include "app/ui/services/main_list_browser.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/util/files/file_bridges.h"
#include "app/util/settings/download_folder.h"
#include "platform/desktop/workspace.h"
#include "platform/files/standard_folders.h"

namespace queue {
namespace {

std::vector<WrapperRef> SelectedWithStatus(DownloadStatus mask) {
  std::vector<WrapperRef> out;
  for (auto& w : ui::MainListServicesSlot::Get().CopySelectedDownloads()) {
    if (w && (w->status() & mask)) out.push_back(w);
  }
  return out;
}

// The confirmation of a removal from a remote server, and its answer that goes on.
constexpr int kConfirmRemoveFromServer = 4;
constexpr int kConfirmRemoveFromServerAnswer = 3;

// A remote listing's file: its record is a download that never joins the queue.
bool IsRemoteFile(const DownloadQueueWrapper& w) {
  return (w.hostUID() & 0x80000000u) != 0;
}

// The selected rows of a remote server's view that live on the server: folders and files.
std::vector<ui::MainListItem> SelectedRemoteEntries(const WrapperRef& item) {
  std::vector<ui::MainListItem> out;
  if (item) {
    if (IsRemoteFile(*item)) out.push_back(ui::MainListItem{ui::RowKind::kDownload, item});
    return out;
  }
  for (const auto& row : ui::MainListBrowserSlot::Get().SelectedRows()) {
    if (row.kind == ui::RowKind::kFTPNode || row.kind == ui::RowKind::kDotMacNode) out.push_back(row);
    if (row.kind == ui::RowKind::kDownload && IsRemoteFile(row.as<DownloadQueueWrapper>()))
      out.push_back(row);
  }
  return out;
}

// Downloads of the remote entries into a folder asked for once; false when the choice was
// cancelled.
bool DownloadRemoteEntries(const std::vector<ui::MainListItem>& entries) {
  if (entries.empty()) return true;
  files::FileRef chosen;
  if (util::GetSessionDownloadFolder(chosen)) return false;
  std::string folder = chosen.Path();
  if (folder.empty()) {
    auto standard = files::FindStandardFolder(files::StandardFolder::kDownloads, true);
    if (!standard.ok()) return false;
    folder = standard->Path();
  }
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  for (const auto& row : entries) {
    if (row.kind == ui::RowKind::kFTPNode) {
      remote.DownloadFTPNodeTo(std::static_pointer_cast<browser::FTPNodeRow>(row.record), folder);
    } else if (row.kind == ui::RowKind::kDotMacNode) {
      remote.DownloadDotMacNodeTo(std::static_pointer_cast<browser::DotMacNodeRow>(row.record), folder);
    } else {
      remote.DownloadRemoteFileTo(row.record, folder);
    }
  }
  return true;
}

// "<one>" for one, else "<many>" with the count for %d.
void NameStep(std::size_t count, const char* one, const char* many) {
  std::string name = count == 1 ? one : many;
  if (auto at = name.find("%d"); at != std::string::npos) name.replace(at, 2, std::to_string(count));
  TruvaneUndoSetActionName(name);
}

// The finished files and partial packages of the downloads that exist now.
std::vector<std::string> ExistingFiles(const std::vector<WrapperRef>& wrappers) {
  std::vector<std::string> paths;
  for (const auto& w : wrappers) {
    DownloadQueueElement& e = w->element();
    if (const auto& complete = DownloadQueueElementGetCompleteURL(e)) {
      if (auto path = values::PathFromFileUrl(*complete)) paths.push_back(*path);
    }
    if (auto package = CopyPartialPackageURL(e)) paths.push_back(package->Path());
  }
  return paths;
}

std::vector<DownloadUID> UIDs(const std::vector<WrapperRef>& wrappers) {
  std::vector<DownloadUID> uids;
  for (const auto& w : wrappers) uids.push_back(w->uid());
  return uids;
}

// Asks about the files when there are any: true to go on, with `trash` set when they go
// to the Trash.
bool ConfirmFiles(int kind, const std::vector<std::string>& files, bool& trash) {
  trash = false;
  if (files.empty()) return true;
  const int answer = ui::ConfirmationServiceSlot::Get().RunConfirmationAlert(kind, true);
  if (answer == ui::kConfirmationMoveToTrash) {
    trash = true;
    return true;
  }
  return answer == ui::kConfirmationKeepFiles;
}

void ClearWithStatus(DownloadStatus status, int kind, bool ask, bool fromLibrary, const char* name) {
  const std::vector<WrapperRef> records = CopyElementsWithStatus(status, kMyDownloadsViewID);
  if (records.empty()) return;
  bool trash = false;
  std::vector<std::string> files;
  if (ask) {
    files = ExistingFiles(records);
    if (!ConfirmFiles(kind, files, trash)) return;
  }
  RemoveDownloads(UIDs(records), {kMyDownloadsViewID}, fromLibrary, ask);
  if (ask) TruvaneUndoSetActionName(name);
  if (trash) util::MoveItemsToTrash(files);
  ui::MainListServicesSlot::Get().RefreshStatusBar();
  MarkQueueDirty();
}

}  // namespace

void StopDownload(const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  if (e.stopSource) e.stopSource->Signal();
  if (LookUpDownloadWrapper(e.uid) == wrapper) RegisterUndoDownloadStopped(wrapper);
}

void OpenDownloadFiles(const std::vector<WrapperRef>& wrappers) {
  for (const auto& w : wrappers) {
    const auto& complete = DownloadQueueElementGetCompleteURL(w->element());
    if (!complete) continue;
    if (auto path = values::PathFromFileUrl(*complete)) desktop::WorkspaceSlot::Get().OpenFile(*path);
  }
}

std::optional<files::FileRef> GetDownloadFileRef(const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  if (e.hostID != 0) return std::nullopt;
  if (const auto& complete = DownloadQueueElementGetCompleteURL(e)) {
    if (auto path = values::PathFromFileUrl(*complete)) return files::FileRef(*path);
  }
  if (auto data = ResolveAliasField(e.fileAlias)) return data->Parent();
  if (auto destination = ResolveAliasField(e.destination)) return destination;
  auto folder = files::FindStandardFolder(files::StandardFolder::kDownloads, true);
  if (folder.ok()) return *folder;
  return std::nullopt;
}

void QueueSelectedDownloads() {
  if (IsDisplayingUploads()) {
    upload::UploadQueueServiceSlot::Get().QueueSelectedUploads();
  } else {
    if (IsDisplayingRemoteHost()) {
      DownloadRemoteEntries(SelectedRemoteEntries(nullptr));
    } else {
      for (const auto& w : SelectedWithStatus(kInactiveMask)) {
        if (w->hostUID() != 0) continue;  // a peer's item is fetched by starting it
        EnqueueElement(w);
      }
    }
    MarkQueueDirty();
  }
  ui::MainListServicesSlot::Get().RefreshCommandState();
}

void HoldSelectedItems() {
  auto& list = ui::MainListServicesSlot::Get();
  if (IsDisplayingUploads()) {
    upload::UploadQueueServiceSlot::Get().HoldSelectedUploads();
    upload::UploadQueueServiceSlot::Get().MarkUploadsChanged();
    list.RefreshCommandState();
    return;
  }
  std::vector<WrapperRef> held = SelectedWithStatus(kStartableMask);
  // From the last queue position to the first, so that each leaves a place the next
  // does not depend on.
  std::sort(held.begin(), held.end(), [](const WrapperRef& a, const WrapperRef& b) {
    return a->element().queuePosition > b->element().queuePosition;
  });
  bool leftOrder = false;
  for (const auto& w : held) {
    leftOrder |= w->status() == kStatusQueued;
    PutElementOnHold(w);
  }
  const std::vector<DownloadUID> rows = leftOrder ? std::vector<DownloadUID>{} : UIDs(held);
  list.UpdateDownloadColumn(kStatusColumn, rows);
  list.UpdateDownloadColumn(kQueuePositionColumn, rows);
  list.RefreshCommandState();
  MarkQueueDirty();
}

void StopSelectedDownloads(const WrapperRef& item) {
  auto& list = ui::MainListServicesSlot::Get();
  if (IsDisplayingUploads()) {
    upload::UploadQueueServiceSlot::Get().StopSelectedUploads();
  } else if (IsDisplayingReceivedFiles()) {
    sharing::ReceivedFileServiceSlot::Get().StopSelectedReceivedFiles();
  } else {
    const std::vector<WrapperRef> stopping =
        item ? std::vector<WrapperRef>{item} : SelectedWithStatus(kRunningMask);
    for (const auto& w : stopping) StopDownload(w);
    if (!stopping.empty()) NameStep(stopping.size(), "Stop Download", "Stop %d Downloads");
  }
  list.RefreshCommandState();
}

void StartSelectedDownloads() {
  auto& list = ui::MainListServicesSlot::Get();
  if (IsDisplayingUploads()) {
    upload::UploadQueueServiceSlot::Get().StartSelectedUploads();
    list.RefreshCommandState();
    return;
  }
  if (IsDisplayingRemoteHost()) {
    // FTP folders have their downloads queued; a remote file starts as a local copy below.
    std::vector<ui::MainListItem> folders;
    for (const auto& row : SelectedRemoteEntries(nullptr))
      if (row.kind == ui::RowKind::kFTPNode) folders.push_back(row);
    if (!DownloadRemoteEntries(folders)) {
      list.RefreshCommandState();
      return;
    }
  }
  std::size_t started = 0;
  for (const auto& w : SelectedWithStatus(kNotBusyMask)) {
    if (StartDownload(w) == kStartCancelled) break;
    if (w->status() & kRunningMask) ++started;
  }
  list.RefreshCommandState();
  list.UpdateDownloadColumn(kQueuePositionColumn, {});
  if (started > 0) NameStep(started, "Start Download", "Start %d Downloads");
}

void RemoveSelectedItems(bool undoable, const WrapperRef& item) {
  auto& list = ui::MainListServicesSlot::Get();
  if (IsDisplayingUploads()) {
    const std::size_t n = upload::UploadQueueServiceSlot::Get().RemoveSelectedUploads(undoable);
    if (n > 0) NameStep(n, "Remove Upload", "Remove %d Uploads");
    return;
  }
  if (IsDisplayingReceivedFiles()) {
    const std::size_t n = sharing::ReceivedFileServiceSlot::Get().RemoveSelectedReceivedFiles(undoable);
    if (n > 0) NameStep(n, "Remove Received File", "Remove %d Received Files");
    return;
  }
  if (IsDisplayingRemoteHost()) {
    // On the servers themselves: the tree follows once each server has answered.
    const std::vector<ui::MainListItem> entries = SelectedRemoteEntries(item);
    if (entries.empty()) return;
    if (ui::ConfirmationServiceSlot::Get().RunConfirmationAlert(kConfirmRemoveFromServer, false) !=
        kConfirmRemoveFromServerAnswer)
      return;
    auto& remote = browser::RemoteRowsServiceSlot::Get();
    for (const auto& row : entries) {
      if (row.kind == ui::RowKind::kFTPNode) {
        remote.DeleteFTPNodeFromServer(std::static_pointer_cast<browser::FTPNodeRow>(row.record));
      } else if (row.kind == ui::RowKind::kDotMacNode) {
        remote.DeleteDotMacNodeFromServer(std::static_pointer_cast<browser::DotMacNodeRow>(row.record));
      } else {
        remote.DeleteRemoteFileOfItem(row.record);
      }
    }
    return;
  }
  const std::vector<WrapperRef> removing =
      item ? std::vector<WrapperRef>{item} : SelectedWithStatus(kNotBusyMask);
  if (removing.empty()) return;
  const std::vector<std::string> files = ExistingFiles(removing);
  bool trash = false;
  if (!ConfirmFiles(kConfirmRemoveSelected, files, trash)) return;
  list.MarkDockTileChanged();
  const std::set<ViewID>& views = GetDisplayedViewSet();
  const bool fromLibrary =
      views.size() == 1 && (IsSmartFolderID(*views.begin()) || IsDateFolderID(*views.begin()));
  RemoveDownloads(UIDs(removing), views, fromLibrary, undoable);
  NameStep(removing.size(), "Remove Download", "Remove %d Downloads");
  if (trash) util::MoveItemsToTrash(files);
  list.RefreshStatusBar();
  MarkQueueDirty();
}

void ClearCancelledDownloads(bool ask) {
  ClearWithStatus(kStatusStopped, kConfirmClearCancelled, ask, true, "kActionNameClearCancelledString");
}

void ClearFinishedDownloads(bool ask) {
  ClearWithStatus(kStatusCompleted, kConfirmClearFinished, ask, false, "Clear Finished Downloads");
}

void CleanUpQueue() {
  if (ui::ConfirmationServiceSlot::Get().RunConfirmationAlert(kConfirmCleanUpQueue, false) !=
      ui::kConfirmationOK)
    return;
  std::vector<DownloadUID> gone;
  for (const auto& w : CopyElementsWithStatus(kCompletedOrStoppedMask)) {
    if (!DownloadQueueElementGetCompleteURL(w->element())) gone.push_back(w->uid());
  }
  if (!gone.empty()) RemoveDownloads(gone, {}, true, true);
  const bool uploadsGone = upload::UploadQueueServiceSlot::Get().DeleteUploadsWithNoFile();
  if (!gone.empty() || uploadsGone) TruvaneUndoSetActionName("kActionNameClearCancelledString");
  MarkQueueDirty();
}

void ClearQueue() {
  if (!gActiveDownloads.empty()) {
    ShowQueueMessage(kClearQueueRefusedMessage);
    return;
  }
  const int answer = ui::ConfirmationServiceSlot::Get().RunConfirmationAlert(kConfirmClearQueue, true);
  if (answer == ui::kConfirmationMoveToTrash) {
    std::vector<std::string> paths;
    AppendDownloadFileURLs(paths);
    util::MoveItemsToTrash(paths);
  } else if (answer != ui::kConfirmationKeepFiles) {
    return;
  }
  {
    QueueTablesGuard guard;
    FolderRemoveAllDownloads();
    if (auto& leave = QueueHooksSlot::Get().removeFromHistory) {
      for (auto& [uid, w] : gQueueItems) leave(w);
    }
    gQueueItems.clear();
    TruvaneUndoRemoveAllActions();
    gQueuedCount = 0;
    gQueueOrder.clear();
    CreateScheduledItemList();
    MarkQueueDirty();
  }
  auto& list = ui::MainListServicesSlot::Get();
  list.RefreshStatusBar();
  list.RefillMainList();
  list.RefreshCommandState();
}

}  // namespace queue
