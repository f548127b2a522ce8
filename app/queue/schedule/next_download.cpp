#include "app/queue/schedule/next_download.h"

#include <cstdint>
#include <utility>

#include "app/queue/record/queue_tables.h"

namespace queue {

namespace {
enum Priority : std::int32_t { kNormal = 0, kLow = 1, kHigh = 2 };
}  // namespace

WrapperRef ChooseQueuedDownloadToStart(const std::function<bool(const DownloadQueueElement&)>& allowed) {
  WrapperRef normal;
  WrapperRef low;
  for (const DownloadUID uid : gQueueOrder) {
    auto it = gQueueItems.find(uid);
    if (it == gQueueItems.end() || !it->second) continue;
    const WrapperRef& wrapper = it->second;
    const auto& element = std::as_const(*wrapper).element();
    switch (element.priority) {
      case kHigh:
        if (allowed(element)) return wrapper;
        break;
      case kNormal:
        if (!normal && allowed(element)) normal = wrapper;
        break;
      case kLow:
        if (!low && allowed(element)) low = wrapper;
        break;
      default:
        break;
    }
  }
  return normal ? normal : low;
}

}  // namespace queue
