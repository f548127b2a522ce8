#include "app/queue/record/record_change_log.h"

#include <mutex>
#include <utility>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {
namespace {

// Beyond this many position notes between two saves, renumbering the whole table once is
// cheaper than applying them one by one.
constexpr std::size_t kMaxPositionNotes = 1 << 16;

struct ChangeLog {
  std::mutex lock;  // records may be written to off the main thread
  RecordChanges changes;
};

ChangeLog& Log() {
  static ChangeLog log;
  return log;
}

}  // namespace

void NoteRecordChanged(DownloadQueueWrapper& wrapper) {
  std::weak_ptr<DownloadQueueWrapper> weak = wrapper.weak_from_this();
  if (weak.expired()) return;  // not yet (or no longer) owned: nothing to save
  ChangeLog& log = Log();
  std::lock_guard guard(log.lock);
  log.changes.records.push_back(std::move(weak));
}

void NoteQueueMembership(DownloadUID uid) {
  ChangeLog& log = Log();
  std::lock_guard guard(log.lock);
  log.changes.memberships.push_back(uid);
}

void NoteQueuePosition(const RecordChanges::Position& position) {
  ChangeLog& log = Log();
  std::lock_guard guard(log.lock);
  if (log.changes.allPositions) return;
  if (log.changes.positions.size() >= kMaxPositionNotes) {
    log.changes.allPositions = true;
    log.changes.positions.clear();
    return;
  }
  log.changes.positions.push_back(position);
}

void NoteQueuePositions(const std::vector<RecordChanges::Position>& positions) {
  if (positions.empty()) return;
  ChangeLog& log = Log();
  std::lock_guard guard(log.lock);
  if (log.changes.allPositions) return;
  if (log.changes.positions.size() + positions.size() > kMaxPositionNotes) {
    log.changes.allPositions = true;
    log.changes.positions.clear();
    return;
  }
  log.changes.positions.insert(log.changes.positions.end(), positions.begin(), positions.end());
}

void NoteQueueTableReplaced() {
  ChangeLog& log = Log();
  std::lock_guard guard(log.lock);
  log.changes.everything = true;
  log.changes.records.clear();
  log.changes.memberships.clear();
  log.changes.positions.clear();
}

RecordChanges TakeRecordChanges(RecordChanges reuse) {
  reuse.records.clear();
  reuse.memberships.clear();
  reuse.positions.clear();
  reuse.allPositions = false;
  reuse.everything = false;
  ChangeLog& log = Log();
  std::lock_guard guard(log.lock);
  return std::exchange(log.changes, std::move(reuse));
}

}  // namespace queue
