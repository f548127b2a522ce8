#include "app/shell/quit_warning_window.h"

#include "platform/runtime/event_queue.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

// Held for the life of the process; at most one warning window exists.
std::shared_ptr<toolbox::Window> gQuitWarningWindow;

std::shared_ptr<toolbox::Window> CreateQuitWarningWindow() {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("Quit Truvane");
  desc.content = {0, 0, 440, 132};
  desc.close_box = false;
  auto window = toolbox::Window::Create(desc);
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, 1},
                      .bounds = {20, 16, 400, 20},
                      .text = values::Localized("Transfers are in progress."),
                      .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  window->AddControl(
      {.kind = ControlKind::kStaticText,
       .id = {kApplicationSignature, 2},
       .bounds = {20, 42, 400, 42},
       .text = values::Localized("If you quit now, the downloads and uploads under way are stopped.")});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 3},
                      .bounds = {236, 94, 90, 24},
                      .text = values::Localized("Cancel"),
                      .command = toolbox::kCommandCancel,
                      .is_cancel = true});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 4},
                      .bounds = {334, 94, 90, 24},
                      .text = values::Localized("Quit"),
                      .command = toolbox::kCommandOK,
                      .is_default = true});
  window->Center();
  return window;
}

}  // namespace

std::shared_ptr<toolbox::Window> CurrentQuitWarningWindow() {
  return gQuitWarningWindow;
}

runtime::Status QuitWarningEventHandler(runtime::HandlerCall&, runtime::Event& event,
                                        toolbox::Window& window) {
  if (event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess)) {
    const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
    if (command == toolbox::kCommandOK) {
      runtime::QuitApplicationEventLoop();
      return runtime::kNoErr;
    }
    if (command == toolbox::kCommandCancel) {
      window.Release();
      return runtime::kNoErr;
    }
    return runtime::kEventNotHandledErr;
  }
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
    // Observations of the window end with the subscriptions it holds; what is left is to
    // forget it, so the next request makes a new one. The standard disposal goes on.
    if (gQuitWarningWindow.get() == &window) gQuitWarningWindow.reset();
    return runtime::kEventNotHandledErr;
  }
  return runtime::kEventNotHandledErr;
}

void ShowQuitWarningWindow() {
  if (gQuitWarningWindow && !gQuitWarningWindow->IsReleased()) {
    gQuitWarningWindow->Select();
    return;
  }
  gQuitWarningWindow = CreateQuitWarningWindow();
  toolbox::Window* window = gQuitWarningWindow.get();
  gQuitWarningWindow->InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowDispose},
                                      {toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                                     [window](runtime::HandlerCall& call, runtime::Event& event) {
                                       return QuitWarningEventHandler(call, event, *window);
                                     });
  gQuitWarningWindow->Show();
}

}  // namespace shell
