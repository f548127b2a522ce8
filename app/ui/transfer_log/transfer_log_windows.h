#pragma once
// The log windows as the transfer log's windows (engine::TransferLogWindowService): the
// global log window and the transfer-information windows of downloads. Start-up installs
// them where there is a display; headless runs keep the log without windows.
//
// Main thread only.

#include <string>

#include "app/engine/services/transfer_log_window_service.h"

namespace ui {

class ToolboxTransferLogWindows final : public engine::TransferLogWindowService {
 public:
  void AppendGlobalLogText(const std::string& entry) override;
  void ScrollGlobalLogToEnd() override;
  void ShowGlobalLogWindow() override;
  void RequestTransferInfoRedraw(engine::TransferInfoWindowId window) override;
};

// Makes the hidden global log window and installs the windows in the slot.
void InstallTransferLogWindows();
// Puts the default back and disposes of the global log window (tests).
void UninstallTransferLogWindows();

}  // namespace ui
