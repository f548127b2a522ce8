#pragma once
// What the transfer log asks of its windows: the global log window (one text view holding
// the whole log of this run) and the "Transfer information for %@" windows of single
// downloads. The log's text and files live in the engine (app/engine/log/transfer_log.h);
// only the showing is the windows'. The engine declares what it needs here so that it
// includes nothing of the user interface; the user interface installs its windows at
// start-up. Main thread only.
//
// The default shows nothing: without a window the global log still reaches its file, and
// transfer logs still grow in their downloads.

#include <cstdint>
#include <string>

#include "platform/runtime/service_slot.h"

namespace engine {

// Names an open transfer-information window; 0 names none.
using TransferInfoWindowId = std::uint64_t;

class TransferLogWindowService {
 public:
  virtual ~TransferLogWindowService() = default;
  // The global log window's text grows by `entry`.
  virtual void AppendGlobalLogText(const std::string& entry) = 0;
  // After a write to the log file: show the last character.
  virtual void ScrollGlobalLogToEnd() = 0;
  virtual void ShowGlobalLogWindow() = 0;
  // Asks an open transfer-information window to fetch the unshown part of its download's
  // log (engine::TakeUnshownTransferLog) and show it.
  virtual void RequestTransferInfoRedraw(TransferInfoWindowId window) = 0;
};

class NoTransferLogWindows : public TransferLogWindowService {
 public:
  void AppendGlobalLogText(const std::string&) override {}
  void ScrollGlobalLogToEnd() override {}
  void ShowGlobalLogWindow() override {}
  void RequestTransferInfoRedraw(TransferInfoWindowId) override {}
};

using TransferLogWindowServiceSlot = runtime::ServiceSlot<TransferLogWindowService, NoTransferLogWindows>;

}  // namespace engine
