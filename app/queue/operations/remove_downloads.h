#pragma once
// Taking downloads out of folders or out of the queue.
//
// A download listed in several places (My Downloads, user folders, a history day) leaves
// only the place it is removed from while it is still listed elsewhere; it leaves the queue
// when the last place lets it go, or at once when it is removed "from the library" (from a
// smart or date folder, or by clearing). An undoable removal keeps the download's files and
// registers what puts it back; otherwise its partial package is deleted with it.

#include <cstdint>
#include <set>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {

// History positions from 1 to this are in the history.
inline constexpr std::int32_t kHistoryLimit = 1000;

inline constexpr const char kItemIsActiveMessage[] = "Item is currently active.";

// Removes the downloads from each folder of `folders` (smart folders, date folders, the
// filters view and missing folders are passed over) or, with fromLibrary, from the queue.
// Running downloads stay ("Item is currently active."); the others go.
void RemoveDownloads(const std::vector<DownloadUID>& uids, const std::set<ViewID>& folders, bool fromLibrary,
                     bool undoable);
void RemoveDownloadsFromFolder(const std::vector<DownloadUID>& uids, ViewID folder, bool fromLibrary,
                               bool undoable);

// The download leaves every folder that lists it.
void FolderRemoveDownload(const WrapperRef& wrapper);
// Every folder is emptied.
void FolderRemoveAllDownloads();

// The download leaves its history day.
void LeaveHistory(const WrapperRef& wrapper);

}  // namespace queue
