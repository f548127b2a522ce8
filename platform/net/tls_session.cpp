#include "platform/net/tls_session.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdlib>

namespace net {

namespace {

bool IsIpAddress(const std::string& host) {
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// Verification results in the order the caller should hear about them: a trust problem
// first (the user can resolve it by accepting the certificate), then dates, then names.
int TlsCodeForVerifyError(int e) {
  switch (e) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return tls_code::kUnknownRoot;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return tls_code::kUnknownIssuer;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return tls_code::kExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return tls_code::kNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return tls_code::kHostNameMismatch;
    case X509_V_ERR_INVALID_PURPOSE:
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
      return tls_code::kBadCertificate;
    default:
      return tls_code::kChainInvalid;
  }
}

int Rank(int tls) {
  switch (tls) {
    case tls_code::kUnknownRoot:
      return 0;
    case tls_code::kUnknownIssuer:
      return 1;
    case tls_code::kExpired:
      return 2;
    case tls_code::kNotYetValid:
      return 3;
    case tls_code::kHostNameMismatch:
      return 4;
    case tls_code::kBadCertificate:
      return 5;
    default:
      return 6;
  }
}

void ClearErrors() {
  ERR_clear_error();
}

}  // namespace

int RecordVerifyError(int ok, X509_STORE_CTX* store) {
  if (!ok) {
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    if (auto* session = ssl ? static_cast<TlsSession*>(SSL_get_app_data(ssl)) : nullptr)
      session->verify_errors_.push_back(X509_STORE_CTX_get_error(store));
  }
  // Go on: the decision is taken once the handshake is done, with the chain in hand.
  return 1;
}

// ---- TlsContext

std::shared_ptr<TlsContext> TlsContext::Client() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) return nullptr;
  // Servers that close without a close_notify are common; the HTTP framing tells whether
  // a body was complete, so an unannounced end is a plain end here.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  return std::shared_ptr<TlsContext>(new TlsContext(ctx, false));
}

std::shared_ptr<TlsContext> TlsContext::Server(std::string_view chain_pem, std::string_view key_pem) {
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()), &SSL_CTX_free);
  if (!ctx) return nullptr;
  std::unique_ptr<BIO, decltype(&BIO_free)> certs(
      BIO_new_mem_buf(chain_pem.data(), static_cast<int>(chain_pem.size())), &BIO_free);
  X509* leaf = PEM_read_bio_X509(certs.get(), nullptr, nullptr, nullptr);
  if (!leaf || SSL_CTX_use_certificate(ctx.get(), leaf) != 1) {
    X509_free(leaf);
    ClearErrors();
    return nullptr;
  }
  X509_free(leaf);
  while (X509* extra = PEM_read_bio_X509(certs.get(), nullptr, nullptr, nullptr)) {
    SSL_CTX_add_extra_chain_cert(ctx.get(), extra);  // takes ownership
  }
  std::unique_ptr<BIO, decltype(&BIO_free)> keys(
      BIO_new_mem_buf(key_pem.data(), static_cast<int>(key_pem.size())), &BIO_free);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keys.get(), nullptr, nullptr, nullptr);
  bool ok = key && SSL_CTX_use_PrivateKey(ctx.get(), key) == 1 && SSL_CTX_check_private_key(ctx.get()) == 1;
  EVP_PKEY_free(key);
  ClearErrors();
  if (!ok) return nullptr;
  static const unsigned char kSessionContext[] = "truvane";
  SSL_CTX_set_session_id_context(ctx.get(), kSessionContext, sizeof kSessionContext - 1);
  SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  return std::shared_ptr<TlsContext>(new TlsContext(ctx.release(), true));
}

TlsContext::~TlsContext() {
  SSL_CTX_free(ctx_);
}

// ---- TlsSession

TlsSession::TlsSession(std::shared_ptr<TlsContext> context, SSL* ssl, bool server)
    : context_(std::move(context)), ssl_(ssl), server_(server) {
  SSL_set_app_data(ssl_, this);
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  // An empty incoming buffer means "more may come" until the carrier says it ended.
  BIO_set_mem_eof_return(in, -1);
  SSL_set_bio(ssl_, in, out);
}

TlsSession::~TlsSession() {
  SSL_free(ssl_);
}

