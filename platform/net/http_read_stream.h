#pragma once
// One HTTP request and its response, read as a stream on a run loop.
//
// The stream connects (through the proxy that ProxySettings::ProxyFor names: an
// absolute-form request for http, a CONNECT tunnel for https), sends the request, reads
// the response head and then the body, undoing only the transfer framing (chunked,
// Content-Length, until-close): Content-Encoding is never decoded.
//
// Events (the bits of byte_stream.h): kEventOpenCompleted once the first connection is
// up; kEventHasBytes while body bytes wait, level-triggered, so a client may read any
// amount per event and nothing is lost; kEventEnd when the body is complete and read;
// kEventError when anything failed, after the body bytes received before the failure
// were offered. A body cut short (fewer bytes than Content-Length, no last chunk) is an
// error {HTTP, kBodyCutShort}, never an end. A length-delimited or until-close body is
// not buffered once the bytes that came with the head are read: each Read is one read of
// the connection straight into the caller's buffer (downloads move gigabytes this way). The response head is
// readable from the first kEventHasBytes on, and at kEventEnd for bodies that are empty (3xx, 401, an empty
// 206); a 407 to CONNECT is delivered as the response, with its head.
//
// After each head (redirects and CONNECT included), every authentication object the
// request carries is told the answer (HttpAuthentication::NoteResponse). Nothing is
// retried and nothing times out here: the caller owns both.
//
// Switches, set before Open: auto-redirect (off: a 3xx is delivered with its Location;
// on: followed up to a bound, then error {HTTP, kRedirectionLoop}; FinalUrl() tells
// where the body came from), keep-alive (off: "Connection: close", one connection per
// request; on: a complete response leaves its connection in a per-thread pool for the
// next stream to the same server), chain validation and accepted certificates.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/byte_stream.h"
#include "platform/net/certificate.h"
#include "platform/net/http_body_decoder.h"
#include "platform/net/http_message.h"
#include "platform/net/proxy_settings.h"
#include "platform/net/tls_session.h"

namespace runtime {
class RunLoop;
class Source;
}  // namespace runtime

namespace net {

class TcpStream;
class TlsStream;

class HttpReadStream {
 public:
  using Client = ByteStream::Client;
  static constexpr int kDefaultRedirectLimit = 10;
  // Body bytes decoded ahead of the reader; past this the connection is not read.
  static constexpr std::size_t kBufferLimit = 256 * 1024;

  explicit HttpReadStream(HttpRequest request);
  ~HttpReadStream();
  HttpReadStream(const HttpReadStream&) = delete;
  HttpReadStream& operator=(const HttpReadStream&) = delete;

  void SetAutoRedirect(bool on, int limit = kDefaultRedirectLimit) {
    auto_redirect_ = on;
    redirect_limit_ = limit;
  }
  void SetKeepAlive(bool on) { keep_alive_ = on; }
  void SetValidateChain(bool on) { trust_.validate_chain = on; }
  void SetTrustedCertificates(std::vector<Certificate> certificates) {
    trust_.trusted_roots = std::move(certificates);
  }
  void SetUseSystemRoots(bool on) { trust_.use_system_roots = on; }
  // Default: the process's current settings at Open.
  void SetProxySettings(ProxySettings settings) { proxies_ = std::move(settings); }

  void SetClient(unsigned events, Client client);
  bool Open(std::shared_ptr<runtime::RunLoop> loop = nullptr);
  // Drops the connection; no event comes after it.
  void Close();

  // A count > 0, kStreamAtEnd, kStreamFailed or kStreamWouldBlock.
  std::ptrdiff_t Read(void* out, std::size_t size);
  // Read without a copy, for a plain (not TLS) length-delimited or until-close body with
  // nothing buffered: moves at most `size` body bytes from the socket into the pipe
  // `pipe_descriptor` and answers how many, counted as read. kStreamCannotSplice whenever
  // Read must be used instead (TLS, chunked framing, buffered bytes, the body's end, a
  // kernel that cannot): call Read then, which answers for those states. The end and
  // failures of the body arrive as events, as after Read.
  std::ptrdiff_t SpliceBody(int pipe_descriptor, std::size_t size);
  // Whether SpliceBody would take bytes now (it may still find none waiting).
  bool CanSpliceBody() const;
  bool HasBytesAvailable() const { return body_.size() > body_pos_; }
  StreamStatus Status() const { return status_; }
  StreamError Error() const { return error_; }

  const HttpRequest& Request() const { return request_; }
  // nullptr until the head is in.
  const HttpResponseHead* ResponseHead() const { return head_ ? &*head_ : nullptr; }
  // The URL of the response being read (after followed redirects).
  const values::Url& FinalUrl() const { return request_.Url(); }
  int RedirectsFollowed() const { return redirects_; }
  // The TLS peer's chain, leaf first: from the first bytes on, and after a TLS failure.
  const CertificateChain& PeerCertificates() const { return peer_certificates_; }
  // The connection's socket (SO_RCVBUF...); -1 when there is none.
  int Descriptor() const;
  // True when the connection came from the keep-alive pool.
  bool ConnectionWasReused() const { return reused_connection_; }

 private:
  enum class Phase { kIdle, kConnecting, kTunnelHead, kSending, kHead, kBody, kDone, kFailed };

  void Connect();
  void OnConnectionEvent(StreamEvent event);
  void StartTlsInTunnel();
  void SendRequest();
  void PumpOutgoing();
  void ReadConnection();
  // A length-delimited or until-close body with nothing buffered: Read takes the bytes
  // straight from the connection into the reader's buffer, one read and no copy.
  bool DirectBody() const;
  std::ptrdiff_t ReadDirect(void* out, std::size_t size);
  void HandleHead(HttpResponseHead head);
  bool FollowRedirect(const HttpResponseHead& head);
  void DecodeBody();
  void ConnectionEnded();
  void Finish();
  void Fail(StreamError error);
  void UpdateConnectionEvents();
  void Quiesce();
  void DropConnection(bool reusable);
  void NotePeerCertificates();
  std::string PoolKey() const;
  void Post(StreamEvent event);
  void PerformPosted();

  HttpRequest request_;
  bool auto_redirect_ = false;
  int redirect_limit_ = kDefaultRedirectLimit;
  bool keep_alive_ = false;
  TlsTrust trust_;
  std::optional<ProxySettings> proxies_;

  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::Source> posted_source_;
  unsigned posted_ = 0;
  unsigned events_ = 0;
  std::shared_ptr<Client> client_;

  Phase phase_ = Phase::kIdle;
  StreamStatus status_ = StreamStatus::kNotOpen;
  StreamError error_;
  StreamError pending_error_;  // delivered once the body bytes before it were read
  bool end_delivered_ = false;
  bool open_delivered_ = false;

  std::optional<ProxyServer> proxy_;
  bool tunnel_ = false;
  std::unique_ptr<ByteStream> connection_;
  TlsStream* tls_ = nullptr;  // inside connection_ when the connection is TLS
  bool reused_connection_ = false;
  bool paused_ = false;
  bool reusable_ = false;
  bool splice_refused_ = false;  // the kernel would not splice this connection

  std::string outgoing_;
  std::size_t outgoing_pos_ = 0;
  HttpHeadParser parser_;
  std::optional<HttpResponseHead> head_;
  std::optional<HttpBodyDecoder> decoder_;
  std::string raw_;  // received bytes not yet decoded, from raw_pos_
  std::size_t raw_pos_ = 0;
  std::string body_;  // decoded body bytes not yet read, from body_pos_
  std::size_t body_pos_ = 0;
  int redirects_ = 0;
  CertificateChain peer_certificates_;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace net
