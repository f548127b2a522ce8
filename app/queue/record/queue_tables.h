#pragma once
// The queue: every download by UID, and the order of those waiting to start.
//
// gQueueItems holds every record of the queue, finished ones included, exactly once.
// gQueueOrder lists the UIDs of the Queued downloads in the order they start. The
// invariant every operation keeps: the n-th entry of gQueueOrder (from 1) names a Queued
// record whose queuePosition is n, no other record is Queued, and gQueuedCount is the
// length of the order. QueueOrderProblem() checks it.
//
// Records enter and leave gQueueItems through QueueItemsSet and QueueItemsRemove, which
// tell the queue file's saves (record_change_log.h); a save that finds the table's size
// changed otherwise looks through the whole table.
//
// gQueueItemsLock guards both tables. The queue is changed on the main thread only; the
// lock is for readers elsewhere (the sharing server lists the queue). Lock order across
// the queue: gFoldersLock, then a folder's items lock, then gQueueItemsLock.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/services/transfer_log_records.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "platform/runtime/critical_region.h"

namespace queue {

extern std::map<DownloadUID, WrapperRef> gQueueItems;
extern runtime::CriticalRegion gQueueItemsLock;
extern std::vector<DownloadUID> gQueueOrder;
extern std::int32_t gQueuedCount;
// Set by every change that must reach the queue file; cleared by a successful save.
extern bool gQueueChanged;
// Set by folder sort and column changes; shut-down saves when either flag is set.
extern bool gFolderSettingsChanged;

inline void MarkQueueDirty() {
  gQueueChanged = true;
}
inline void MarkFolderSettingsDirty() {
  gFolderSettingsChanged = true;
}

// Empties the queue tables and the changed flags (before a load; tests).
void ClearQueueTables();

void QueueItemsSet(DownloadUID uid, WrapperRef wrapper);
void QueueItemsRemove(DownloadUID uid);
// The wrapper of gQueueItems under the UID, or null.
WrapperRef LookUpDownloadWrapper(DownloadUID uid);
// The transfer log of the download with the UID, or null.
engine::TransferLogRecord* FindDownloadTransferLog(DownloadUID uid);
// The queue's answer to the transfer log's lookup (engine/services/transfer_log_records.h),
// installed at start-up.
class QueueTransferLogRecords final : public engine::TransferLogRecords {
 public:
  engine::TransferLogRecord* Find(std::uint32_t uid) override { return FindDownloadTransferLog(uid); }
};

// Numbers the Queued entries of gQueueOrder[first, first + count) from first + 1 on
// (entries that are gone or not Queued take no number); then gQueuedCount becomes the
// length of the order. A count of 0 does nothing. Returns gQueuedCount.
std::int32_t RenumberQueue(std::size_t first, std::size_t count);

// Takes the UID out of the order and renumbers the rest; nothing when it is not there.
void RemoveFromQueueOrder(DownloadUID uid);

// A UID that no record of gQueueItems uses: the first four bytes of the MD5 of the up-time
// (runtime::UpTime in nanoseconds, 64-bit little-endian) followed by the previous candidate (32-bit
// little-endian, 0 at first), drawn again while taken.
DownloadUID NewDownloadUID();
// One draw of that rule.
DownloadUID NextUIDCandidate(std::uint64_t upTime, DownloadUID previous);

// What breaks the queue invariant (see above), or nothing when it holds.
std::optional<std::string> QueueOrderProblem();

}  // namespace queue
