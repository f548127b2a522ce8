#pragma once
// STAND-IN, TO BE DELETED: minimal versions of the queue operations (the queue switch,
// queries by status, URL texts, removal, clearing, undo registration) that the scripting
// suite and the completion step call, under the names and signatures of the real ones
// being written beside this code. When those land, this file and its .cpp go and the
// callers include the real headers (queue_switch.h, queue_queries.h, remove_downloads.h,
// queue_commands.h, truvane_undo.h); nothing else changes.
//
// Each does the least its callers rely on; none asks the user anything.

#include <set>
#include <string>
#include <vector>

#include "app/queue/download_queue_wrapper.h"

namespace queue {

extern bool gQueueRunning;
extern bool gQueueRestartAllowed;
extern bool gUploadQueueRunning;

// Sets the switch and the restart-allowed flag.
void StartQueue();
// Clears the switch; with force, every running download is told to stop and to come back
// to the head of the queue.
void StopQueue(bool force);

std::vector<WrapperRef> CopyElementsWithStatus(DownloadStatus mask, ViewID folder = 0);
// The URL texts of the download's entries joined by "\r".
std::string CopyElementURLList(const DownloadQueueElement& e);

// With fromLibrary the downloads that are not running leave the queue; otherwise they only
// leave the listed folders.
void RemoveDownloads(const std::vector<DownloadUID>& uids, const std::set<ViewID>& folders, bool fromLibrary,
                     bool undoable);
// Every download that is not running leaves the queue (the real one asks first).
void ClearQueue();

void TruvaneUndoDisableRegistration();
void TruvaneUndoEnableRegistration();
void TruvaneUndoRemoveActionsForTarget(const void* target);

}  // namespace queue
