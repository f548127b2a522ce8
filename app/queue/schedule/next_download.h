#pragma once
// Which queued download starts next: the first high-priority one in the queue's order that
// `allowed` accepts (the per-host limits, in the program), else the first such normal
// one, else the first such low one. Records of a priority other than 0 (normal), 1 (low)
// and 2 (high) are passed over.
//
// Reads gQueueOrder and gQueueItems on the main thread, where they change.

#include <functional>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {

// Null when none is allowed.
WrapperRef ChooseQueuedDownloadToStart(const std::function<bool(const DownloadQueueElement&)>& allowed);

}  // namespace queue
