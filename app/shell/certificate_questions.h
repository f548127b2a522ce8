#pragma once
// The certificate questions of running downloads, with a window: the trust panel
// (app/ui/small_windows/certificate_trust_panel.h) shows the certificate, and its answer
// goes back to the download that asked; a question without a readable certificate gets
// the plain unknown-root window. Without a display the shell keeps the headless views,
// which answer "don't trust" at once (download_event_views.h).

#include <memory>

#include "app/engine/network/accepted_certificates.h"
#include "app/ui/services/download_event_views.h"

namespace shell {

// The download-event views of a windowed run: the certificate questions through the trust
// panel; everything else as the headless views.
class WindowedDownloadEventViews : public ui::HeadlessDownloadEventViews {
 public:
  void ShowUnknownCertificateWindow(const ui::CertificateQuestion& question,
                                    ui::CertificateAnswerFunction answer) override;
  void AskDownloadCertificateTrust(const ui::CertificateQuestion& question,
                                   ui::CertificateAnswerFunction answer) override;
};

// Installs the trust panel and the windowed views (start-up, with a display).
void InstallCertificateQuestions();

}  // namespace shell
