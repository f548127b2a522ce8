#pragma once
// TLS over a TCP stream, with the same event contract as the TCP stream itself (see
// byte_stream.h): the open-completed event comes once the handshake is done (and trust
// evaluated), so a client writes its request only then.
//
// The stream pumps bytes between its carrier and a TlsSession: a bounded amount of what
// the carrier has is fed in (a few records), what the session wants to send is written
// out (kept while the carrier cannot take it). Read decrypts straight into the reader's
// buffer, pulling more from the carrier as it goes; while the session holds enough the
// carrier is not read, so a slow reader holds back the sender instead of filling memory.
//
// The carrier may already be open (a tunnel through a proxy after CONNECT): then the
// handshake starts as soon as the TLS stream is opened. On a failed handshake the
// peer's chain stays readable, so the caller can show it to the user.

#include <memory>
#include <string>

#include "platform/net/byte_stream.h"
#include "platform/net/tcp_stream.h"
#include "platform/net/tls_session.h"

namespace runtime {
class Source;
}

namespace net {

class TlsStream : public ByteStream {
 public:
  // `peer_name` is used for SNI and the host-name check. `context` defaults to the
  // process's client context.
  static std::unique_ptr<TlsStream> CreateClient(std::unique_ptr<TcpStream> carrier, std::string peer_name,
                                                 TlsTrust trust = {},
                                                 std::shared_ptr<TlsContext> context = nullptr);
  static std::unique_ptr<TlsStream> CreateServer(std::unique_ptr<TcpStream> carrier,
                                                 std::shared_ptr<TlsContext> context);
  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Before opening: offer the session of `established` (FTPS data channels resume the
  // control channel's session).
  void ResumeSessionOf(const TlsStream& established);
  bool IsSessionReused() const { return session_->IsSessionReused(); }
  // Leaf first; also after a failed handshake.
  CertificateChain PeerCertificates() const { return session_->PeerCertificates(); }
  const TlsSession& Session() const { return *session_; }
  TcpStream& Carrier() { return *carrier_; }

  void SetClient(unsigned events, Client client) override;
  bool Open(std::shared_ptr<runtime::RunLoop> loop = nullptr) override;
  // Sends the close notification (best effort) and closes the carrier.
  void Close() override;
  // Ends our sending side only: the close notification goes out after whatever is still
  // queued, then the carrier's sending side is shut, and the peer's last records can still
  // be read. Uploads need this: a server takes an upload that ends without the notice, or
  // a socket closed before its reply is read, for a cut one.
  void ShutdownWriting();
  std::ptrdiff_t Read(void* out, std::size_t size) override;
  std::ptrdiff_t Write(const void* data, std::size_t size) override;
  bool HasBytesAvailable() const override { return session_->PendingPlain() > 0; }
  StreamStatus Status() const override { return status_; }
  StreamError Error() const override { return error_; }
  int Descriptor() const override { return carrier_->Descriptor(); }

 private:
  TlsStream(std::unique_ptr<TcpStream> carrier, std::unique_ptr<TlsSession> session);
  void OnCarrierEvent(StreamEvent event);
  // Feeds the session from the carrier, up to the incoming limit; returns the count.
  std::size_t PullFromCarrier();
  // Decrypts the next record ahead (not taking it) so that HasBytesAvailable is true
  // exactly when a Read gives bytes; false when that failed the stream.
  bool Prime();
  void Step();
  void Flush();
  void UpdateCarrierInterest();
  void Fail(StreamError error);
  void Post(StreamEvent event);
  void PerformPosted();
  bool Deliver(StreamEvent event);

  std::unique_ptr<TcpStream> carrier_;
  std::unique_ptr<TlsSession> session_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::Source> posted_source_;
  unsigned posted_ = 0;

  std::string outgoing_;  // encrypted bytes the carrier has not taken yet
  bool tls_ended_ = false;
  bool carrier_ended_ = false;
  bool end_delivered_ = false;
  bool can_accept_armed_ = false;
  bool shut_after_flush_ = false;

  unsigned events_ = 0;
  std::shared_ptr<Client> client_;
  StreamStatus status_ = StreamStatus::kNotOpen;
  StreamError error_;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace net
