#include "app/shell/message_window.h"

#include "app/util/desktop/ui_helpers.h"
#include "platform/runtime/event_target.h"
#include "platform/values/localize.h"

namespace shell {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

std::shared_ptr<toolbox::Window> CreateStandardMessageWindow() {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = "";
  desc.content = {0, 0, 420, 112};
  desc.close_box = false;
  auto window = toolbox::Window::Create(desc);
  // The text grows with the window in both directions; OK stays in the bottom-right corner.
  window->AddControl(
      {.kind = ControlKind::kStaticText,
       .id = {kApplicationSignature, kMessageTextControlID},
       .bounds = {20, 20, 380, 40},
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, kMessageOKButtonID},
                      .bounds = {316, 74, 84, 24},
                      .text = values::Localized("OK"),
                      .command = toolbox::kCommandOK,
                      .is_default = true,
                      .bindings = toolbox::kBindRight | toolbox::kBindBottom});
  window->Center();
  return window;
}

runtime::Status ShowMessageWindow(toolbox::Window* /*parent*/, std::string_view format,
                                  std::initializer_list<values::FormatArg> args) {
  std::shared_ptr<toolbox::Window> window = CreateStandardMessageWindow();
  if (!window) return runtime::kNoErr;
  window->SetInWindowMenu(false);

  toolbox::Control* text = window->FindControl(kApplicationSignature, kMessageTextControlID);
  if (!text) {
    window->Release();
    return runtime::kNoErr;
  }
  text->SetText(values::Format(format, args));

  const toolbox::Rect bounds = text->Bounds();
  const toolbox::Rect best = text->BestRect();
  std::weak_ptr<toolbox::Window> weak = window;
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [weak](runtime::HandlerCall&, runtime::Event& event) {
                           if (toolbox::GetCommand(event).id != toolbox::kCommandOK)
                             return runtime::kEventNotHandledErr;
                           if (auto w = weak.lock()) w->Release();
                           return runtime::kNoErr;
                         });

  if (best.width > bounds.width || best.height > bounds.height) {
    const toolbox::Rect content = window->ContentBounds();
    window->SizeContent(content.width + best.width - bounds.width,
                        content.height + best.height - bounds.height);
  }

  window->Show();
  window->Select();
  util::RequestUserAttention();
  return runtime::kNoErr;
}

}  // namespace shell
