#include "app/engine/http/http_transport.h"

#include <any>
#include <string>
#include <vector>

#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/engine/http/http_content_decoding.h"
#include "app/engine/http/http_header_values.h"
#include "app/engine/http/http_request_builder.h"
#include "app/engine/http/http_response_names.h"
#include "app/engine/http/http_status_table.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/network/network_reachability.h"
#include "app/engine/network/socket_buffer.h"
#include "app/engine/task/download_timing.h"
#include "app/engine/urls/url_entries.h"
#include "app/util/text/url_utilities.h"
#include "platform/net/http_authentication.h"
#include "platform/net/http_read_stream.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/clock.h"

namespace engine {

namespace {

// Download-wide state of this transport, in DownloadSlot().
constexpr std::string_view kProxyAuthenticationSlot = "http proxy authentication";
constexpr std::string_view kOldDateRetriesSlot = "http old date retries";
constexpr std::string_view kETagRestartsSlot = "http etag restarts";

constexpr std::size_t kInflateBlock = 65536;

// What a connection hands to the one that replaces it.
struct HttpCarried {
  std::shared_ptr<net::HttpAuthentication> authentication;
  int redirects = 0;
  int authAttempts = 0;
};

HttpCarried CarriedOf(DownloadConnection& connection) {
  if (auto* carried = std::any_cast<HttpCarried>(&connection.Carried())) return *carried;
  return {};
}

std::shared_ptr<net::HttpAuthentication>& ProxyAuthentication(DownloadConnection& connection) {
  std::any& slot = connection.DownloadSlot(kProxyAuthenticationSlot);
  if (!slot.has_value()) slot = std::shared_ptr<net::HttpAuthentication>();
  return *std::any_cast<std::shared_ptr<net::HttpAuthentication>>(&slot);
}

int& SlotCounter(DownloadConnection& connection, std::string_view key) {
  std::any& slot = connection.DownloadSlot(key);
  if (!slot.has_value()) slot = 0;
  return *std::any_cast<int>(&slot);
}

values::Dictionary* EntryDictionary(DownloadConnection& connection) {
  return connection.Entry().AsDictionary();
}

void SetEntryFlag(DownloadConnection& connection, const char* key, bool on = true) {
  if (auto* d = EntryDictionary(connection)) (*d)[key] = values::Value(on);
}

void SetEntryString(DownloadConnection& connection, const char* key, const std::string& text) {
  if (auto* d = EntryDictionary(connection)) (*d)[key] = values::Value(text);
}

void RemoveEntryKey(DownloadConnection& connection, const char* key) {
  if (auto* d = EntryDictionary(connection)) d->erase(key);
}

std::optional<std::string> EntryString(DownloadConnection& connection, const char* key) {
  const values::Value* v = connection.Entry().Find(key);
  if (v == nullptr || !v->IsString()) return std::nullopt;
  return *v->AsString();
}

// The texts the log gets for socket failures that are worth a quicker retry.
const char* SocketFailureText(int code) {
  switch (code) {
    case net::posix_code::kBrokenPipe:
      return "Broken pipe\r";
    case net::posix_code::kNetworkDown:
    case net::posix_code::kNetworkUnreachable:
      return "Host unreachable\r";
    case net::posix_code::kConnectionReset:
      return "Connection reset\r";
    case net::posix_code::kNotConnected:
      return "Connection with server was lost\r";
    case net::posix_code::kConnectionRefused:
      return "Connection refused\r";
    default:
      return nullptr;
  }
}

bool AcceptedForHost(const DownloadFacts& facts, const values::Url& url) {
  const auto host = url.Host();
  return facts.resumedAfterPrompt && facts.acceptedCertificateHost && host &&
         AsciiLower(*facts.acceptedCertificateHost) == AsciiLower(*host);
}

class HttpConnection : public TransportConnection {
 public:
  explicit HttpConnection(DownloadConnection& connection) : connection_(connection) {}
  ~HttpConnection() override { Close(); }

