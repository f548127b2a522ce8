#include "app/ui/transfer_log/transfer_log_windows.h"

#include <memory>

#include "app/ui/transfer_log/log_window.h"
#include "app/ui/transfer_log/transfer_info_window.h"

namespace ui {

void ToolboxTransferLogWindows::AppendGlobalLogText(const std::string& entry) {
  AppendToGlobalLogWindow(entry);
}

void ToolboxTransferLogWindows::ScrollGlobalLogToEnd() {
  ScrollGlobalLogWindowToEnd();
}

void ToolboxTransferLogWindows::ShowGlobalLogWindow() {
  BringGlobalLogWindowToFront();
}

void ToolboxTransferLogWindows::RequestTransferInfoRedraw(engine::TransferInfoWindowId window) {
  SendTransferLogChanged(window);
}

void InstallTransferLogWindows() {
  CreateGlobalLogWindowView();
  engine::TransferLogWindowServiceSlot::Set(std::make_unique<ToolboxTransferLogWindows>());
}

void UninstallTransferLogWindows() {
  engine::TransferLogWindowServiceSlot::Set(nullptr);
  DisposeGlobalLogWindow();
}

}  // namespace ui