std::unique_ptr<TlsSession> TlsSession::CreateClient(std::shared_ptr<TlsContext> context,
                                                     std::string peer_name, TlsTrust trust) {
  if (!context || context->IsServer()) return nullptr;
  SSL* ssl = SSL_new(context->Raw());
  if (!ssl) return nullptr;
  std::unique_ptr<TlsSession> s(new TlsSession(std::move(context), ssl, false));
  s->trust_ = std::move(trust);
  s->peer_name_ = std::move(peer_name);
  SSL_set_connect_state(ssl);
  const bool is_address = IsIpAddress(s->peer_name_);
  if (!s->peer_name_.empty() && !is_address) SSL_set_tlsext_host_name(ssl, s->peer_name_.c_str());

  if (s->trust_.validate_chain) {
    X509_STORE* store = X509_STORE_new();
    if (s->trust_.use_system_roots) {
      // The hashed folder is read lazily, certificate by certificate as a chain needs
      // one, so a store per connection costs next to nothing.
      const char* file = std::getenv(X509_get_default_cert_file_env());
      if (file && *file) X509_STORE_load_file(store, file);
      const char* dir = std::getenv(X509_get_default_cert_dir_env());
      X509_STORE_load_path(store, dir && *dir ? dir : X509_get_default_cert_dir());
    }
    for (const Certificate& c : s->trust_.trusted_roots) X509_STORE_add_cert(store, c.Raw());
    // An accepted certificate is an anchor by itself, CA or not.
    X509_STORE_set_flags(store, X509_V_FLAG_PARTIAL_CHAIN);
    SSL_set1_verify_cert_store(ssl, store);
    X509_STORE_free(store);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (is_address)
      X509_VERIFY_PARAM_set1_ip_asc(param, s->peer_name_.c_str());
    else if (!s->peer_name_.empty())
      X509_VERIFY_PARAM_set1_host(param, s->peer_name_.c_str(), 0);
    SSL_set_verify(ssl, SSL_VERIFY_PEER, RecordVerifyError);
  } else {
    SSL_set_verify(ssl, SSL_VERIFY_NONE, nullptr);
  }
  ClearErrors();
  return s;
}

std::unique_ptr<TlsSession> TlsSession::CreateServer(std::shared_ptr<TlsContext> context) {
  if (!context || !context->IsServer()) return nullptr;
  SSL* ssl = SSL_new(context->Raw());
  if (!ssl) return nullptr;
  std::unique_ptr<TlsSession> s(new TlsSession(std::move(context), ssl, true));
  SSL_set_accept_state(ssl);
  return s;
}

void TlsSession::ResumeSessionOf(const TlsSession& established) {
  if (SSL_SESSION* session = SSL_get1_session(established.ssl_)) {
    SSL_set_session(ssl_, session);
    SSL_SESSION_free(session);
  }
}

bool TlsSession::IsSessionReused() const {
  return SSL_session_reused(ssl_) == 1;
}

void TlsSession::PutIncoming(const void* data, std::size_t size) {
  if (size) BIO_write(SSL_get_rbio(ssl_), data, static_cast<int>(size));
}

void TlsSession::IncomingEnded() {
  BIO_set_mem_eof_return(SSL_get_rbio(ssl_), 0);
}

std::size_t TlsSession::IncomingSize() const {
  return BIO_ctrl_pending(SSL_get_rbio(ssl_));
}

std::size_t TlsSession::OutgoingSize() const {
  return BIO_ctrl_pending(SSL_get_wbio(ssl_));
}

