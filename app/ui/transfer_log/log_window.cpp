#include "app/ui/transfer_log/log_window.h"

#include <memory>

#include "app/engine/log/transfer_log.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

struct GlobalLogWindow {
  std::shared_ptr<toolbox::Window> window;
  runtime::HandlerRef closeHandler;
  std::size_t shownBytes = 0;  // bytes appended since the text was last set whole
};

GlobalLogWindow& State() {
  static GlobalLogWindow state;
  return state;
}

toolbox::Control* TextView() {
  toolbox::Window* w = GetGlobalLogWindow();
  return w ? w->FindControl(toolbox::kApplicationSignature, kGlobalLogTextID) : nullptr;
}

// The whole text from the log's memory, as the view shows it.
void ResetTextFromLog(toolbox::Control& view) {
  const engine::GlobalLog* log = engine::CurrentGlobalLog();
  const std::string text = log ? engine::LogTextForFile(log->Text()) : std::string();
  view.SetText(text);
  view.ScrollToEnd();
  State().shownBytes = text.size();
}

}  // namespace

void CreateGlobalLogWindowView() {
  GlobalLogWindow& s = State();
  if (s.window && !s.window->IsReleased()) return;
  const toolbox::Rect content{0, 0, 520, 360};
  s.window = toolbox::Window::Create({.kind = toolbox::WindowKind::kDocument,
                                      .title = values::Localized(kGlobalLogWindowTitle),
                                      .content = content,
                                      .resizable = true});
  toolbox::Window& w = *s.window;
  w.SetMinimumSize({200, 120});
  w.AddControl(
      {.kind = toolbox::ControlKind::kTextView,
       .id = {toolbox::kApplicationSignature, kGlobalLogTextID},
       .bounds = {0, 0, content.width, content.height},
       .font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem),
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});
  if (!w.SetFrameAutosaveKey(kGlobalLogFrameKey)) w.Center();
  // The close box hides: the window lives as long as the log.
  s.closeHandler = w.InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowClose}},
                                    [](runtime::HandlerCall&, runtime::Event&) {
                                      if (toolbox::Window* win = GetGlobalLogWindow()) win->Hide();
                                      return runtime::kNoErr;
                                    });
  w.Hide();
  if (toolbox::Control* view = TextView()) ResetTextFromLog(*view);
}

void DisposeGlobalLogWindow() {
  GlobalLogWindow& s = State();
  if (s.window) s.window->Release();
  s = GlobalLogWindow{};
}

toolbox::Window* GetGlobalLogWindow() {
  const auto& w = State().window;
  return w && !w->IsReleased() ? w.get() : nullptr;
}

void AppendToGlobalLogWindow(const std::string& entry) {
  toolbox::Control* view = TextView();
  if (view == nullptr) return;
  const std::string text = engine::LogTextForFile(entry);
  if (State().shownBytes + text.size() > 2 * engine::kGlobalLogTextLimit) return ResetTextFromLog(*view);
  view->AppendText(text);
  State().shownBytes += text.size();
}

void ScrollGlobalLogWindowToEnd() {
  if (toolbox::Control* view = TextView()) view->ScrollToEnd();
}

void BringGlobalLogWindowToFront() {
  if (GetGlobalLogWindow() == nullptr) CreateGlobalLogWindowView();
  if (toolbox::Window* w = GetGlobalLogWindow()) w->Select();
}

}  // namespace ui
