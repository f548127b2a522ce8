#include "app/engine/network/accepted_certificates.h"

#include <map>
#include <mutex>

#include "platform/net/stream_error.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace engine {

namespace {

struct Tables {
  std::mutex lock;
  std::map<std::string, values::Bytes> permanent;
  std::map<std::string, std::int32_t> permanent_types;
  std::map<std::string, values::Bytes> session;
};

Tables& Shared() {
  static Tables tables;
  return tables;
}

std::optional<std::string> HostOf(const values::Url& url) {
  auto host = url.Absolute().Host();
  if (!host || host->empty()) return std::nullopt;
  return host;
}

void PostSaveEvent() {
  auto queue = runtime::EventQueue::Main();
  if (!queue) return;
  auto event = runtime::Event::Create(kEventClassSaveCertificates, kEventSaveCertificates);
  event->SetPostTarget(runtime::EventTarget::Application());
  queue->Post(event, runtime::EventPriority::kStandard);
}

}  // namespace

void LoadAcceptedCertificates(const values::Value& saved_certs, const values::Value& saved_cert_types) {
  Tables& t = Shared();
  std::lock_guard lock(t.lock);
  t.permanent.clear();
  t.permanent_types.clear();
  t.session.clear();
  if (const values::Dictionary* certs = saved_certs.AsDictionary())
    for (const auto& [host, value] : *certs)
      if (const values::Data* data = value.AsData()) t.permanent[host] = data->bytes;
  if (const values::Dictionary* types = saved_cert_types.AsDictionary())
    for (const auto& [host, value] : *types)
      if (const values::Number* n = value.AsNumber()) t.permanent_types[host] = n->AsInt32();
}

std::pair<values::Dictionary, values::Dictionary> PermanentCertificateTables() {
  Tables& t = Shared();
  std::lock_guard lock(t.lock);
  values::Dictionary certs, types;
  for (const auto& [host, bytes] : t.permanent) certs[host] = values::Value(values::Data{bytes});
  for (const auto& [host, type] : t.permanent_types) types[host] = values::Value(values::Number::Int32(type));
  return {std::move(certs), std::move(types)};
}

std::optional<values::Bytes> CopyAcceptedCertificateData(const values::Url& url, std::int32_t* type) {
  if (type) *type = kCertificateTypeX509v3;
  auto host = HostOf(url);
  if (!host) return std::nullopt;
  Tables& t = Shared();
  std::lock_guard lock(t.lock);
  std::optional<values::Bytes> data;
  if (auto it = t.permanent.find(*host); it != t.permanent.end())
    data = it->second;
  else if (auto s = t.session.find(*host); s != t.session.end())
    data = s->second;
  if (type)
    if (auto it = t.permanent_types.find(*host); it != t.permanent_types.end()) *type = it->second;
  return data;
}

std::vector<net::Certificate> CopyAcceptedCertificates(const values::Url& url) {
  // DER is the one encoding of an X.509 certificate in practice; the decoder also takes
  // the BER forms that are DER-compatible.
  auto data = CopyAcceptedCertificateData(url);
  if (!data) return {};
  auto cert = net::Certificate::FromDer(*data);
  if (!cert) return {};
  return {*cert};
}

void SaveAcceptedCertificate(const values::Url& url, const net::Certificate& certificate, bool session_only) {
  auto host = HostOf(url);
  if (!host) return;
  {
    Tables& t = Shared();
    std::lock_guard lock(t.lock);
    if (session_only) {
      t.session[*host] = certificate.Der();
      t.permanent.erase(*host);
      t.permanent_types.erase(*host);
    } else {
      t.permanent[*host] = certificate.Der();
      t.permanent_types[*host] = certificate.Type();
      t.session.erase(*host);
    }
  }
  PostSaveEvent();
}

std::string TrustPromptMessageKey(int tls_error, bool certificate_changed) {
  if (certificate_changed) return "kCertificateChanged";
  switch (tls_error) {
    case net::tls_code::kHostNameMismatch:
      return "The name on the certificate for %@ is for a different host. Do you still want to connect?";
    case net::tls_code::kNotYetValid:
    case net::tls_code::kBadCertificate:
    case net::tls_code::kChainInvalid:
      return "The certificate for %@ is not valid. Do you still want to connect?";
    case net::tls_code::kExpired:
      return "The certificate for %@ is expired. Do you still want to connect?";
    case net::tls_code::kUnknownIssuer:
      return "The issuer of the certificate for %@ is unknown. Do you still want to connect?";
    case net::tls_code::kUnknownRoot:
      return "The root certificate for %@ is unknown. Do you still want to connect?";
    default:
      return {};
  }
}

int AskUserToTrustCertificate(const net::CertificateChain& certificates, const std::string& url,
                              int tls_error, bool certificate_changed, bool* always_trust) {
  if (always_trust != nullptr) *always_trust = false;
  if (certificates.empty()) return 0;
  auto parsed = values::Url::Create(url);
  const std::string host = parsed ? parsed->Absolute().Host().value_or("") : std::string();
  const std::string key = TrustPromptMessageKey(tls_error, certificate_changed);
  const std::string message = key.empty() ? std::string() : values::Format(values::Localized(key), {host});
  const TrustPanel::Answer answer = TrustPanelSlot::Get().RunModal(certificates, message);
  if (!answer.accepted) return 0;
  if (parsed) SaveAcceptedCertificate(*parsed, certificates.front(), !answer.always_trust);
  if (always_trust != nullptr) *always_trust = answer.always_trust;
  return 1;
}

}  // namespace engine