std::size_t TlsSession::TakeOutgoing(void* out, std::size_t size) {
  if (!size) return 0;
  int n = BIO_read(SSL_get_wbio(ssl_), out, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::string TlsSession::TakeAllOutgoing() {
  std::string out(OutgoingSize(), '\0');
  out.resize(TakeOutgoing(out.data(), out.size()));
  return out;
}

TlsResult TlsSession::Fail(int code) {
  if (!error_) error_ = {ErrorDomain::kSsl, code};
  ClearErrors();
  return TlsResult::kError;
}

TlsResult TlsSession::MapFailure(int ret) {
  if (error_) return TlsResult::kError;
  const int err = SSL_get_error(ssl_, ret);
  switch (err) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      ClearErrors();
      return TlsResult::kWouldBlock;
    case SSL_ERROR_ZERO_RETURN:
      ClearErrors();
      if (!handshake_done_) return Fail(tls_code::kClosedAbort);
      return TlsResult::kClosed;
    case SSL_ERROR_SYSCALL:
      // With a memory BIO this is the carrier's end without any TLS close.
      if (!handshake_done_) return Fail(tls_code::kClosedAbort);
      ClearErrors();
      return TlsResult::kClosed;
    default:
      break;
  }
  const unsigned long e = ERR_peek_last_error();
  const int reason = ERR_GET_REASON(e);
  if (reason == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
    if (!handshake_done_) return Fail(tls_code::kClosedAbort);
    ClearErrors();
    return TlsResult::kClosed;
  }
  if (reason == SSL_R_NO_SHARED_CIPHER || reason == SSL_R_UNSUPPORTED_PROTOCOL ||
      reason == SSL_R_NO_PROTOCOLS_AVAILABLE || reason == SSL_R_WRONG_VERSION_NUMBER ||
      reason == SSL_R_TLSV1_ALERT_PROTOCOL_VERSION)
    return Fail(tls_code::kNegotiation);
  if (reason == SSL_R_CERTIFICATE_VERIFY_FAILED) return Fail(tls_code::kChainInvalid);
  // Alerts from the peer arrive as reasons 1000 + the alert number.
  if (reason >= SSL_AD_REASON_OFFSET && reason < SSL_AD_REASON_OFFSET + 256) {
    switch (reason - SSL_AD_REASON_OFFSET) {
      case SSL_AD_BAD_CERTIFICATE:
      case SSL_AD_UNSUPPORTED_CERTIFICATE:
      case SSL_AD_CERTIFICATE_UNKNOWN:
        return Fail(tls_code::kBadCertificate);
      case SSL_AD_HANDSHAKE_FAILURE:
      case SSL_AD_PROTOCOL_VERSION:
        return Fail(tls_code::kNegotiation);
      default:
        return Fail(tls_code::kFatalAlert);
    }
  }
  return Fail(tls_code::kProtocol);
}

TlsResult TlsSession::Handshake() {
  if (error_) return TlsResult::kError;
  if (handshake_done_) return TlsResult::kOk;
  ClearErrors();
  const int ret = SSL_do_handshake(ssl_);
  if (ret != 1) return MapFailure(ret);
  handshake_done_ = true;
  if (!server_) return EvaluateTrust();
  return TlsResult::kOk;
}

TlsResult TlsSession::EvaluateTrust() {
  if (!trust_.validate_chain) return TlsResult::kOk;
  X509* leaf = SSL_get0_peer_certificate(ssl_);
  if (!leaf) return Fail(tls_code::kBadCertificate);
  if (!trust_.trusted_roots.empty()) {
    const Certificate presented = Certificate::FromX509(leaf);
    for (const Certificate& accepted : trust_.trusted_roots)
      if (accepted == presented) return TlsResult::kOk;
  }
  if (verify_errors_.empty() && SSL_get_verify_result(ssl_) == X509_V_OK) return TlsResult::kOk;
  if (verify_errors_.empty()) verify_errors_.push_back(static_cast<int>(SSL_get_verify_result(ssl_)));
  int best = TlsCodeForVerifyError(verify_errors_.front());
  for (int e : verify_errors_) {
    const int code = TlsCodeForVerifyError(e);
    if (Rank(code) < Rank(best)) best = code;
  }
  return Fail(best);
}

TlsResult TlsSession::Read(void* out, std::size_t size, std::size_t& got) {
  got = 0;
  if (error_) return TlsResult::kError;
  if (!handshake_done_) {
    TlsResult r = Handshake();
    if (r != TlsResult::kOk) return r;
  }
  ClearErrors();
  std::size_t n = 0;
  const int ret = SSL_read_ex(ssl_, out, size, &n);
  if (ret == 1) {
    got = n;
    return TlsResult::kOk;
  }
  return MapFailure(ret);
}

std::size_t TlsSession::PendingPlain() const {
  const int n = SSL_pending(ssl_);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

TlsResult TlsSession::Peek() {
  if (error_) return TlsResult::kError;
  if (!handshake_done_) {
    TlsResult r = Handshake();
    if (r != TlsResult::kOk) return r;
  }
  if (PendingPlain() > 0) return TlsResult::kOk;
  ClearErrors();
  char byte = 0;
  std::size_t n = 0;
  const int ret = SSL_peek_ex(ssl_, &byte, 1, &n);
  if (ret == 1) return TlsResult::kOk;
  return MapFailure(ret);
}

TlsResult TlsSession::Write(const void* data, std::size_t size, std::size_t& written) {
  written = 0;
  if (error_) return TlsResult::kError;
  if (!handshake_done_) {
    TlsResult r = Handshake();
    if (r != TlsResult::kOk) return r;
  }
  if (!size) return TlsResult::kOk;
  ClearErrors();
  std::size_t n = 0;
  const int ret = SSL_write_ex(ssl_, data, size, &n);
  if (ret == 1) {
    written = n;
    return TlsResult::kOk;
  }
  return MapFailure(ret);
}

void TlsSession::Close() {
  if (handshake_done_ && !error_) SSL_shutdown(ssl_);
  ClearErrors();
}

CertificateChain TlsSession::PeerCertificates() const {
  CertificateChain chain;
  STACK_OF(X509)* stack = SSL_get_peer_cert_chain(ssl_);
  if (server_) {
    if (X509* leaf = SSL_get0_peer_certificate(ssl_)) chain.push_back(Certificate::FromX509(leaf));
  }
  for (int i = 0; stack && i < sk_X509_num(stack); ++i)
    chain.push_back(Certificate::FromX509(sk_X509_value(stack, i)));
  return chain;
}

std::string TlsSession::NegotiatedVersion() const {
  return SSL_get_version(ssl_);
}

}  // namespace net
