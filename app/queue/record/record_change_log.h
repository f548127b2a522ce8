#pragma once
// What changed among the queue's downloads since the queue file last made its texts, so that
// a save makes anew only those records and never walks the whole queue on the main thread:
// - records written to: a wrapper notes itself the first time it is marked changed after
//   its text was taken (DownloadQueueWrapper::MarkChanged), from any thread;
// - UIDs that entered or left gQueueItems (QueueItemsSet, QueueItemsRemove);
// - new queue positions: renumbering moves every Queued download at each start without
//   touching the rest of its record, so only the number is noted (too many of them between
//   two saves and only "all positions" is kept);
// - a table replaced whole (ClearQueueTables, a load), after which every text is made anew.

#include <cstdint>
#include <memory>
#include <vector>

#include "app/queue/record/download_queue_element.h"

namespace queue {

class DownloadQueueWrapper;

struct RecordChanges {
  struct Position {
    DownloadUID key;                    // where the record's text is kept
    const DownloadQueueWrapper* owner;  // for identity only: the record may be gone
    std::int32_t position;
    std::uint32_t hint;  // where its text was last found among the kept ones
  };
  std::vector<std::weak_ptr<DownloadQueueWrapper>> records;
  std::vector<DownloadUID> memberships;
  std::vector<Position> positions;
  bool allPositions = false;
  bool everything = false;
};

void NoteRecordChanged(DownloadQueueWrapper& wrapper);
void NoteQueueMembership(DownloadUID uid);
void NoteQueuePosition(const RecordChanges::Position& position);
void NoteQueuePositions(const std::vector<RecordChanges::Position>& positions);
void NoteQueueTableReplaced();
// Hands over what was noted and starts a new list; `reuse` (emptied) takes the place of the
// lists handed over, so that their memory serves again.
RecordChanges TakeRecordChanges(RecordChanges reuse = {});

}  // namespace queue
