#pragma once
// The upload queue: every upload that exists (`uploadQueue`, keyed by the item's UID
// text), the waiting list whose head starts first (`queueOrder`) and the uploads whose
// worker runs (`activeUploads`).
//
// Invariants: an item in activeUploads is uploading (32); an uploading item is not
// waiting in queueOrder; every item of queueOrder and activeUploads is in uploadQueue.
// `gUploadQueueDirty` is set by every change the uploads file keeps and cleared by a save.
//
// Main thread only; the tables have no lock (workers only post events).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/upload/queue/upload_item.h"

namespace upload {

struct UploadTables {
  std::map<std::string, UploadItemRef> uploadQueue;
  std::vector<UploadItemRef> queueOrder;
  std::vector<UploadItemRef> activeUploads;
};
UploadTables& Uploads();
extern bool gUploadQueueDirty;

// "not found" of a waiting index.
inline constexpr std::uint32_t kNotWaiting = 0x7FFFFFFF;

// False when an item with the same UID text is already there.
bool AddToQueue(const UploadItemRef& item);
// Starts the worker (or the Bonjour resolution); false when it could not start.
bool StartUpload(const UploadItemRef& item);
// Stop request to a running worker; with requeue the item waits again, first.
void CancelUpload(const UploadItemRef& item);
void CancelAndRequeue(const UploadItemRef& item);
void ReleaseController(UploadItem& item);
// Nothing for an uploading item.
void RemoveFromQueue(const UploadItemRef& item, bool trashFile);

std::uint32_t WaitingIndex(const UploadItem& item);
void AddToWaitingList(const UploadItemRef& item);
void RemoveFromWaitingList(const UploadItemRef& item);
// Moves the block of the given waiting items |delta| places (up when delta < 0); items
// already packed at the end they move to stay.
void MoveUploadItemsInWaitingList(const std::vector<UploadItemRef>& items, std::int16_t delta);

UploadItemRef FindUploadItemByUUID(const std::string& uid);
// After a completion: a new UID, so that a finished worker's late events find nothing.
void RenewUID(const UploadItemRef& item);
void FreezeElapsedTime(UploadItem& item);
void AppendLog(UploadItem& item, const UploadLog& lines);

void CheckFiles();
// Host as the items store it: type 2 the service name, others "host:port".
void CancelUploadsToHost(const std::string& host, int port, const std::string& user,
                         const std::string& password, std::int32_t type);
std::int32_t CountUploadsToHost(const std::string& host, int port, const std::string& user,
                                const std::string& password, std::int32_t type);
void RemoveAllUploads(bool trashFiles);
void DeleteItemsWithMask(std::int32_t mask, bool trashFiles);
bool DeleteItemsWithNoFile();
bool UploadsInStateHaveFile(std::int32_t mask);

// Starts the head of the waiting list, when there is one.
void StartNextUpload();
void RequeueActiveUploads();
// Clearing with the confirmation of its kind (finished: mask 64, inactive: mask 8).
void ClearFinishedUploads(bool interactive);
void ClearInactiveUploads(bool interactive);

// Empties every table (tests; a load replaces the tables).
void ClearUploadTables();

}  // namespace upload
