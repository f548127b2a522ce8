#include "app/queue/operations/queue_order.h"

#include <algorithm>

#include "app/engine/urls/url_list.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_locks.h"
#include "app/ui/services/main_list_services.h"

namespace queue {
namespace {

// The index of the UID in the order; the record's position is tried first.
std::optional<std::size_t> OrderIndex(const DownloadQueueElement& e) {
  const auto at = static_cast<std::size_t>(e.queuePosition - 1);
  if (e.queuePosition >= 1 && at < gQueueOrder.size() && gQueueOrder[at] == e.uid) return at;
  auto it = std::find(gQueueOrder.begin(), gQueueOrder.end(), e.uid);
  if (it == gQueueOrder.end()) return std::nullopt;
  return static_cast<std::size_t>(it - gQueueOrder.begin());
}

std::vector<WrapperRef> QueuedByPosition(const std::vector<WrapperRef>& wrappers) {
  std::vector<WrapperRef> queued;
  for (const auto& w : wrappers) {
    if (w && w->status() == kStatusQueued && std::find(queued.begin(), queued.end(), w) == queued.end())
      queued.push_back(w);
  }
  std::sort(queued.begin(), queued.end(), [](const WrapperRef& a, const WrapperRef& b) {
    return a->element().queuePosition < b->element().queuePosition;
  });
  return queued;
}

void RenumberFrom(std::size_t first) {
  RenumberQueue(first, gQueueOrder.size() > first ? gQueueOrder.size() - first : 0);
  gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
}

}  // namespace

std::int32_t CompareElementsByQueuePosition(const DownloadQueueElement& a, const DownloadQueueElement& b) {
  return a.queuePosition - b.queuePosition;
}

void MoveElementToQueuePosition(const WrapperRef& wrapper, std::int32_t position, bool renumber) {
  QueueTablesGuard guard;
  DownloadQueueElement& e = wrapper->element();
  std::int32_t place = std::max(position, 1);
  const bool wasQueued = e.status == kStatusQueued;
  std::optional<std::size_t> from;
  if (wasQueued) {
    from = OrderIndex(e);
    if (!from) return;
    place = std::min(place, gQueuedCount);
  } else if (e.status & kInactiveMask) {
    place = std::min(place, gQueuedCount + 1);
    if (!OrderIndex(e)) gQueueOrder.push_back(e.uid);
    from = gQueueOrder.size() - 1;
  } else {
    return;
  }
  gQueueOrder.erase(gQueueOrder.begin() + static_cast<std::ptrdiff_t>(*from));
  const auto to = static_cast<std::size_t>(place - 1);
  gQueueOrder.insert(gQueueOrder.begin() + static_cast<std::ptrdiff_t>(to), e.uid);
  const std::size_t lowest = std::min(*from, to);
  e.queuePosition = place;
  if (!wasQueued) wrapper->setStatus(kStatusQueued);
  gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
  if (renumber) RenumberFrom(lowest);
  MarkQueueDirty();
}

void MoveQueuedElements(const std::vector<WrapperRef>& wrappers, std::int32_t steps) {
  QueueTablesGuard guard;
  std::vector<WrapperRef> moving = QueuedByPosition(wrappers);
  auto position = [](const WrapperRef& w) { return w->element().queuePosition; };
  auto swapEntries = [](std::size_t a, std::size_t b) { std::swap(gQueueOrder[a], gQueueOrder[b]); };
  while (!moving.empty() && steps != 0) {
    if (steps < 0) {
      std::size_t packed = 0;
      while (packed < moving.size() && position(moving[packed]) == static_cast<std::int32_t>(packed + 1))
        ++packed;
      moving.erase(moving.begin(), moving.begin() + static_cast<std::ptrdiff_t>(packed));
      if (moving.empty()) break;
      for (const auto& w : moving) {
        const auto at = static_cast<std::size_t>(position(w) - 1);
        swapEntries(at, at - 1);
      }
      RenumberQueue(0, static_cast<std::size_t>(position(moving.back())));
      ++steps;
    } else {
      std::size_t packed = 0;
      while (packed < moving.size() &&
             position(moving[moving.size() - 1 - packed]) == gQueuedCount - static_cast<std::int32_t>(packed))
        ++packed;
      moving.resize(moving.size() - packed);
      if (moving.empty()) break;
      for (auto it = moving.rbegin(); it != moving.rend(); ++it) {
        const auto at = static_cast<std::size_t>(position(*it) - 1);
        swapEntries(at, at + 1);
      }
      RenumberFrom(static_cast<std::size_t>(position(moving.front()) - 1));
      --steps;
    }
  }
  MarkQueueDirty();
}

void MoveQueuedToTop(const std::vector<WrapperRef>& wrappers) {
  {
    QueueTablesGuard guard;
    const std::vector<WrapperRef> moving = QueuedByPosition(wrappers);
    if (moving.empty()) return;
    for (auto it = moving.rbegin(); it != moving.rend(); ++it) {
      if (auto at = OrderIndex((*it)->element()))
        gQueueOrder.erase(gQueueOrder.begin() + static_cast<std::ptrdiff_t>(*at));
    }
    for (auto it = moving.rbegin(); it != moving.rend(); ++it)
      gQueueOrder.insert(gQueueOrder.begin(), (*it)->uid());
    RenumberFrom(0);
    MarkQueueDirty();
  }
  ui::MainListServicesSlot::Get().UpdateDownloadColumn(kStatusColumn, {});
}

void ResetCompletedElement(DownloadQueueElement& e) {
  if (e.status != kStatusCompleted) return;
  e.duration = 0;
  e.progress = 0;
  for (const char* key : {"fatalError", "norestarts", "dateString"}) engine::URLListRemoveKey(e.urlData, key);
}

void EnqueueElement(const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  // Running, Queued and Scheduled downloads have their place already.
  if ((e.status & kInactiveMask) == 0) return;
  {
    QueueTablesGuard guard;
    ResetCompletedElement(e);
    wrapper->setStatus(kStatusQueued);
    if (!OrderIndex(e)) gQueueOrder.push_back(e.uid);
    gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
    e.queuePosition = gQueuedCount;
  }
  auto& list = ui::MainListServicesSlot::Get();
  list.AddElementToDownloadsView(wrapper);
  AddElementToListableFolder(kMyDownloadsViewID, wrapper);
  list.UpdateDownloadRow(e.uid);
  MarkQueueDirty();
}

void PutElementOnHold(const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  if (e.status & (kRunningMask | kStatusVerifying | kStatusOnHold)) return;
  std::optional<std::size_t> left;
  {
    QueueTablesGuard guard;
    if (e.status == kStatusQueued) {
      left = OrderIndex(e);
      if (left) gQueueOrder.erase(gQueueOrder.begin() + static_cast<std::ptrdiff_t>(*left));
      gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
    } else if (e.status == kStatusScheduled) {
      RemoveScheduledItem(wrapper);
    }
    ResetCompletedElement(e);
    wrapper->setStatus(kStatusOnHold);
    if (left) RenumberFrom(*left);
  }
  auto& list = ui::MainListServicesSlot::Get();
  if (left) {
    list.UpdateDownloadColumn(kQueuePositionColumn, {});
  }
  list.UpdateDownloadRow(e.uid);
  MarkQueueDirty();
}

}  // namespace queue
