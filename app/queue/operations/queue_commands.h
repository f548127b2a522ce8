#pragma once
// The user's queue commands: stopping, opening and finding a download's files, the
// commands on the main list's selection (in the uploads and received-files views they go
// to those lists), clearing and cleaning up. Each asks its confirmation (through
// ui::ConfirmationService) before anything is removed, and names its undo step.

#include <optional>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/files/file_ref.h"

namespace queue {

inline constexpr const char kClearQueueRefusedMessage[] =
    "You must cancel active downloads before clearing the queue";

// Confirmation kinds asked here.
inline constexpr int kConfirmRemoveSelected = 0;
inline constexpr int kConfirmClearQueue = 6;
inline constexpr int kConfirmClearCancelled = 12;
inline constexpr int kConfirmClearFinished = 13;
inline constexpr int kConfirmCleanUpQueue = 15;

// Signals the running download to stop; undoable while the download is in the queue.
void StopDownload(const WrapperRef& wrapper);
// Opens the finished files with the user's programs.
void OpenDownloadFiles(const std::vector<WrapperRef>& wrappers);
// The finished file; else the partial package; else the destination; else the default
// download folder. Nothing for a peer's item.
std::optional<files::FileRef> GetDownloadFileRef(const WrapperRef& wrapper);

void QueueSelectedDownloads();
void HoldSelectedItems();
void StopSelectedDownloads(const WrapperRef& item = nullptr);
void StartSelectedDownloads();
void RemoveSelectedItems(bool undoable, const WrapperRef& item = nullptr);

void ClearCancelledDownloads(bool ask);
void ClearFinishedDownloads(bool ask);
void CleanUpQueue();
void ClearQueue();

}  // namespace queue
