#pragma once
// The status line under the main list: how many items the list shows and their total size
// ("12.40 GB in 31 items").
//
// The count and the total are cached. RefreshStatusBar marks the cache stale and asks for
// the text once, soon (many changes in one pass cost one walk of the rows); a size change
// of one download adjusts the cached total without a walk.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>

namespace toolbox {
class Control;
}
namespace queue {
class DownloadQueueWrapper;
}

namespace ui {

// "1023 B", "1 KB", "1023 KB", "1 MB", "1.00 GB": whole units below a gigabyte.
std::string FormatStatusSize(std::uint64_t bytes);
// The status text's words for a count and a total, set on `control` when given.
std::string DrawStatusText(std::int64_t count, std::uint64_t bytes, toolbox::Control* control);

void RefreshStatusBar();
// Walks the rows and draws the text when the cache is stale (what the deferred refresh runs).
void StatusTextDrawHandler();
// A download's size moved from `oldSize` to `newSize` (-1: unknown, counts 0).
void AdjustStatusTotals(const std::shared_ptr<queue::DownloadQueueWrapper>& download, std::int64_t newSize,
                        std::int64_t oldSize);

struct StatusTotals {
  std::int64_t count = -1;  // -1: stale
  std::uint64_t bytes = 0;
};
StatusTotals CurrentStatusTotals();
// Forgets the cache and the pending refresh (the window goes).
void ResetStatusLine();

}  // namespace ui
