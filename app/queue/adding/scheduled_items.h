#pragma once
// Downloads waiting for a scheduled start, in ascending order of their scheduleTime; equal
// times keep the order they were scheduled in. The time is read from the record whenever
// the list is searched, and an entry whose record was meanwhile put into another state or
// removed from the queue is dropped when its turn comes.

#include <vector>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {

extern std::vector<WrapperRef> gScheduledItems;

void CreateScheduledItemList();
void InsertScheduledItemSorted(const WrapperRef& wrapper);
// Sets the time and the Scheduled state (a Completed download starts afresh) and files it.
void ScheduleDownload(const WrapperRef& wrapper, double absoluteTime);
// The first due entry still Scheduled and in the queue; null when none is due.
WrapperRef PopDueScheduledItem(double now);
void RemoveScheduledItem(const WrapperRef& wrapper);

}  // namespace queue