  void Close() override {
    closed_ = true;
    if (deferred_) deferred_->Invalidate();
    deferred_.reset();
    if (stream_) stream_->Close();
  }
  int Descriptor() const override { return stream_ ? stream_->Descriptor() : -1; }

  bool Start();
  // Ends the connection from the run loop's next pass (never from inside Open).
  void EndSoon(std::uint32_t flags);

 private:
  void OnEvent(net::StreamEvent event);
  // True when the connection has ended (do not touch anything after it).
  bool HandleResponse();
  bool AcceptBody(const net::HttpResponseHead& head);
  bool WholeFileForRange(const net::HttpResponseHead& head);
  bool HandleChallenge(const net::HttpResponseHead& head, bool proxy);
  bool FollowRedirect(const net::HttpResponseHead& head);
  bool Replace(std::optional<values::Url> url, HttpCarried carried);
  bool ReadBody();
  bool Deliver(std::size_t count);
  bool HandleEnd();
  bool HandleError();
  bool Fail(net::StreamError error, std::string text, std::uint32_t flags);
  bool End(std::uint32_t flags) {
    ended_ = true;
    return connection_.End(flags);
  }

  DownloadConnection& connection_;
  HttpCarried carried_;
  std::unique_ptr<net::HttpReadStream> stream_;
  std::unique_ptr<GzipInflater> inflater_;
  std::vector<char> inflated_;
  std::shared_ptr<runtime::Timer> deferred_;
  bool headHandled_ = false;
  bool closed_ = false;
  bool ended_ = false;
};

bool HttpConnection::Start() {
  const values::Url url = connection_.URL().Absolute();
  carried_ = CarriedOf(connection_);
  const DownloadFacts& facts = connection_.Download();

  HttpRequestInput input;
  input.url = url;
  input.entry = &connection_.Entry();
  input.range = connection_.Range();
  input.user = facts.user;
  input.password = facts.password;
  input.userAgent = facts.userAgent;
  input.authentication = carried_.authentication;
  input.proxyAuthentication = ProxyAuthentication(connection_);
  HttpRequestBuild built = BuildHttpRequest(input);
  if (!built.request) {
    // A challenge to answer and nothing to answer it with: the user is asked.
    connection_.SetError({net::ErrorDomain::kHttp, 401}, "HTTP/1.1 401 Unauthorized");
    EndSoon(kStreamError | kStreamNeedsAuth);
    return true;
  }
  if (auto* d = EntryDictionary(connection_); d && !built.cookies.empty()) {
    (*d)[kEntryCookie] = values::Value(built.cookies);
  }
  // The head for the log hides Authorization, Proxy-Authorization and Cookie values.
  connection_.Log("\r" + built.request->HeadForLog());

  stream_ = std::make_unique<net::HttpReadStream>(std::move(*built.request));
  stream_->SetAutoRedirect(false);
  stream_->SetKeepAlive(false);
  if (AsciiLower(url.Scheme()) == "https") {
    // A chain the user accepted is trusted for the host it was accepted for, and only
    // there: not for other mirrors or redirect targets of the same download.
    stream_->SetValidateChain(!AcceptedForHost(facts, url));
    auto accepted = CopyAcceptedCertificates(url);
    if (facts.acceptedCertificate && AcceptedForHost(facts, url))
      accepted.push_back(*facts.acceptedCertificate);
    if (!accepted.empty()) stream_->SetTrustedCertificates(std::move(accepted));
  }
  stream_->SetClient(net::kEventHasBytes | net::kEventEnd | net::kEventError,
                     [this](net::StreamEvent event) { OnEvent(event); });
  if (!stream_->Open()) {
    connection_.SetError({net::ErrorDomain::kPosix, net::posix_code::kNotConnected});
    return false;
  }
  connection_.NoteActivity();
  connection_.SetTimeout(kConnectionTimeout);
  connection_.WatchReachability();
  return true;
}

void HttpConnection::EndSoon(std::uint32_t flags) {
  auto loop = runtime::RunLoop::Current();
  deferred_ = runtime::Timer::Create(runtime::Nanoseconds(0), runtime::Nanoseconds(0),
                                     [this, flags](runtime::Timer&) {
                                       deferred_.reset();
                                       if (!closed_ && !ended_) End(flags);
                                     });
  loop->AddTimer(deferred_);
}

void HttpConnection::OnEvent(net::StreamEvent event) {
  if (closed_ || ended_) return;
  switch (event) {
    case net::kEventHasBytes:
      connection_.NoteActivity();
      if (!headHandled_ && HandleResponse()) return;
      ReadBody();
      return;
    case net::kEventEnd:
      if (!headHandled_ && HandleResponse()) return;
      HandleEnd();
      return;
    case net::kEventError:
      HandleError();
      return;
    default:
      return;
  }
}

bool HttpConnection::Fail(net::StreamError error, std::string text, std::uint32_t flags) {
  connection_.SetError(error, std::move(text));
  return End(flags);
}

bool HttpConnection::HandleResponse() {
  headHandled_ = true;
  const net::HttpResponseHead* headPointer = stream_->ResponseHead();
  if (headPointer == nullptr)
    return Fail({net::ErrorDomain::kHttp, net::http_code::kBadResponse}, {}, kStreamError);
  const net::HttpResponseHead head = *headPointer;
  connection_.NoteActivity();

  // A certificate other than the one the user accepted for this host: ask again.
  const auto& chain = stream_->PeerCertificates();
  if (!chain.empty()) {
    if (auto accepted = CopyAcceptedCertificateData(connection_.URL().Absolute());
        accepted && *accepted != chain.front().Der()) {
      connection_.SetTimeout(kQuestionTimeout);
      connection_.SetPeerCertificates(std::vector<net::Certificate>(chain.begin(), chain.end()));
      return Fail({net::ErrorDomain::kSsl, net::tls_code::kUnknownRoot}, {},
                  kStreamError | kStreamCertChanged);
    }
  }
  // Set-Cookie values are hidden by the log itself.
  connection_.Log("\r" + head.Serialized());

  const int status = head.StatusCode();
  const net::StreamError statusError{net::ErrorDomain::kHttp, status};
  switch (ActionForStatus(status)) {
    case HttpStatusAction::kBody:
    case HttpStatusAction::kPartialBody:
      return AcceptBody(head);
    case HttpStatusAction::kAuthenticate:
      return HandleChallenge(head, false);
    case HttpStatusAction::kProxyAuthenticate:
      return HandleChallenge(head, true);
    case HttpStatusAction::kBusy:
      connection_.LowerWantedConnections();
      if (auto squid = head.Header("X-Squid-Error"); squid && ContainsIgnoringCase(*squid, "ERR_DNS_FAIL")) {
        return Fail({net::ErrorDomain::kNetDb, net::netdb_code::kNoData}, head.StatusLine(),
                    kStreamError | kStreamFatal);
      }
      return Fail(statusError, head.StatusLine(), kStreamError | kStreamRetryLate);
    case HttpStatusAction::kRetryNow:
      carried_.authAttempts += 1;
      if (carried_.authAttempts > kMaxAuthAttempts) return Fail(statusError, head.StatusLine(), kStreamError);
      return Replace(std::nullopt, carried_);
    case HttpStatusAction::kRedirect:
      return FollowRedirect(head);
    case HttpStatusAction::kFail:
      break;
  }
  return Fail(statusError, head.StatusLine(), kStreamError | kStreamFatal);
}

// The server sent the whole file (200) although a range was asked for, or named no
// start; true when the connection ended.
bool HttpConnection::WholeFileForRange(const net::HttpResponseHead& head) {
  const std::int64_t location = connection_.Range().location;
  std::optional<std::string> rangeText = head.Header("Content-Range");
  if (!rangeText) rangeText = head.Header("Range");
  const auto range = rangeText ? ParseContentRange(*rangeText) : std::nullopt;
  if (range && range->start == location) return false;

  if (!EntryFlag(connection_.Entry(), kEntryUseIfRange)) {
    // Once more with If-Range: some servers only honour a range that names the version.
    SetEntryFlag(connection_, kEntryUseIfRange);
    return Replace(std::nullopt, carried_);
  }
  switch (ResponseDateAge(head.Header("Date"), values::Now())) {
    case DateAge::kOld: {
      // A cache answered; another try may reach the server. Bounded: a cache that keeps
      // answering would otherwise be asked every few seconds for ever.
      int& retries = SlotCounter(connection_, kOldDateRetriesSlot);
      if (retries < kMaxOldDateRetries) {
        ++retries;
        return Fail({net::ErrorDomain::kHttp, head.StatusCode()}, head.StatusLine(),
                    kStreamError | kStreamRetrySoon);
      }
      break;
    }
    case DateAge::kUnreadable:
      if (!EntryFlag(connection_.Entry(), kEntryNoDate)) {
        SetEntryFlag(connection_, kEntryNoDate);
        return Fail({net::ErrorDomain::kHttp, head.StatusCode()}, head.StatusLine(),
                    kStreamError | kStreamRetrySoon);
      }
      break;
    case DateAge::kMissing:
    case DateAge::kRecent:
      break;
  }
  // The server cannot resume: this connection fetches the whole file from 0.
  if (!rangeText) SetEntryFlag(connection_, kEntryNoRestarts);
  if (rangeText || head.StatusCode() == 206) {
    // Bytes of some other range: nothing of this body can be placed.
    return Fail({net::ErrorDomain::kHttp, head.StatusCode()}, head.StatusLine(),
                kStreamError | kStreamWholeFile);
  }
  connection_.SetError({net::ErrorDomain::kHttp, head.StatusCode()}, head.StatusLine());
  // False: the engine kept this connection as the whole-file one, from offset 0.
  if (End(kStreamError | kStreamWholeFile | kStreamKeepAsWhole)) return true;
  ended_ = false;
  return false;
}

bool HttpConnection::AcceptBody(const net::HttpResponseHead& head) {
  const int status = head.StatusCode();
  SetStreamSocketBuffer(stream_->Descriptor(), connection_.Download());
  const std::int64_t location = connection_.Range().location;
  const auto contentType = head.Header("Content-Type");
  if (contentType && MultipartByterangesBoundary(*contentType)) {
    // Several ranges in one body; one was asked for. Its framing must never reach the
    // file, so the mirror is fetched whole, or given up when it already was.
    SetEntryFlag(connection_, kEntryNoRestarts);
    connection_.Log("\rThe server answered with several ranges\r");
    return Fail({net::ErrorDomain::kHttp, status}, head.StatusLine(),
                location != 0 ? (kStreamError | kStreamWholeFile) : (kStreamError | kStreamFatal));
  }
  if (location != 0 && WholeFileForRange(head)) return true;
  const bool fromZero = connection_.Range().location == 0 || connection_.WriteOffset() == 0;

  if (status == 206 && location != 0) {
    std::optional<std::string> rangeText = head.Header("Content-Range");
    if (!rangeText) rangeText = head.Header("Range");
    if (auto range = rangeText ? ParseContentRange(*rangeText) : std::nullopt; range && range->total >= 0) {
      connection_.SetServerSize(range->total);
    }
  }

  if (auto etag = head.Header("ETag")) {
    const auto stored = EntryString(connection_, kEntryETag);
    if (stored && ETagsDiffer(*stored, *etag)) {
      SetEntryString(connection_, kEntryETag, *etag);
      // The file changed on the server: bytes of two versions must not be mixed. Once
      // per run; a second change (servers behind one name that disagree) makes the
      // mirror a single whole-file connection.
      int& restarts = SlotCounter(connection_, kETagRestartsSlot);
      ++restarts;
      if (restarts > 1) SetEntryFlag(connection_, kEntryNoRestarts);
      if (restarts > 2) {
        return Fail({net::ErrorDomain::kHttp, status}, "The file keeps changing on the server",
                    kStreamError | kStreamFatal);
      }
      connection_.Log("\rThe file changed on the server, starting again\r");
      return Fail({net::ErrorDomain::kHttp, status}, head.StatusLine(), kStreamError | kStreamRestartAll);
    }
    if (!stored) SetEntryString(connection_, kEntryETag, *etag);
  }

  const auto encoding = head.Header("Content-Encoding");
  const bool gzip = encoding && ContentEncodingIsGzip(*encoding);
  if (gzip) {
    // The wire bytes are not the file's: no ranges, and the size is what decoding gives.
    SetEntryFlag(connection_, kEntryNoRestarts);
    if (!fromZero) {
      return Fail({net::ErrorDomain::kHttp, status}, head.StatusLine(), kStreamError | kStreamWholeFile);
    }
    inflater_ = std::make_unique<GzipInflater>();
    inflated_.resize(kInflateBlock);
    if (!inflater_->ok()) return Fail({net::ErrorDomain::kPosix, 12}, {}, kStreamError);
  }

  if (connection_.NeedsValidation() && fromZero && status != 206) {
    connection_.SetServerSize(gzip ? -1 : ContentLengthSize(head.Header("Content-Length")));
  }
  if (AcceptRangesNone(head.Header("Accept-Ranges"))) SetEntryFlag(connection_, kEntryNoRestarts);
  connection_.ApplyPendingRanges();

  if (connection_.NeedsValidation()) {
    connection_.MarkValidated();
    if (auto modified = head.Header("Last-Modified"))
      SetEntryString(connection_, kEntryDateString, *modified);
    if ((connection_.Download().nameFlags & 1) == 0) {
      connection_.ProposeFileName(
          FileNameForResponse(head.Header("Content-Disposition"), stream_->FinalUrl().Absolute()), false);
    }
  }
  if (!connection_.Download().sizeKnown && connection_.ServerSize() > 0 && !gzip) {
    connection_.LearnFileSize(connection_.ServerSize());
  }
  connection_.NoteActivity();
  connection_.SetTimeout(connection_.IsSoleConnection() ? kSoleConnectionTimeout : kConnectionTimeout);
  return false;
}

bool HttpConnection::HandleChallenge(const net::HttpResponseHead& head, bool proxy) {
  const net::StreamError error{net::ErrorDomain::kHttp, head.StatusCode()};
  const std::string challengeField = proxy ? "Proxy-Authenticate" : "WWW-Authenticate";
  bool stale = false;
  for (const auto& value : head.Headers().Values(challengeField))
    stale = stale || net::HttpAuthentication::ChallengeIsStale(value);

  carried_.authAttempts += 1;
  if (carried_.authAttempts > kMaxAuthAttempts)
    return Fail(error, head.StatusLine(), kStreamError | kStreamNeedsAuth);

  if (proxy) {
    auto& shared = ProxyAuthentication(connection_);
    if (stale) shared.reset();
    net::StreamError why;
    if (shared && !shared->IsValid(&why)) {
      if (why.code == net::http_code::kAuthenticationBadUserName ||
          why.code == net::http_code::kAuthenticationBadPassword) {
        return Fail(error, head.StatusLine(), kStreamError | kStreamNeedsAuth);
      }
      shared.reset();
    }
    if (!shared) shared = net::HttpAuthentication::CreateFromResponse(head);
    if (!shared->IsValid()) return Fail(error, head.StatusLine(), kStreamError | kStreamFatal);
    const ProxyCredentials credentials = CopyHTTPProxyCredentials();
    if (!credentials.user || !credentials.password)
      return Fail(error, head.StatusLine(), kStreamError | kStreamNeedsAuth);
    return Replace(std::nullopt, carried_);
  }

  auto& authentication = carried_.authentication;
  if (stale) authentication.reset();
  if (authentication && !authentication->IsValid())
    return Fail(error, head.StatusLine(), kStreamError | kStreamNeedsAuth);
  if (!authentication) authentication = net::HttpAuthentication::CreateFromResponse(head);
  if (!authentication->IsValid()) return Fail(error, head.StatusLine(), kStreamError | kStreamFatal);
  const DownloadFacts& facts = connection_.Download();
  if (!ResolveHttpCredentials(connection_.URL().Absolute(), facts.user, facts.password)) {
    return Fail(error, head.StatusLine(), kStreamError | kStreamNeedsAuth);
  }
  return Replace(std::nullopt, carried_);
}

bool HttpConnection::FollowRedirect(const net::HttpResponseHead& head) {
  const net::StreamError error{net::ErrorDomain::kHttp, head.StatusCode()};
  const auto location = head.Header("Location");
  if (!location || TrimBlanks(*location).empty())
    return Fail(error, head.StatusLine(), kStreamError | kStreamFatal);
  if (carried_.redirects >= kMaxRedirects) {
    return Fail({net::ErrorDomain::kHttp, net::http_code::kRedirectionLoop}, head.StatusLine(),
                kStreamError | kStreamFatal);
  }
  const values::Url current = connection_.URL().Absolute();
  const std::string text(TrimBlanks(*location));
  auto target = values::Url::CreateAbsolute(text, current);
  if (!target) {
    if (auto escaped = util::CreatePercentEscapedString(text, "#%", ""))
      target = values::Url::CreateAbsolute(*escaped, current);
  }
  if (!target || !target->Host()) return Fail(error, head.StatusLine(), kStreamError | kStreamFatal);

  if (head.Headers().Has("Set-Cookie")) {
    if (auto* d = EntryDictionary(connection_)) {
      CookieDictionary cookies;
      if (const auto* own = connection_.Entry().Find(kEntryCookie); own && own->IsDictionary())
        cookies = *own->AsDictionary();
      for (auto& [name, value] : CopyCookiesFromHeaders(head, current)) cookies.emplace(name, value);
      (*d)[kEntryCookie] = values::Value(cookies);
    }
  }
  SetEntryString(connection_, "referer", current.String());
  SetEntryString(connection_, "url", target->String());
  RemoveEntryKey(connection_, kEntryValidated);
  carried_.redirects += 1;
  carried_.authAttempts = 0;
  // A challenge belongs to the server that made it.
  if (target->Host() != current.Host()) carried_.authentication.reset();
  return Replace(*target, carried_);
}

bool HttpConnection::Replace(std::optional<values::Url> url, HttpCarried carried) {
  if (!connection_.OpenReplacement(std::move(url), std::move(carried))) return End(kStreamError);
  return End(kStreamReplaced);
}

bool HttpConnection::ReadBody() {
  // A plain body without a limit goes from the socket into the file through a pipe, never
  // through this process's memory; whatever cannot (TLS, chunks, gzip, bytes that came
  // with the head, a limit) is read below.
  if (!inflater_ && stream_->CanSpliceBody()) {
    if (const auto pipe = connection_.SplicePipe()) {
      const std::ptrdiff_t n = stream_->SpliceBody(pipe->descriptor, pipe->size);
      if (n > 0) {
        connection_.ReportTransfer(0, static_cast<std::size_t>(n));
        if (!connection_.WriteSpliced(static_cast<std::size_t>(n))) ended_ = true;
        return ended_;
      }
      if (n != net::kStreamCannotSplice) return false;
    }
  }
  std::span<std::uint8_t> buffer = connection_.ReadBuffer();
  const std::size_t grant = connection_.RequestBandwidth(buffer.size());
  if (grant < 1) return false;
  const std::ptrdiff_t n = stream_->Read(buffer.data(), std::min(grant, buffer.size()));
  if (n == net::kStreamWouldBlock || n == net::kStreamAtEnd) {
    connection_.ReportTransfer(grant, 0);
    return false;
  }
  if (n < 0) {
    connection_.ReportTransfer(grant, 0);
    return Fail(stream_->Error(), {}, kStreamError);
  }
  connection_.ReportTransfer(grant - static_cast<std::size_t>(n), static_cast<std::size_t>(n));
  return Deliver(static_cast<std::size_t>(n));
}

bool HttpConnection::Deliver(std::size_t count) {
  if (!inflater_) {
    if (!connection_.WriteReceived(count)) ended_ = true;
    return ended_;
  }
  const std::span<std::uint8_t> buffer = connection_.ReadBuffer();
  const auto result =
      inflater_->Feed(std::string_view(reinterpret_cast<const char*>(buffer.data()), count), inflated_.data(),
                      inflated_.size(), [this](const char* data, std::size_t size) {
                        if (connection_.WriteBytes({reinterpret_cast<const std::uint8_t*>(data), size}))
                          return true;
                        ended_ = true;
                        return false;
                      });
  if (ended_) return true;
  if (result == GzipInflater::Result::kError) {
    connection_.Log("zlib error: decompression failed: " + std::to_string(inflater_->ErrorCode()));
    return Fail({net::ErrorDomain::kPosix, 22}, {}, kStreamError);
  }
  return false;
}

bool HttpConnection::HandleEnd() {
  const DownloadFacts& facts = connection_.Download();
  if (inflater_ && !inflater_->Finished()) {
    connection_.Log("zlib error: decompression failed: " + std::to_string(-5));
    return Fail({net::ErrorDomain::kHttp, net::http_code::kBodyCutShort}, {}, kStreamError);
  }
  // A body of unknown size that ended cleanly from 0 is the whole file.
  if (!facts.sizeKnown && connection_.Range().location == 0) {
    connection_.LearnFileSize(connection_.WriteOffset());
    return End(kStreamDone);
  }
  const LongRange range = connection_.Range();
  const bool rangeDone = range.length > 0 && connection_.BytesDone() >= range.length;
  const bool fileDone = facts.totalSize >= 0 && connection_.WriteOffset() >= facts.totalSize;
  if (rangeDone || fileDone) return End(kStreamDone);
  return Fail({net::ErrorDomain::kHttp, net::http_code::kBodyCutShort}, {}, kStreamError);
}

bool HttpConnection::HandleError() {
  const net::StreamError error = stream_->Error();
  connection_.SetError(error);
  switch (error.domain) {
    case net::ErrorDomain::kPosix:
      if (const char* text = SocketFailureText(error.code)) {
        connection_.Log(text);
        return End(kStreamError | kStreamRetryLate);
      }
      return End(kStreamError);
    case net::ErrorDomain::kNetDb:
      // A name that does not resolve on the first try while the network is up: the
      // mirror is wrong, not the network.
      if (connection_.NeedsValidation() && IsNetworkReachable()) {
        return End(kStreamError | kStreamFatal);
      }
      return End(kStreamError);
    case net::ErrorDomain::kSsl: {
      const int code = error.code;
      const bool askable = code == net::tls_code::kUnknownRoot || code == net::tls_code::kUnknownIssuer ||
                           code == net::tls_code::kExpired || code == net::tls_code::kHostNameMismatch;
      if (!askable || AcceptedForHost(connection_.Download(), connection_.URL().Absolute())) {
        connection_.Log("SSL setup failure");
        return End(kStreamError);
      }
      connection_.SetTimeout(kQuestionTimeout);
      const auto& chain = stream_->PeerCertificates();
      connection_.SetPeerCertificates(std::vector<net::Certificate>(chain.begin(), chain.end()));
      return End(kStreamError | kStreamUnknownRoot);
    }
    default:
      return End(kStreamError);
  }
}

}  // namespace

std::unique_ptr<TransportConnection> HttpTransport::Open(DownloadConnection& connection) {
  const values::Url url = connection.URL().Absolute();
  if (!url.Host()) {
    connection.SetError({net::ErrorDomain::kMacOsStatus, -50});
    return nullptr;
  }
  auto http = std::make_unique<HttpConnection>(connection);
  if (!http->Start()) return nullptr;
  return http;
}

void RegisterHttpTransport() {
  auto transport = std::make_shared<HttpTransport>();
  DownloadTransports().Register("http", transport);
  DownloadTransports().Register("https", transport);
}

}  // namespace engine
