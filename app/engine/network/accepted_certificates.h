#pragma once
// Server certificates the user accepted, per host, and the question that accepts them.
//
// Two tables keyed by host name (no port): the permanent one, kept in the preferences
// "saved certs" (host -> certificate bytes) and "saved cert types" (host -> type, 3 for
// X.509), and the session one, which ends with the process. A host lives in at most one
// of them: saving for the session removes it from the permanent tables and the reverse.
// Every TLS connection gets the host's accepted certificate as an extra trusted root,
// and that certificate alone passes a failed check (see platform/net/tls_session.h).
//
// After each save, an event 'TRP&' kind 1 goes to the main queue; the application's
// handler then writes `PermanentCertificateTables` to the preferences. One lock guards
// all tables.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/engine/services/trust_panel.h"
#include "platform/net/certificate.h"
#include "platform/values/fourcc.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

inline constexpr values::FourCharCode kEventClassSaveCertificates = values::FourCC("TRP&");
inline constexpr std::uint32_t kEventSaveCertificates = 1;
inline constexpr const char* kSavedCertsKey = "saved certs";
inline constexpr const char* kSavedCertTypesKey = "saved cert types";
inline constexpr std::int32_t kCertificateTypeX509v3 = 3;

// Loads the permanent tables from the two preference values (dictionaries; anything
// else counts as empty) and empties the session table. Called at start-up.
void LoadAcceptedCertificates(const values::Value& saved_certs, const values::Value& saved_cert_types);
// The permanent tables as the two preference values, for the 'TRP&' handler.
std::pair<values::Dictionary, values::Dictionary> PermanentCertificateTables();

// The accepted bytes for the URL's host, permanent table first; `type` is 3 unless the
// permanent type table says otherwise. Nothing for a URL without a host.
std::optional<values::Bytes> CopyAcceptedCertificateData(const values::Url& url,
                                                         std::int32_t* type = nullptr);
// The accepted certificate as trusted roots: one, or none when nothing is stored or the
// bytes do not decode.
std::vector<net::Certificate> CopyAcceptedCertificates(const values::Url& url);
void SaveAcceptedCertificate(const values::Url& url, const net::Certificate& certificate, bool session_only);

// The prompt's text for a TLS failure (the English text is the localisation key; "%@"
// stands for the host), empty for codes without a message.
std::string TrustPromptMessageKey(int tls_error, bool certificate_changed);

// Main thread. Asks the user (TrustPanelSlot); when accepted, saves the first certificate for the URL's
// host (for the session unless always-trust was ticked). 1 when accepted, else 0;
// `always_trust` (when given) tells whether always-trust was ticked.
int AskUserToTrustCertificate(const net::CertificateChain& certificates, const std::string& url,
                              int tls_error, bool certificate_changed, bool* always_trust = nullptr);

}  // namespace engine
