#include "app/ui/small_windows/unknown_certificate_window.h"

#include <memory>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

}  // namespace

std::string InsertHostName(std::string text, const std::string& host) {
  const std::size_t at = text.find("^0");
  if (at != std::string::npos) text.replace(at, 2, host);
  return text;
}

toolbox::Window* ShowUnknownRootWindow(std::uint32_t uid, const std::string& host,
                                       std::function<void(bool trust)> answer) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("Unknown Certificate");
  desc.content = {0, 0, 440, 140};
  desc.close_box = true;
  auto window = toolbox::Window::Create(desc);
  window->AddControl(
      {.kind = ControlKind::kStaticText,
       .id = {kApplicationSignature, kUnknownRootTextID},
       .bounds = {20, 16, 400, 64},
       .text = InsertHostName(
           values::Localized(
               "The certificate of ^0 is signed by an authority that is not known. Connect anyway?"),
           host)});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 2},
                      .bounds = {196, 98, 110, 26},
                      .text = values::Localized("Don't Connect"),
                      .command = toolbox::kCommandCancel,
                      .is_cancel = true});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 3},
                      .bounds = {314, 98, 110, 26},
                      .text = values::Localized("Connect"),
                      .command = toolbox::kCommandOK,
                      .is_default = true});
  window->SetProperty(kApplicationSignature, kUnknownRootUIDProperty,
                      values::Value(values::Number::Int64(static_cast<std::int64_t>(uid))));
  // Answered once, whichever way the window goes.
  auto pending = std::make_shared<std::function<void(bool)>>(std::move(answer));
  auto reply = [pending](bool trust) {
    if (!*pending) return;
    auto call = std::move(*pending);
    *pending = nullptr;
    call(trust);
  };
  toolbox::Window* raw = window.get();
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                          {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                         [raw, reply](runtime::HandlerCall&, runtime::Event& event) {
                           if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
                             reply(false);
                             return runtime::kEventNotHandledErr;
                           }
                           const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
                           if (command != toolbox::kCommandOK && command != toolbox::kCommandCancel)
                             return runtime::kEventNotHandledErr;
                           reply(command == toolbox::kCommandOK);
                           raw->Release();
                           return runtime::kNoErr;
                         });
  window->Center();
  window->Show();
  toolbox::Application::Shared().RequestAttention();
  return raw;
}

}  // namespace ui
