#pragma once
// Where the transfer log finds a download's transfer-log record: in that download's
// record, which the queue keeps. The engine declares what it needs here so that it
// includes nothing of the queue; the queue installs its records at start-up. Main thread
// only; the pointer is good until the queue next changes.
//
// The default finds no download, so lines for downloads are dropped, as for a download
// that has left the queue.

#include <cstdint>

#include "platform/runtime/service_slot.h"

namespace engine {

struct TransferLogRecord;

class TransferLogRecords {
 public:
  virtual ~TransferLogRecords() = default;
  // The record of the download with `uid`, or null when no such download is queued.
  virtual TransferLogRecord* Find(std::uint32_t uid) = 0;
};

class NoTransferLogRecords : public TransferLogRecords {
 public:
  TransferLogRecord* Find(std::uint32_t) override { return nullptr; }
};

using TransferLogRecordsSlot = runtime::ServiceSlot<TransferLogRecords, NoTransferLogRecords>;

}  // namespace engine
