#include "app/ui/transfer_log/session_log_window.h"

#include <map>
#include <memory>

#include "app/engine/log/transfer_log.h"

namespace ui {
namespace {

std::map<std::string, std::shared_ptr<toolbox::Window>>& Windows() {
  static std::map<std::string, std::shared_ptr<toolbox::Window>> windows;
  return windows;
}

}  // namespace

toolbox::Window* FindSessionLogWindow(const std::string& host) {
  auto& windows = Windows();
  auto it = windows.find(host);
  if (it == windows.end()) return nullptr;
  if (it->second->IsReleased()) {
    windows.erase(it);
    return nullptr;
  }
  return it->second.get();
}

toolbox::Window* ShowSessionLogWindow(const std::string& host, const std::string& log) {
  toolbox::Window* w = FindSessionLogWindow(host);
  if (!w) {
    const toolbox::Rect content{0, 0, 520, 300};
    auto window = toolbox::Window::Create(
        {.kind = toolbox::WindowKind::kDocument, .title = host, .content = content, .resizable = true});
    window->SetMinimumSize({200, 120});
    window->AddControl(
        {.kind = toolbox::ControlKind::kTextView,
         .id = {toolbox::kApplicationSignature, kSessionLogTextID},
         .bounds = {0, 0, content.width, content.height},
         .font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem),
         .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});
    window->Center();
    w = window.get();
    Windows()[host] = std::move(window);
  }
  if (toolbox::Control* text = w->FindControl(toolbox::kApplicationSignature, kSessionLogTextID)) {
    // The connection's log keeps "\r" line ends, as the transfer logs do.
    text->SetText(engine::LogTextForFile(log));
    text->ScrollToEnd();
  }
  w->Select();
  return w;
}

void CloseSessionLogWindows() {
  for (auto& [host, window] : Windows()) window->Release();
  Windows().clear();
}

}  // namespace ui
