#pragma once
// What the scripting suite asks of the windows, with a display: the add-URL window for
// addresses handed in with the modifier (Alt) held, coming to the front, and reopening
// (the main window shown again when nothing else is in front). The save dialog, the rate
// history and the favourite rows stay as without windows until their owners install them.

#include <optional>
#include <string>

#include "app/ui/services/application_windows_service.h"

namespace shell {

class WindowedApplicationWindows : public ui::ApplicationWindowsService {
 public:
  void ReopenApplication() override;
  void BringApplicationToFront() override;
  bool IsOptionKeyDown() override;
  void ShowAddURLWindow(const values::Array& urlEntries) override;
  // Not built yet: the save dialog answers as cancelled, there is no rate history to copy
  // and no favourite row to remove.
  ui::SaveDialogAnswer RunSaveDialog(const std::string&) override { return {}; }
  std::optional<ui::RateHistory> CopyRateHistory() override { return std::nullopt; }
  void RemoveFavouriteRow(const std::string&) override {}
};

void InstallWindowedApplicationWindows();

}  // namespace shell
