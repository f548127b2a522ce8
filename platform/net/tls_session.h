#pragma once
// TLS as a state machine over bytes, so that one implementation serves every carrier:
// TCP streams for HTTPS, the FTPS control and data connections, the peer file server.
//
// The session never touches a socket. The carrier feeds what arrived from the peer into
// `PutIncoming` (and `IncomingEnded` at end of stream) and sends what `TakeOutgoing`
// hands out after every call. `Handshake`, `Read` and `Write` answer kWouldBlock when
// they need more bytes from the peer; a partial `Write` reports the count that went in.
//
// Trust (client side): the chain is evaluated against the system's roots plus the
// caller's trusted roots (the certificates the user accepted), with the host-name check.
// The handshake itself always completes at the OpenSSL level, and the evaluation is done
// at its end: that way the peer's chain stays readable whatever failed, so the caller can
// show it to the user. A server certificate that is byte-for-byte one of the trusted roots
// passes even when expired or issued for another name (the user accepted exactly it for
// this host); every other failure is reported with the code of the most telling problem,
// in this order: unknown root, unknown issuer, expired, not yet valid, host mismatch,
// other chain faults.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/certificate.h"
#include "platform/net/stream_error.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct x509_store_ctx_st X509_STORE_CTX;

namespace net {

int RecordVerifyError(int ok, X509_STORE_CTX* store);

enum class TlsResult {
  kOk,
  kWouldBlock,  // needs bytes from the peer (or the outgoing bytes sent first)
  kClosed,      // the peer closed the TLS session (or the carrier ended) cleanly
  kError,       // see TlsSession::Error()
};

// Shared configuration of many sessions: one per process for clients, one per served
// identity for servers.
class TlsContext {
 public:
  static std::shared_ptr<TlsContext> Client();
  // A server identity from PEM text: the certificate (followed by any intermediates) and
  // its private key. nullptr when either does not load or they do not match.
  static std::shared_ptr<TlsContext> Server(std::string_view certificate_chain_pem, std::string_view key_pem);

  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  SSL_CTX* Raw() const { return ctx_; }
  bool IsServer() const { return server_; }

 private:
  TlsContext(SSL_CTX* ctx, bool server) : ctx_(ctx), server_(server) {}
  SSL_CTX* ctx_;
  bool server_;
};

struct TlsTrust {
  // Off: any chain passes (for callers that pinned a certificate and compare it
  // themselves). On by default.
  bool validate_chain = true;
  bool use_system_roots = true;
  // Extra anchors; a server certificate equal to one of them always passes.
  std::vector<Certificate> trusted_roots;
};

class TlsSession {
 public:
  // `peer_name` is the host the carrier connected to: used for SNI (names only, not
  // addresses) and for the host-name check.
  static std::unique_ptr<TlsSession> CreateClient(std::shared_ptr<TlsContext> context, std::string peer_name,
                                                  TlsTrust trust = {});
  static std::unique_ptr<TlsSession> CreateServer(std::shared_ptr<TlsContext> context);
  ~TlsSession();

  // Client, before the handshake: offer the session of an established connection to the
  // same server (an FTPS data channel resumes the control channel's session).
  void ResumeSessionOf(const TlsSession& established);
  bool IsSessionReused() const;

  // Carrier side.
  void PutIncoming(const void* data, std::size_t size);
  void IncomingEnded();
  std::size_t OutgoingSize() const;
  // Encrypted bytes fed in and not yet taken by the session.
  std::size_t IncomingSize() const;
  // Moves up to `size` bytes to send into `out`; returns the count.
  std::size_t TakeOutgoing(void* out, std::size_t size);
  std::string TakeAllOutgoing();

  // Application side.
  TlsResult Handshake();
  bool IsHandshakeDone() const { return handshake_done_; }
  // kOk with `got` > 0, kWouldBlock, kClosed or kError.
  TlsResult Read(void* out, std::size_t size, std::size_t& got);
  // Decrypted bytes held inside the session, ready for Read without more input.
  std::size_t PendingPlain() const;
  // Decrypts the next record without taking any of it, so that PendingPlain tells
  // whether a Read would give bytes: kOk when some are pending, kWouldBlock, kClosed or
  // kError as for Read.
  TlsResult Peek();
  // Takes as much of `data` as it can (all of it unless the handshake is pending).
  TlsResult Write(const void* data, std::size_t size, std::size_t& written);
  // Queues the close notification.
  void Close();

  // The first failure: SSL domain codes (see stream_error.h).
  StreamError Error() const { return error_; }
  // The peer's chain, leaf first; also after a failed handshake when the peer sent it.
  CertificateChain PeerCertificates() const;
  std::string NegotiatedVersion() const;

 private:
  TlsSession(std::shared_ptr<TlsContext> context, SSL* ssl, bool server);
  TlsResult Fail(int code);
  TlsResult MapFailure(int ret);
  // After the handshake: the trust decision. kOk or kError.
  TlsResult EvaluateTrust();
  friend int RecordVerifyError(int ok, X509_STORE_CTX* store);

  std::shared_ptr<TlsContext> context_;
  SSL* ssl_;
  bool server_;
  TlsTrust trust_;
  std::string peer_name_;
  std::vector<int> verify_errors_;
  bool handshake_done_ = false;
  StreamError error_;
};

}  // namespace net
