#pragma once
// Keeping the queue in order: moving downloads to a place, up and down as a block or to
// the top, putting them at the end of the queue and holding them. Each operation leaves
// the queue invariant of queue_tables.h holding (MoveElementToQueuePosition without
// renumbering leaves the renumbering to its caller).

#include <cstdint>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {

// Main-list column properties the queue redraws.
inline constexpr std::uint32_t kStatusColumn = 1026;
inline constexpr std::uint32_t kQueuePositionColumn = 11025;

// Ascending queue position (their difference).
std::int32_t CompareElementsByQueuePosition(const DownloadQueueElement& a, const DownloadQueueElement& b);

// Moves a download to a 1-based place of the queue: a Queued one within the queue, an On
// Hold, Stopped, Failed or Completed one into it (at most at its end), becoming Queued.
// Downloads in any other state stay as they are.
void MoveElementToQueuePosition(const WrapperRef& wrapper, std::int32_t position, bool renumber = true);

// Moves the Queued ones of `wrappers` up (steps < 0) or down (steps > 0) one place per
// step, as a block: those that reached the top or the bottom stay there while the others
// catch up.
void MoveQueuedElements(const std::vector<WrapperRef>& wrappers, std::int32_t steps);

// The Queued ones of `wrappers` lead the queue, in their old order.
void MoveQueuedToTop(const std::vector<WrapperRef>& wrappers);

// A Completed download forgets its last run, to be downloaded afresh.
void ResetCompletedElement(DownloadQueueElement& element);

// An On Hold, Stopped, Failed or Completed download goes to the end of the queue (and back
// into My Downloads).
void EnqueueElement(const WrapperRef& wrapper);

// A download that is not running goes On Hold, leaving the queue or the scheduled list.
void PutElementOnHold(const WrapperRef& wrapper);

}  // namespace queue
