#include "app/shell/certificate_questions.h"

#include "app/ui/inspector/download_inspector.h"

#include "app/ui/main_list/main_list.h"
#include "app/ui/small_windows/certificate_trust_panel.h"
#include "app/ui/small_windows/unknown_certificate_window.h"
#include "platform/net/stream_error.h"
#include "platform/values/url.h"

namespace shell {
namespace {

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

bool HasReadableCertificate(const ui::CertificateQuestion& question) {
  for (const auto& der : question.chain)
    if (net::Certificate::FromDer(der)) return true;
  return false;
}

}  // namespace

void WindowedDownloadEventViews::UpdateDownloadInspector(std::uint32_t uid) {
  ui::UpdateDownloadInspector(uid);
}

void WindowedDownloadEventViews::NoteRowChanged(std::uint32_t uid) {
  if (ui::MainList* list = ui::GetMainList()) list->MarkDownloadChanged(uid);
}

void WindowedDownloadEventViews::AskCredentials(const ui::CredentialsRequest&,
                                                std::function<void(const ui::CredentialsAnswer&)> answer) {
  answer(ui::CredentialsAnswer{});
}

void WindowedDownloadEventViews::ShowUnknownCertificateWindow(const ui::CertificateQuestion& question,
                                                              ui::CertificateAnswerFunction answer) {
  if (!HasReadableCertificate(question)) {
    // Nothing to show in the trust panel: the plain question names the host. Accepting
    // it keeps nothing, since there is no certificate to keep.
    const auto url = values::Url::Create(question.url);
    const std::string host = url && url->Host() ? *url->Host() : question.url;
    ui::ShowUnknownRootWindow(question.uid, host, [answer](bool trust) {
      answer(ui::CertificateAnswer{trust, false});
    });
    return;
  }
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
  engine::TrustPanelSlot::Set(std::make_unique<ui::CertificateTrustPanel>());
  ui::DownloadEventViewsSlot::Set(std::make_unique<WindowedDownloadEventViews>());
}

}  // namespace shell
