#pragma once
// What the scripting suite asks of the windows, with a display: the add-URL window for
// addresses handed in with the modifier (Alt) held, coming to the front, reopening (the
// main window shown again when nothing else is in front) and the save dialog of the "ask
// where to save" mode. The rate history and the favourite rows stay as without windows
// until their owners install them.
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
  // Not built yet: there is no rate history to copy and no favourite row to remove.
  std::optional<ui::RateHistory> CopyRateHistory() override { return std::nullopt; }
  void RemoveFavouriteRow(const std::string&) override {}
};

class ToolboxFolderDialog : public ui::FolderDialogService {
 public:
  ui::ChooseFolderAnswer ChooseFolder(const std::string& startFolder, values::FourCharCode stateKey) override;
};

void InstallWindowedApplicationWindows();

}  // namespace shell
