#include "app/queue/record/queue_tables.h"

#include <cstring>
#include <utility>

#include "app/queue/record/record_text_store.h"
#include "platform/runtime/clock.h"
#include "platform/values/digest.h"

namespace queue {

std::map<DownloadUID, WrapperRef> gQueueItems;
runtime::CriticalRegion gQueueItemsLock;
std::vector<DownloadUID> gQueueOrder;
std::int32_t gQueuedCount = 0;
bool gQueueChanged = false;
bool gFolderSettingsChanged = false;

void ClearQueueTables() {
  std::lock_guard lock(gQueueItemsLock);
  gQueueItems.clear();
  gQueueOrder.clear();
  gQueuedCount = 0;
  gQueueChanged = false;
  gFolderSettingsChanged = false;
  NoteQueueTableReplaced();
  // The records' saved texts go with them: the next save makes every text anew anyway, and
  // a large queue loaded next must not find the old texts still in memory.
  SavedRecordTexts().Clear();
}

void QueueItemsSet(DownloadUID uid, WrapperRef wrapper) {
  std::lock_guard lock(gQueueItemsLock);
  gQueueItems[uid] = std::move(wrapper);
  NoteQueueMembership(uid);
}

void QueueItemsRemove(DownloadUID uid) {
  std::lock_guard lock(gQueueItemsLock);
  if (gQueueItems.erase(uid) != 0) NoteQueueMembership(uid);
}

WrapperRef LookUpDownloadWrapper(DownloadUID uid) {
  std::lock_guard lock(gQueueItemsLock);
  auto it = gQueueItems.find(uid);
  return it == gQueueItems.end() ? nullptr : it->second;
}

engine::TransferLogRecord* FindDownloadTransferLog(DownloadUID uid) {
  WrapperRef wrapper = LookUpDownloadWrapper(uid);
  // The record lives in the element, which the queue keeps while the wrapper is listed.
  return wrapper ? &wrapper->element().transferLog : nullptr;
}

std::int32_t RenumberQueue(std::size_t first, std::size_t count) {
  if (count == 0) return gQueuedCount;
  std::lock_guard lock(gQueueItemsLock);
  std::int32_t next = static_cast<std::int32_t>(first) + 1;
  const std::size_t end = std::min(gQueueOrder.size(), first + count);
  // The queue file is told of the new positions at once: a start moves every Queued one.
  static std::vector<RecordChanges::Position> moved;
  moved.clear();
  for (std::size_t i = first; i < end; ++i) {
    auto it = gQueueItems.find(gQueueOrder[i]);
    if (it == gQueueItems.end() || it->second->status() != kStatusQueued) continue;
    if (auto note = it->second->MoveQueuePosition(next)) moved.push_back(*note);
    ++next;
  }
  NoteQueuePositions(moved);
  gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
  return gQueuedCount;
}

void RemoveFromQueueOrder(DownloadUID uid) {
  std::lock_guard lock(gQueueItemsLock);
  for (std::size_t i = 0; i < gQueueOrder.size(); ++i) {
    if (gQueueOrder[i] != uid) continue;
    gQueueOrder.erase(gQueueOrder.begin() + static_cast<std::ptrdiff_t>(i));
    gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
    RenumberQueue(i, gQueueOrder.size() - i);
    return;
  }
}

DownloadUID NextUIDCandidate(std::uint64_t upTime, DownloadUID previous) {
  std::uint8_t bytes[12];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(upTime >> (8 * i));
  for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<std::uint8_t>(previous >> (8 * i));
  const std::vector<std::uint8_t> digest = values::ComputeDigest(values::DigestAlgorithm::kMd5, bytes);
  DownloadUID candidate = 0;
  std::memcpy(&candidate, digest.data(), sizeof candidate);
  return candidate;
}

DownloadUID NewDownloadUID() {
  const auto upTime = static_cast<std::uint64_t>(runtime::UpTime().count());
  std::lock_guard lock(gQueueItemsLock);
  DownloadUID candidate = 0;
  // 0 stands for "no UID" in the adding functions, so it is never handed out.
  do {
    candidate = NextUIDCandidate(upTime, candidate);
  } while (candidate == 0 || gQueueItems.count(candidate) != 0);
  return candidate;
}

std::optional<std::string> QueueOrderProblem() {
  std::lock_guard lock(gQueueItemsLock);
  if (gQueuedCount != static_cast<std::int32_t>(gQueueOrder.size())) {
    return "gQueuedCount " + std::to_string(gQueuedCount) + " but the order holds " +
           std::to_string(gQueueOrder.size());
  }
  for (std::size_t i = 0; i < gQueueOrder.size(); ++i) {
    auto it = gQueueItems.find(gQueueOrder[i]);
    if (it == gQueueItems.end()) return "entry " + std::to_string(i + 1) + " names no record";
    const DownloadQueueElement& e = std::as_const(*it->second).element();
    if (e.status != kStatusQueued) {
      return "entry " + std::to_string(i + 1) + " has status " + std::to_string(e.status);
    }
    if (e.queuePosition != static_cast<std::int32_t>(i + 1)) {
      return "entry " + std::to_string(i + 1) + " has position " + std::to_string(e.queuePosition);
    }
  }
  std::size_t queued = 0;
  for (const auto& [uid, wrapper] : gQueueItems) queued += wrapper->status() == kStatusQueued;
  if (queued != gQueueOrder.size()) {
    return std::to_string(queued) + " records are Queued but the order holds " +
           std::to_string(gQueueOrder.size());
  }
  return std::nullopt;
}

}  // namespace queue
