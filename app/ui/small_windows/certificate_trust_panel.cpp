#include "app/ui/small_windows/certificate_trust_panel.h"

#include <ctime>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

std::weak_ptr<toolbox::Window>& Running() {
  static std::weak_ptr<toolbox::Window> running;
  return running;
}

std::string Date(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!::gmtime_r(&t, &tm)) return {};
  char text[64];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm) ? text : "";
}

// Every certificate of the chain, the server's first.
std::string Details(const net::CertificateChain& certificates) {
  std::string out;
  for (std::size_t i = 0; i < certificates.size(); ++i) {
    const net::Certificate& c = certificates[i];
    if (i > 0) out += "\n";
    out += values::Localized("Issued to: ") + c.Subject() + "\n";
    out += values::Localized("Issued by: ") + c.Issuer() + "\n";
    out += values::Localized("Valid from: ") + Date(c.NotBefore()) + "\n";
    out += values::Localized("Valid until: ") + Date(c.NotAfter()) + "\n";
  }
  return out;
}

}  // namespace

std::shared_ptr<toolbox::Window> CreateTrustPanelWindow(const net::CertificateChain& certificates,
                                                        const std::string& message) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("Verify Certificate");
  desc.content = {0, 0, 520, 330};
  auto window = toolbox::Window::Create(desc);
  window->AddControl(
      {.kind = ControlKind::kStaticText,
       .id = {kApplicationSignature, kTrustMessageID},
       .bounds = {20, 16, 480, 40},
       .text = message.empty() ? values::Localized("The server's certificate is not trusted.") : message,
       .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  window->AddControl({.kind = ControlKind::kTextView,
                      .id = {kApplicationSignature, kTrustDetailsID},
                      .bounds = {20, 64, 480, 180},
                      .text = Details(certificates)});
  window->AddControl({.kind = ControlKind::kCheckBox,
                      .id = {kApplicationSignature, kTrustAlwaysID},
                      .bounds = {20, 254, 480, 20},
                      .text = values::Localized("Always trust this certificate for this server")});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, kTrustCancelID},
                      .bounds = {312, 288, 90, 26},
                      .text = values::Localized("Cancel"),
                      .command = toolbox::kCommandCancel,
                      .is_cancel = true});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, kTrustContinueID},
                      .bounds = {410, 288, 90, 26},
                      .text = values::Localized("Continue"),
                      .command = toolbox::kCommandOK,
                      .is_default = true});
  window->Center();
  return window;
}

toolbox::Window* CurrentTrustPanel() {
  auto running = Running().lock();
  return running && !running->IsReleased() ? running.get() : nullptr;
}

engine::TrustPanel::Answer CertificateTrustPanel::RunModal(const net::CertificateChain& certificates,
                                                           const std::string& message) {
  auto window = CreateTrustPanelWindow(certificates, message);
  auto& app = toolbox::Application::Shared();
  const auto loop = app.NewModalLoop();
  Answer answer;
  bool answered = false;
  toolbox::Window* raw = window.get();
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                          {toolbox::kEventClassWindow, toolbox::kEventWindowClose}},
                         [&, raw](runtime::HandlerCall&, runtime::Event& event) {
                           if (answered) return runtime::kEventNotHandledErr;
                           if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
                             answered = true;
                             app.EndModalLoop(loop);
                             return runtime::kEventNotHandledErr;
                           }
                           const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
                           if (command != toolbox::kCommandOK && command != toolbox::kCommandCancel)
                             return runtime::kEventNotHandledErr;
                           if (command == toolbox::kCommandOK) {
                             answer.accepted = true;
                             const toolbox::Control* always =
                                 raw->FindControl(kApplicationSignature, kTrustAlwaysID);
                             answer.always_trust = always && always->Value() != 0;
                           }
                           answered = true;
                           app.EndModalLoop(loop);
                           return runtime::kNoErr;
                         });
  Running() = window;
  window->Select();
  app.RunModalLoop(loop);
  Running().reset();
  window->Release();
  return answer;
}

}  // namespace ui
