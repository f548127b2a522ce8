#include "app/shell/certificate_questions.h"

#include "platform/net/stream_error.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

enum TrustButton { kCancelButton = 0, kContinueButton = 1, kAlwaysTrustButton = 2 };

void Ask(const ui::CertificateQuestion& question, int tlsError, bool changed,
         const ui::CertificateAnswerFunction& answer) {
  net::CertificateChain chain;
  for (const auto& der : question.chain) {
    if (auto c = net::Certificate::FromDer(der)) chain.push_back(std::move(*c));
  }
  bool always = false;
  const bool trusted =
      engine::AskUserToTrustCertificate(chain, question.url, tlsError, changed, &always) == 1;
  answer(ui::CertificateAnswer{trusted, trusted && always});
}

}  // namespace

engine::TrustPanel::Answer ToolboxTrustPanel::RunModal(const net::CertificateChain& certificates,
                                                       const std::string& message) {
  toolbox::AlertRequest alert;
  alert.style = toolbox::AlertStyle::kWarning;
  alert.message = message.empty() ? values::Localized("The server's certificate is not trusted.") : message;
  if (!certificates.empty()) {
    alert.informative = values::Localized("Issued to: ") + certificates.front().Subject() + "\n" +
                        values::Localized("Issued by: ") + certificates.front().Issuer();
  }
  alert.buttons = {{values::Localized("Cancel"), false, true},
                   {values::Localized("Continue"), true, false},
                   {values::Localized("Always Trust"), false, false}};
  switch (toolbox::GetPresenter().RunAlert(alert)) {
    case kContinueButton:
      return {true, false};
    case kAlwaysTrustButton:
      return {true, true};
    default:
      return {};
  }
}

void WindowedDownloadEventViews::ShowUnknownCertificateWindow(const ui::CertificateQuestion& question,
                                                              ui::CertificateAnswerFunction answer) {
  const int code = question.errorDomain == static_cast<int>(net::ErrorDomain::kSsl)
                       ? question.errorCode
                       : net::tls_code::kUnknownRoot;
  Ask(question, code, false, answer);
}

void WindowedDownloadEventViews::AskDownloadCertificateTrust(const ui::CertificateQuestion& question,
                                                             ui::CertificateAnswerFunction answer) {
  Ask(question, 0, true, answer);
}

void InstallCertificateQuestions() {
  engine::TrustPanelSlot::Set(std::make_unique<ToolboxTrustPanel>());
  ui::DownloadEventViewsSlot::Set(std::make_unique<WindowedDownloadEventViews>());
}

}  // namespace shell
