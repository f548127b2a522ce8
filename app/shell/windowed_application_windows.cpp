#include "app/shell/windowed_application_windows.h"

#include "app/ui/main_window/main_window.h"
#include "app/ui/small_windows/add_url_window.h"
#include "platform/toolbox/services/modifiers.h"

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

void InstallWindowedApplicationWindows() {
  ui::ApplicationWindowsServiceSlot::Set(std::make_unique<WindowedApplicationWindows>());
}

}  // namespace shell
