#pragma once
// What the remote browser and peer sharing ask of the source list: a row under Remote
// Servers while a connection is open. The view identifier names the host (1025 + its
// index in the host list); the row's label, icons and eject button come from the
// owners' row services.
//
// The main window registers its implementation at start-up with
// SourceListRowsServiceSlot::Set(). Without a window (headless runs) there is no row to
// add and the default does nothing.
//
// Main thread only.

#include <cstdint>

#include "platform/runtime/service_slot.h"

namespace ui {

class SourceListRowsService {
 public:
  virtual ~SourceListRowsService() = default;
  // The host's row, sorted among the others; nothing when the host is unknown.
  virtual void AddHostRow(std::uint32_t viewID) = 0;
  // The row goes; when it was the only selected row, the row above it is selected.
  virtual void RemoveHostRow(std::uint32_t viewID) = 0;
  // The row's spinning arrows while the connection works.
  virtual void SetHostRowBusy(std::uint32_t viewID, bool busy) = 0;
};

class NoSourceListRows : public SourceListRowsService {
 public:
  void AddHostRow(std::uint32_t) override {}
  void RemoveHostRow(std::uint32_t) override {}
  void SetHostRowBusy(std::uint32_t, bool) override {}
};

using SourceListRowsServiceSlot = runtime::ServiceSlot<SourceListRowsService, NoSourceListRows>;

}  // namespace ui
