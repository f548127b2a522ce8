#pragma once
// The certificate trust panel: the window that shows a server's certificate that failed
// the trust evaluation, with the message that says why, and asks whether to go on.
// Continue ('ok  ') accepts - for this session, or for good with the "Always trust"
// check box on; Cancel ('not!') or closing the window refuses. The panel is modal: the
// caller waits while the main loop (timers, events, other windows' drawing) goes on.
//
// Main thread only.

#include <memory>
#include <string>

#include "app/engine/services/trust_panel.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kTrustMessageID = 1;
inline constexpr std::int32_t kTrustDetailsID = 2;
inline constexpr std::int32_t kTrustAlwaysID = 3;
inline constexpr std::int32_t kTrustCancelID = 4;
inline constexpr std::int32_t kTrustContinueID = 5;

// The panel's window for these certificates and message, not shown (tests grab it).
std::shared_ptr<toolbox::Window> CreateTrustPanelWindow(const net::CertificateChain& certificates,
                                                        const std::string& message);
// The panel being run, while one is (tests answer it).
toolbox::Window* CurrentTrustPanel();

class CertificateTrustPanel : public engine::TrustPanel {
 public:
  Answer RunModal(const net::CertificateChain& certificates, const std::string& message) override;
};

}  // namespace ui
