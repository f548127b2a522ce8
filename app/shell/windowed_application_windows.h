#pragma once
// What the scripting suite asks of the windows, with a display: the add-URL window for
// addresses handed in with the modifier (Alt) held, coming to the front, reopening (the
// main window shown again when nothing else is in front), the save dialog of the "ask
// where to save" mode and the rate history's figures. The favourite rows stay as without
// windows until their owner installs them.
//
// With a display the download-folder code asks its folder in the toolbox's folder dialog.

#include <optional>
#include <string>

#include "app/ui/services/application_windows_service.h"
#include "app/ui/services/folder_dialog_service.h"

namespace shell {

class WindowedApplicationWindows : public ui::ApplicationWindowsService {
 public:
  void ReopenApplication() override;
  void BringApplicationToFront() override;
  bool IsOptionKeyDown() override;
  void ShowAddURLWindow(const values::Array& urlEntries) override;
  ui::SaveDialogAnswer RunSaveDialog(const std::string& suggestedName) override;
  // The newest sample and the two averages of the rate history.
  std::optional<ui::RateHistoryFigures> CopyRateHistory() override;
  // Not built yet: there is no favourite row to remove.
  void RemoveFavouriteRow(const std::string&) override {}
};

class ToolboxFolderDialog : public ui::FolderDialogService {
 public:
  ui::ChooseFolderAnswer ChooseFolder(const std::string& startFolder, values::FourCharCode stateKey) override;
};

void InstallWindowedApplicationWindows();

}  // namespace shell
