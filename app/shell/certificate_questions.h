#pragma once
// The certificate questions of running downloads, with a window: the trust panel
// (app/ui/small_windows/certificate_trust_panel.h) shows the certificate, and its answer
// goes back to the download that asked; a question without a readable certificate gets
// the plain unknown-root window. Without a display the shell keeps the headless views,
// which answer "don't trust" at once (download_event_views.h).

#include <cstdint>
#include <functional>
#include <memory>

#include "app/engine/network/accepted_certificates.h"
#include "app/ui/services/download_event_views.h"

namespace shell {

// The download-event views of a windowed run: a changed download's row is redrawn by the
// list-refresh timer, and certificate questions go through the trust panel.
class WindowedDownloadEventViews : public ui::DownloadEventViews {
 public:
  void NoteRowChanged(std::uint32_t uid) override;
  void UpdateDownloadInspector(std::uint32_t uid) override;
  // No mini window exists yet.
  void NotifyMiniWindowDownloadChanged(std::uint32_t) override {}
  void ShowUnknownCertificateWindow(const ui::CertificateQuestion& question,
                                    ui::CertificateAnswerFunction answer) override;
  void AskDownloadCertificateTrust(const ui::CertificateQuestion& question,
                                   ui::CertificateAnswerFunction answer) override;
  // No credentials window exists yet: the question is answered as cancelled, so the
  // download fails with its server's refusal instead of waiting for ever.
  void AskCredentials(const ui::CredentialsRequest& request,
                      std::function<void(const ui::CredentialsAnswer&)> answer) override;
};

// Installs the trust panel and the windowed views (start-up, with a display).
void InstallCertificateQuestions();

}  // namespace shell
