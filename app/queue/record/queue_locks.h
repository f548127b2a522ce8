#pragma once
// The one order in which the queue's locks are taken, everywhere: gFoldersLock, then a
// folder's own items lock, then gQueueItemsLock. Whoever needs both tables takes this
// guard, which enters them in that order. A folder's items lock is held only briefly, for
// the change or the read itself, and whoever holds it takes no other queue lock; so taking
// it under this guard cannot deadlock.
//
// Both regions are recursive, so code called under the guard may enter either again.

#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "platform/runtime/critical_region.h"

namespace queue {

class QueueTablesGuard {
 public:
  QueueTablesGuard() : folders_(gFoldersLock), items_(gQueueItemsLock) {}

 private:
  runtime::RegionGuard folders_;
  runtime::RegionGuard items_;
};

}  // namespace queue
