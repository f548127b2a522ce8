#pragma once
// Small questions the lists and commands ask of the queue: downloads by status, the filter
// bar's test, the URL texts of a download, the transfer rates.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {

// Filter-bar scopes.
enum FilterScope : int {
  kScopeAll = 1,
  kScopeInProgress = 2,
  kScopePaused = 3,
  kScopeCompleted = 4,
  kScopeQueued = 5,
  kScopeIncomplete = 6,
};

// The downloads whose status has a bit of `mask`: of the folder's items when `folder` lists
// items, else of the whole queue.
std::vector<WrapperRef> CopyElementsWithStatus(DownloadStatus mask, ViewID folder = 0);

bool ElementMatchesViewFilter(const DownloadQueueElement& e, int scope);
// The current filter-bar scope (unless All) and then the search text: empty, or found
// (ignoring case) in the file name or in any URL.
bool ElementMatchesFilterAndSearch(const DownloadQueueElement& e, const std::string& search);

// The URL texts of the download's entries joined by "\r".
std::string CopyElementURLList(const DownloadQueueElement& e);
// The same without the user-information parts.
std::string CopyElementURLDisplayList(const DownloadQueueElement& e);

// (downloads, uploads), bytes per second.
std::pair<float, float> SumTransferRates();

}  // namespace queue
