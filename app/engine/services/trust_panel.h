#pragma once
// What the engine asks of the user when a server's certificate is not trusted: the window
// that shows a certificate chain with a message and answers accept or cancel, plus the
// state of its always-trust check box. The engine declares it here so that it includes
// nothing of the user interface, which installs its window at start-up. Main thread only.
//
// Until then the default answers cancel: nothing is trusted that the user did not see.

#include <string>

#include "platform/net/certificate.h"
#include "platform/runtime/service_slot.h"

namespace engine {

class TrustPanel {
 public:
  struct Answer {
    bool accepted = false;
    bool always_trust = false;
  };
  virtual ~TrustPanel() = default;
  virtual Answer RunModal(const net::CertificateChain& certificates, const std::string& message) = 0;
};

class CancellingTrustPanel : public TrustPanel {
 public:
  Answer RunModal(const net::CertificateChain&, const std::string&) override { return {}; }
};

using TrustPanelSlot = runtime::ServiceSlot<TrustPanel, CancellingTrustPanel>;

}  // namespace engine
