#pragma once
// The history: finished downloads under one row per local calendar day (view 2).
//
// Each download record carries its historyPosition (1 the newest, -1 not in the history)
// and its historyGroup, the day key of the day that lists it. The history table maps each
// day key to the day's record: the UIDs in the order they were filed and whether its row
// is expanded. At most 1000 entries: filing a new one moves every position down one, and
// the one pushed to 1001 leaves.
//
// Day keys are the start of the local day in seconds since 1904. The record field is 32
// bits wide (the stored form); inside the table the keys are 64-bit so that days after
// 2040 still sort and compare.
//
// Main thread only.

#include <cstdint>
#include <map>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/values/clock.h"
#include "platform/values/value.h"

namespace queue {

inline constexpr std::uint32_t kHistoryDayTag = 0x48697374;  // 'Hist'

struct HistoryDay {
  std::uint32_t tag = kHistoryDayTag;
  std::int64_t dayKey = 0;
  std::vector<DownloadUID> uids;
  bool open = false;
};

std::int64_t GetDayStart(values::AbsoluteTime t);
std::int32_t GetHistoryLimit();
// The moment before which entries expire by "historylifetime", or -1.0 for never.
values::AbsoluteTime GetHistoryCutoffTime();

// The table, newest day first is not implied: ordered by key.
const std::map<std::int64_t, HistoryDay>& GetHistoryDays();
HistoryDay* FindHistoryDay(std::int64_t dayKey);
void SetHistoryDayOpen(std::int64_t dayKey, bool open);
void ClearHistoryTable();

void LoadHistory();
values::Array CopyOpenHistoryDays();
void AddToHistory(const WrapperRef& wrapper);
void RemoveFromHistory(const std::vector<DownloadUID>& uids);
void TrimHistory(std::int32_t limit);
void RemoveHistoryBefore(values::AbsoluteTime t);
void PurgeExpiredHistory();
// Takes the download out of its day (a day left empty goes); the queue's removals call it.
void TakeOutOfHistoryDay(const WrapperRef& wrapper);

}  // namespace queue
