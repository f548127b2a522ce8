#include "app/shell/windowed_application_windows.h"

#include "app/ui/rate_history/bandwidth_window.h"

#include "app/ui/main_window/main_window.h"
#include "app/ui/small_windows/add_url_window.h"
#include "app/util/settings/download_folder.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/values/localize.h"

namespace shell {

void WindowedApplicationWindows::ReopenApplication() {
  auto front = toolbox::Window::FrontWindow();
  if (front && front->IsVisible() && front->kind() != toolbox::WindowKind::kFloating) return;
  if (toolbox::Window* main = ui::GetMainWindow()) main->Select();
}

void WindowedApplicationWindows::BringApplicationToFront() {
  if (auto front = toolbox::Window::FrontWindow()) {
    front->Select();
  } else if (toolbox::Window* main = ui::GetMainWindow()) {
    if (main->IsVisible()) main->Select();
  }
}

bool WindowedApplicationWindows::IsOptionKeyDown() {
  return (toolbox::GetCurrentKeyModifiers() & toolbox::kModifierOption) != 0;
}

void WindowedApplicationWindows::ShowAddURLWindow(const values::Array& urlEntries) {
  ui::ShowAddURLWindow(urlEntries);
}

ui::SaveDialogAnswer WindowedApplicationWindows::RunSaveDialog(const std::string& suggestedName) {
  toolbox::FileDialogRequest request;
  request.title = values::Localized("Save");
  files::FileRef folder;
  if (util::GetDefaultDownloadFolder(folder)) request.directory = folder.Path();
  request.file_name = suggestedName;
  toolbox::Window* main = ui::GetMainWindow();
  request.parent = main && main->IsVisible() ? main : nullptr;
  const std::optional<std::string> path = toolbox::GetPresenter().PutFile(request);
  if (!path) return {.kind = ui::SaveDialogAnswer::Kind::kCancelled, .folder = {}, .name = {}};
  const files::FileRef chosen(*path);
  return {
      .kind = ui::SaveDialogAnswer::Kind::kChosen, .folder = chosen.Parent().Path(), .name = chosen.Name()};
}

ui::ChooseFolderAnswer ToolboxFolderDialog::ChooseFolder(const std::string& startFolder,
                                                         values::FourCharCode) {
  toolbox::FileDialogRequest request;
  request.title = values::Localized("Choose a Folder");
  request.directory = startFolder;
  const std::optional<std::string> path = toolbox::GetPresenter().ChooseFolder(request);
  if (!path) return {.kind = ui::ChooseFolderAnswer::Kind::kCancelled, .folder = {}};
  return {.kind = ui::ChooseFolderAnswer::Kind::kChosen, .folder = *path};
}

std::optional<ui::RateHistoryFigures> WindowedApplicationWindows::CopyRateHistory() {
  const ui::RateHistory& h = ui::TheRateHistory();
  return ui::RateHistoryFigures{static_cast<float>(h.last), h.average300, h.average900};
}

void InstallWindowedApplicationWindows() {
  ui::ApplicationWindowsServiceSlot::Set(std::make_unique<WindowedApplicationWindows>());
  ui::FolderDialogServiceSlot::Set(std::make_unique<ToolboxFolderDialog>());
}

}  // namespace shell
