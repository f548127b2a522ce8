#include "app/queue/adding/scheduled_items.h"

#include <algorithm>

#include "app/engine/urls/url_list.h"
#include "app/queue/record/queue_tables.h"

namespace queue {

std::vector<WrapperRef> gScheduledItems;

void CreateScheduledItemList() {
  gScheduledItems.clear();
}

void InsertScheduledItemSorted(const WrapperRef& wrapper) {
  const double time = wrapper->element().scheduleTime;
  auto at = std::find_if(gScheduledItems.begin(), gScheduledItems.end(),
                         [time](const WrapperRef& w) { return w->element().scheduleTime > time; });
  gScheduledItems.insert(at, wrapper);
}

void ScheduleDownload(const WrapperRef& wrapper, double absoluteTime) {
  DownloadQueueElement& e = wrapper->element();
  e.scheduleTime = absoluteTime;
  if (e.status == kStatusCompleted) {
    e.duration = 0;
    e.progress = 0;
    for (const char* key : {"fatalError", "norestarts", "dateString"})
      engine::URLListRemoveKey(e.urlData, key);
  }
  if (e.status == kStatusQueued) RemoveFromQueueOrder(e.uid);
  wrapper->setStatus(kStatusScheduled);
  MarkQueueDirty();
  InsertScheduledItemSorted(wrapper);
}

WrapperRef PopDueScheduledItem(double now) {
  while (!gScheduledItems.empty()) {
    WrapperRef head = gScheduledItems.front();
    if (head->element().scheduleTime > now) return nullptr;
    gScheduledItems.erase(gScheduledItems.begin());
    if (head->status() == kStatusScheduled && LookUpDownloadWrapper(head->uid()) == head) return head;
  }
  return nullptr;
}

void RemoveScheduledItem(const WrapperRef& wrapper) {
  std::erase(gScheduledItems, wrapper);
}

}  // namespace queue
