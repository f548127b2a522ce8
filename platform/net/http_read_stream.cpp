#include "platform/net/http_read_stream.h"

#include "platform/values/ascii.h"

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "platform/net/http_authentication.h"
#include "platform/net/tcp_stream.h"
#include "platform/net/tls_stream.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/base64.h"

namespace net {

namespace {

constexpr std::size_t kReadChunk = 32 * 1024;
// Idle keep-alive connections kept per thread; the oldest goes first.
constexpr std::size_t kPoolLimit = 8;

bool IsHttps(const values::Url& url) {
  return values::AsciiLower(url.Scheme()) == "https";
}

int PortOf(const values::Url& url) {
  const int port = url.Port();
  if (port > 0) return port;
  return IsHttps(url) ? 443 : 80;
}

// Idle connections of this thread, by server (and proxy), oldest first.
struct IdleConnection {
  std::string key;
  std::unique_ptr<ByteStream> stream;
  TlsStream* tls;
};
std::vector<IdleConnection>& Pool() {
  thread_local std::vector<IdleConnection> pool;
  return pool;
}

// A pooled connection is good when the server has neither closed it nor sent anything.
bool IsIdleAndAlive(const ByteStream& s) {
  if (s.Status() != StreamStatus::kOpen || s.HasBytesAvailable()) return false;
  char c;
  const ssize_t n = ::recv(s.Descriptor(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

bool ConnectionHeaderSaysClose(const HttpResponseHead& head) {
  auto v = head.Header("Connection");
  if (v && values::AsciiLower(*v).find("close") != std::string::npos) return true;
  if (head.Version() < 11) return !(v && values::AsciiLower(*v).find("keep-alive") != std::string::npos);
  return false;
}

}  // namespace

HttpReadStream::HttpReadStream(HttpRequest request) : request_(std::move(request)) {}

HttpReadStream::~HttpReadStream() {
  Close();
}

void HttpReadStream::SetClient(unsigned events, Client client) {
  events_ = events;
  client_ = client ? std::make_shared<Client>(std::move(client)) : nullptr;
  if (HasBytesAvailable() || phase_ == Phase::kDone || phase_ == Phase::kFailed) Post(kEventNone);
}

bool HttpReadStream::Open(std::shared_ptr<runtime::RunLoop> loop) {
  if (status_ != StreamStatus::kNotOpen) return false;
  loop_ = loop ? std::move(loop) : runtime::RunLoop::Current();
  if (!loop_) return false;
  if (!proxies_) proxies_ = ProxySettingsSource::Shared().Current();
  std::weak_ptr<char> alive = alive_;
  posted_source_ = runtime::Source::Create([this, alive] {
    if (!alive.expired()) PerformPosted();
  });
  loop_->AddSource(posted_source_);
  status_ = StreamStatus::kOpening;
  Connect();
  return true;
}

std::string HttpReadStream::PoolKey() const {
  const values::Url& url = request_.Url();
  std::string key = values::AsciiLower(url.Scheme()) + "://" + values::AsciiLower(url.Host().value_or("")) +
                    ":" + std::to_string(PortOf(url));
  if (proxy_) key += "|" + proxy_->host + ":" + std::to_string(proxy_->port);
  return key;
}

void HttpReadStream::Connect() {
  const values::Url& url = request_.Url();
  const std::string scheme = values::AsciiLower(url.Scheme());
  if ((scheme != "http" && scheme != "https") || !url.Host() || url.Host()->empty()) {
    Fail({ErrorDomain::kHttp, http_code::kBadResponse});
    return;
  }
  proxy_ = proxies_->ProxyFor(url);
  tunnel_ = proxy_ && IsHttps(url);
  parser_ = HttpHeadParser();
  head_.reset();
  decoder_.reset();
  raw_.clear();
  raw_pos_ = 0;
  reused_connection_ = false;

  if (keep_alive_) {
    auto& pool = Pool();
    const std::string key = PoolKey();
    for (auto it = pool.begin(); it != pool.end();) {
      if (it->key != key) {
        ++it;
        continue;
      }
      IdleConnection idle = std::move(*it);
      it = pool.erase(it);
      if (!IsIdleAndAlive(*idle.stream)) continue;
      connection_ = std::move(idle.stream);
      tls_ = idle.tls;
      reused_connection_ = true;
      connection_->SetClient(kEventAll, [this](StreamEvent e) { OnConnectionEvent(e); });
      phase_ = Phase::kConnecting;
      loop_->Perform([this, alive = std::weak_ptr<char>(alive_)] {
        if (!alive.expired() && phase_ == Phase::kConnecting) OnConnectionEvent(kEventOpenCompleted);
      });
      return;
    }
  }

  std::unique_ptr<TcpStream> tcp =
      proxy_ ? TcpStream::Connect(proxy_->host, proxy_->port) : TcpStream::Connect(*url.Host(), PortOf(url));
  tls_ = nullptr;
  if (IsHttps(url) && !tunnel_) {
    auto tls = TlsStream::CreateClient(std::move(tcp), *url.Host(), trust_);
    tls_ = tls.get();
    connection_ = std::move(tls);
  } else {
    connection_ = std::move(tcp);
  }
  phase_ = tunnel_ ? Phase::kTunnelHead : Phase::kConnecting;
  connection_->SetClient(kEventAll, [this](StreamEvent e) { OnConnectionEvent(e); });
  connection_->Open(loop_);
}

void HttpReadStream::OnConnectionEvent(StreamEvent event) {
  switch (event) {
    case kEventOpenCompleted:
      NotePeerCertificates();
      if (!open_delivered_) {
        open_delivered_ = true;
        status_ = StreamStatus::kOpen;
        Post(kEventOpenCompleted);
      }
      SendRequest();
      break;
    case kEventCanAcceptBytes:
      PumpOutgoing();
      break;
    case kEventHasBytes:
      if (DirectBody() && (events_ & kEventHasBytes) && client_) {
        // Nothing is buffered: the reader takes the bytes from the connection itself.
        // (A client that paused its events gets them buffered as before, up to the limit.)
        // It may destroy this stream from inside the callback.
        std::shared_ptr<Client> client = client_;
        (*client)(kEventHasBytes);
        return;
      }
      ReadConnection();
      break;
    case kEventEnd:
      ConnectionEnded();
      break;
    case kEventError: {
      NotePeerCertificates();
      const StreamError why = connection_->Error();
      if (phase_ == Phase::kBody) {
        // The body bytes already decoded are still offered before the error.
        pending_error_ = why;
        Quiesce();
        phase_ = Phase::kFailed;
        status_ = StreamStatus::kError;
        error_ = why;
        Post(kEventNone);
      } else {
        Fail(why);
      }
      break;
    }
    default:
      break;
  }
}

void HttpReadStream::NotePeerCertificates() {
  if (tls_) {
    CertificateChain chain = tls_->PeerCertificates();
    if (!chain.empty()) peer_certificates_ = std::move(chain);
  }
}

void HttpReadStream::SendRequest() {
  const values::Url& url = request_.Url();
  if (phase_ == Phase::kTunnelHead) {
    const std::string authority = *url.Host() + ":" + std::to_string(PortOf(url));
    std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (auto auth = request_.Header("Proxy-Authorization")) {
      head += "Proxy-Authorization: " + *auth + "\r\n";
    } else if (!proxy_->user.empty()) {
      head += "Proxy-Authorization: Basic " + values::EncodeBase64(proxy_->user + ":" + proxy_->password) +
              "\r\n";
    }
    if (auto agent = request_.Header("User-Agent")) head += "User-Agent: " + *agent + "\r\n";
    head += "\r\n";
    outgoing_ = std::move(head);
  } else {
    HttpRequest wire = request_;
    if (!keep_alive_ && !wire.Headers().Has("Connection")) wire.SetHeader("Connection", "close");
    RequestTarget target = RequestTarget::kOrigin;
    if (proxy_ && !tunnel_) {
      target = RequestTarget::kAbsolute;
      if (!wire.Headers().Has("Proxy-Authorization") && !proxy_->user.empty())
        wire.SetHeader("Proxy-Authorization",
                       "Basic " + values::EncodeBase64(proxy_->user + ":" + proxy_->password));
    } else {
      // Proxy credentials went to the proxy with CONNECT; the origin server never sees them.
      wire.Headers().Remove("Proxy-Authorization");
    }
    if (!wire.Body().empty() && !wire.Headers().Has("Content-Length"))
      wire.SetHeader("Content-Length", std::to_string(wire.Body().size()));
    outgoing_ = wire.SerializeHead(target) + wire.Body();
    phase_ = Phase::kSending;
  }
  outgoing_pos_ = 0;
  PumpOutgoing();
}

void HttpReadStream::PumpOutgoing() {
  while (outgoing_pos_ < outgoing_.size()) {
    const std::ptrdiff_t n =
        connection_->Write(outgoing_.data() + outgoing_pos_, outgoing_.size() - outgoing_pos_);
    if (n == kStreamFailed) {
      Fail(connection_->Error());
      return;
    }
    if (n <= 0) return;  // the can-accept event brings us back
    outgoing_pos_ += static_cast<std::size_t>(n);
  }
  if (phase_ == Phase::kSending) phase_ = Phase::kHead;
}

void HttpReadStream::ReadConnection() {
  if (phase_ == Phase::kBody) {
    if (body_.size() - body_pos_ >= kBufferLimit) return;
    if (raw_pos_ == raw_.size()) {
      raw_.clear();
      raw_pos_ = 0;
    }
  }
  char buffer[kReadChunk];
  const std::ptrdiff_t n = connection_->Read(buffer, sizeof buffer);
  if (n == kStreamAtEnd) {
    ConnectionEnded();
    return;
  }
  if (n == kStreamFailed) {
    OnConnectionEvent(kEventError);
    return;
  }
  if (n <= 0) return;
  std::string_view in(buffer, static_cast<std::size_t>(n));
  if (phase_ == Phase::kTunnelHead || phase_ == Phase::kHead || phase_ == Phase::kSending) {
    const std::size_t used = parser_.Feed(in);
    in.remove_prefix(used);
    if (parser_.state() == HttpHeadParser::State::kError) {
      Fail({ErrorDomain::kHttp, http_code::kBadResponse});
      return;
    }
    if (parser_.state() != HttpHeadParser::State::kDone) return;
    raw_.assign(in);
    raw_pos_ = 0;
    HandleHead(parser_.TakeHead());
    return;
  }
  if (phase_ == Phase::kBody) {
    raw_.append(in);
    DecodeBody();
  }
}

void HttpReadStream::HandleHead(HttpResponseHead head) {
  for (const auto& auth : request_.AppliedAuthentications()) auth->NoteResponse(head);
  const int code = head.StatusCode();

  if (phase_ == Phase::kTunnelHead) {
    if (code >= 200 && code < 300) {
      StartTlsInTunnel();
      return;
    }
    if (code != 407) {
      head_ = std::move(head);
      Fail({ErrorDomain::kHttp, http_code::kProxyConnectFailed});
      return;
    }
    // The proxy wants credentials: its answer is the response.
    decoder_ = HttpBodyDecoder::ForResponse(head, "CONNECT");
    head_ = std::move(head);
    phase_ = Phase::kBody;
    DecodeBody();
    return;
  }

  if (auto_redirect_ && FollowRedirect(head)) return;
  decoder_ = HttpBodyDecoder::ForResponse(head, request_.Method());
  head_ = std::move(head);
  phase_ = Phase::kBody;
  DecodeBody();
}

void HttpReadStream::StartTlsInTunnel() {
  // The TCP stream to the proxy becomes the carrier of the TLS stream to the server.
  auto* tcp = static_cast<TcpStream*>(connection_.release());
  std::unique_ptr<TcpStream> carrier(tcp);
  auto tls = TlsStream::CreateClient(std::move(carrier), *request_.Url().Host(), trust_);
  tls_ = tls.get();
  connection_ = std::move(tls);
  parser_ = HttpHeadParser();
  raw_.clear();
  raw_pos_ = 0;
  phase_ = Phase::kConnecting;
  tunnel_ = true;
  connection_->SetClient(kEventAll, [this](StreamEvent e) { OnConnectionEvent(e); });
  // The request goes out once the handshake is done; SendRequest must not send CONNECT again.
  connection_->Open(loop_);
}

bool HttpReadStream::FollowRedirect(const HttpResponseHead& head) {
  const int code = head.StatusCode();
  if (code != 301 && code != 302 && code != 303 && code != 307 && code != 308) return false;
  auto location = head.Header("Location");
  if (!location) return false;
  auto next = values::Url::CreateAbsolute(*location, request_.Url());
  if (!next) return false;
  const std::string scheme = values::AsciiLower(next->Scheme());
  if (scheme != "http" && scheme != "https") return false;
  if (redirects_ >= redirect_limit_) {
    Fail({ErrorDomain::kHttp, http_code::kRedirectionLoop});
    return true;
  }
  ++redirects_;
  const bool same_server = values::AsciiLower(next->Host().value_or("")) ==
                               values::AsciiLower(request_.Url().Host().value_or("")) &&
                           PortOf(*next) == PortOf(request_.Url()) &&
                           scheme == values::AsciiLower(request_.Url().Scheme());
  std::string method = request_.Method();
  const bool to_get = code == 303 || ((code == 301 || code == 302) && method == "POST");
  HttpRequest next_request(to_get ? "GET" : method, *next);
  for (const auto& [name, value] : request_.Headers().Fields()) {
    if (HeaderNameEquals(name, "Host")) continue;
    if (to_get && (HeaderNameEquals(name, "Content-Length") || HeaderNameEquals(name, "Content-Type")))
      continue;
    // Credentials and cookies of one server are not handed to another.
    if (!same_server && (HeaderNameEquals(name, "Authorization") || HeaderNameEquals(name, "Cookie")))
      continue;
    next_request.Headers().Add(name, value);
  }
  if (!to_get) next_request.SetBody(request_.Body());
  if (same_server)
    for (const auto& auth : request_.AppliedAuthentications()) next_request.NoteAppliedAuthentication(auth);
  request_ = std::move(next_request);
  DropConnection(false);
  Connect();
  return true;
}

void HttpReadStream::DecodeBody() {
  if (!decoder_) return;
  while (decoder_->state() == HttpBodyDecoder::State::kBody && raw_pos_ < raw_.size() &&
         body_.size() - body_pos_ < kBufferLimit) {
    if (body_pos_ > 0 && body_pos_ == body_.size()) {
      body_.clear();
      body_pos_ = 0;
    }
    const std::string_view input(raw_.data() + raw_pos_, raw_.size() - raw_pos_);
    const auto step = decoder_->Advance(input, kBufferLimit - (body_.size() - body_pos_));
    body_.append(input.substr(step.body_offset, step.body_size));
    raw_pos_ += step.consumed;
    if (step.consumed == 0) break;
  }
  if (raw_pos_ == raw_.size()) {
    raw_.clear();
    raw_pos_ = 0;
  }
  if (decoder_->state() == HttpBodyDecoder::State::kDone) {
    Finish();
  } else if (decoder_->state() == HttpBodyDecoder::State::kError) {
    pending_error_ = {ErrorDomain::kHttp, http_code::kBadResponse};
    Quiesce();
    phase_ = Phase::kFailed;
  }
  UpdateConnectionEvents();
  if (HasBytesAvailable() || phase_ == Phase::kDone || phase_ == Phase::kFailed) Post(kEventNone);
}

void HttpReadStream::ConnectionEnded() {
  if (phase_ == Phase::kBody && decoder_) {
    DecodeBody();
    if (phase_ != Phase::kBody) return;
    decoder_->InputEnded();
    if (decoder_->state() == HttpBodyDecoder::State::kDone) {
      Finish();
    } else {
      pending_error_ = {ErrorDomain::kHttp, http_code::kBodyCutShort};
      Quiesce();
      phase_ = Phase::kFailed;
    }
    Post(kEventNone);
    return;
  }
  if (phase_ == Phase::kDone || phase_ == Phase::kFailed) return;
  // The server closed before a whole head came.
  Fail({ErrorDomain::kHttp, http_code::kBadResponse});
}

void HttpReadStream::Finish() {
  // A tunnel without TLS yet means the proxy itself answered CONNECT: that connection
  // leads nowhere a later request could use.
  const bool reusable = keep_alive_ && decoder_ && decoder_->ConnectionReusable() && head_ &&
                        !ConnectionHeaderSaysClose(*head_) && raw_pos_ == raw_.size() && !(tunnel_ && !tls_);
  phase_ = Phase::kDone;
  reusable_ = reusable;
  Quiesce();
}

void HttpReadStream::Quiesce() {
  // The connection stays (its descriptor readable) until the reader is told the outcome.
  if (connection_) connection_->SetClient(0, nullptr);
}

void HttpReadStream::DropConnection(bool reusable) {
  if (!connection_) return;
  if (reusable) {
    connection_->SetClient(0, nullptr);
    auto& pool = Pool();
    if (pool.size() >= kPoolLimit) pool.erase(pool.begin());
    pool.push_back({PoolKey(), std::move(connection_), tls_});
  } else {
    // Closing from inside the connection's own callback is allowed.
    connection_->Close();
    connection_.reset();
  }
  tls_ = nullptr;
  paused_ = false;
}

void HttpReadStream::UpdateConnectionEvents() {
  if (!connection_ || phase_ != Phase::kBody) return;
  const bool full = body_.size() - body_pos_ >= kBufferLimit || raw_pos_ < raw_.size();
  if (full == paused_) return;
  paused_ = full;
  const unsigned events = full ? (kEventAll & ~(kEventHasBytes | kEventEnd)) : kEventAll;
  connection_->SetClient(events, [this](StreamEvent e) { OnConnectionEvent(e); });
}

void HttpReadStream::Fail(StreamError error) {
  if (phase_ == Phase::kFailed && error_) return;
  error_ = error;
  pending_error_ = error;
  phase_ = Phase::kFailed;
  status_ = StreamStatus::kError;
  DropConnection(false);
  Post(kEventError);
}

void HttpReadStream::Post(StreamEvent event) {
  posted_ |= event;
  if (posted_source_) posted_source_->Signal();
}

void HttpReadStream::PerformPosted() {
  const unsigned posted = std::exchange(posted_, 0u);
  std::weak_ptr<char> alive = alive_;
  auto deliver = [&](StreamEvent e) {
    if (!(events_ & e) || !client_) return true;
    std::shared_ptr<Client> client = client_;
    (*client)(e);
    return !alive.expired();
  };
  if ((posted & kEventOpenCompleted) && !deliver(kEventOpenCompleted)) return;
  if (HasBytesAvailable()) {
    if (!deliver(kEventHasBytes)) return;
    // Level-triggered: bytes still waiting are announced again on the next pass, and an
    // end or error waiting behind the bytes just read comes then.
    if ((HasBytesAvailable() && (events_ & kEventHasBytes) && client_) ||
        (!HasBytesAvailable() && (phase_ == Phase::kDone || phase_ == Phase::kFailed)))
      Post(kEventNone);
    return;
  }
  if (end_delivered_) return;
  if (phase_ == Phase::kDone) {
    end_delivered_ = true;
    status_ = StreamStatus::kAtEnd;
    DropConnection(reusable_);
    deliver(kEventEnd);
  } else if (phase_ == Phase::kFailed && pending_error_) {
    end_delivered_ = true;
    DropConnection(false);
    error_ = pending_error_;
    status_ = StreamStatus::kError;
    deliver(kEventError);
  }
}

bool HttpReadStream::DirectBody() const {
  if (phase_ != Phase::kBody || !connection_ || !decoder_ ||
      decoder_->state() != HttpBodyDecoder::State::kBody)
    return false;
  const auto framing = decoder_->framing();
  return (framing == HttpBodyDecoder::Framing::kLength || framing == HttpBodyDecoder::Framing::kUntilClose) &&
         body_pos_ == body_.size() && raw_pos_ == raw_.size();
}

std::ptrdiff_t HttpReadStream::ReadDirect(void* out, std::size_t size) {
  // Never past a length-delimited body: what follows belongs to the next response.
  const std::int64_t remaining = decoder_->Remaining();
  if (remaining >= 0) size = std::min<std::uint64_t>(size, static_cast<std::uint64_t>(remaining));
  if (size == 0) return kStreamWouldBlock;
  const std::ptrdiff_t n = connection_->Read(out, size);
  if (n > 0) {
    // The framing of these bodies is their length alone: the decoder only counts.
    decoder_->Advance(std::string_view(static_cast<const char*>(out), static_cast<std::size_t>(n)),
                      static_cast<std::size_t>(n));
    if (decoder_->state() == HttpBodyDecoder::State::kDone) {
      Finish();
      Post(kEventNone);
    }
    return n;
  }
  if (n == kStreamAtEnd) {
    ConnectionEnded();
  } else if (n == kStreamFailed) {
    OnConnectionEvent(kEventError);
  }
  // The end or the error reaches the client as an event, as after buffered bytes.
  return kStreamWouldBlock;
}

bool HttpReadStream::CanSpliceBody() const {
  // Only a bare TCP connection hands its bytes to the kernel; TLS must decrypt them here.
  return !splice_refused_ && tls_ == nullptr && DirectBody() && dynamic_cast<TcpStream*>(connection_.get());
}

std::ptrdiff_t HttpReadStream::SpliceBody(int pipe_descriptor, std::size_t size) {
  if (!CanSpliceBody()) return kStreamCannotSplice;
  auto* tcp = static_cast<TcpStream*>(connection_.get());
  // Never past a length-delimited body, as in ReadDirect.
  const std::int64_t remaining = decoder_->Remaining();
  if (remaining >= 0) size = std::min<std::uint64_t>(size, static_cast<std::uint64_t>(remaining));
  if (size == 0) return kStreamWouldBlock;
  const std::ptrdiff_t n = tcp->SpliceInto(pipe_descriptor, size);
  if (n > 0) {
    decoder_->CountBody(static_cast<std::size_t>(n));
    if (decoder_->state() == HttpBodyDecoder::State::kDone) {
      Finish();
      Post(kEventNone);
    }
    return n;
  }
  if (n == kStreamCannotSplice) {
    splice_refused_ = true;
    return kStreamCannotSplice;
  }
  if (n == kStreamAtEnd) {
    ConnectionEnded();
  } else if (n == kStreamFailed) {
    OnConnectionEvent(kEventError);
  }
  return kStreamWouldBlock;
}

std::ptrdiff_t HttpReadStream::Read(void* out, std::size_t size) {
  const std::size_t available = body_.size() - body_pos_;
  if (available == 0) {
    if (DirectBody()) return ReadDirect(out, size);
    if (phase_ == Phase::kDone) return kStreamAtEnd;
    if (phase_ == Phase::kFailed && end_delivered_) return kStreamFailed;
    return kStreamWouldBlock;
  }
  const bool was_full = available >= kBufferLimit || raw_pos_ < raw_.size();
  const std::size_t n = std::min(size, available);
  std::memcpy(out, body_.data() + body_pos_, n);
  body_pos_ += n;
  if (body_pos_ == body_.size()) {
    body_.clear();
    body_pos_ = 0;
  }
  if (was_full && phase_ == Phase::kBody) DecodeBody();
  return static_cast<std::ptrdiff_t>(n);
}

int HttpReadStream::Descriptor() const {
  return connection_ ? connection_->Descriptor() : -1;
}

void HttpReadStream::Close() {
  if (connection_) {
    connection_->Close();
    connection_.reset();
  }
  tls_ = nullptr;
  if (posted_source_) {
    posted_source_->Invalidate();
    if (loop_) loop_->RemoveSource(posted_source_);
    posted_source_.reset();
  }
  if (status_ != StreamStatus::kNotOpen && status_ != StreamStatus::kError) status_ = StreamStatus::kClosed;
  if (phase_ != Phase::kFailed) phase_ = Phase::kDone;
  end_delivered_ = true;
}

}  // namespace net
