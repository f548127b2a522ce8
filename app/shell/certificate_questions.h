#pragma once
// The certificate questions of running downloads, with a window: the trust panel is an
// alert on the toolbox showing the certificate, and its answer goes back to the download
// that asked. Without a display the shell keeps the headless views, which answer "don't
// trust" at once (download_event_views.h).

#include <memory>

#include "app/engine/network/accepted_certificates.h"
#include "app/ui/services/download_event_views.h"

namespace shell {

// The trust panel as a toolbox alert: Cancel, Continue (this session), Always Trust.
class ToolboxTrustPanel : public engine::TrustPanel {
 public:
  Answer RunModal(const net::CertificateChain& certificates, const std::string& message) override;
};

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
