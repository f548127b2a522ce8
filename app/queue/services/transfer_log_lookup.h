#pragma once
// What the transfer log asks of the queue: the transfer-log record of the download with a
// UID, which lives in that download's record. Main thread only; the pointer is good until
// the queue next changes.
//
// The queue registers its implementation at start-up with SetTransferLogLookup. The
// default finds no download, so lines for downloads are dropped, as for a download that
// has left the queue.

#include <cstdint>
#include <functional>
#include <utility>

namespace engine {
struct TransferLogRecord;
}

namespace queue {

using TransferLogLookup = std::function<engine::TransferLogRecord*(std::uint32_t uid)>;

inline TransferLogLookup& TransferLogLookupSlot() {
  static TransferLogLookup lookup = [](std::uint32_t) -> engine::TransferLogRecord* { return nullptr; };
  return lookup;
}
inline engine::TransferLogRecord* FindTransferLogRecord(std::uint32_t uid) {
  return TransferLogLookupSlot()(uid);
}
inline void SetTransferLogLookup(TransferLogLookup lookup) {
  TransferLogLookupSlot() =
      lookup ? std::move(lookup) : [](std::uint32_t) -> engine::TransferLogRecord* { return nullptr; };
}

}  // namespace queue
