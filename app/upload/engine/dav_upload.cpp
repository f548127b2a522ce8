#include "app/upload/engine/dav_upload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "app/engine/network/accepted_certificates.h"
#include "app/upload/contexts/propfind_readers.h"
#include "app/upload/events/upload_event_codes.h"
#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/net/http_message.h"
#include "platform/net/http_read_stream.h"
#include "platform/net/proxy_settings.h"
#include "platform/net/tcp_stream.h"
#include "platform/net/tls_stream.h"
#include "platform/values/url.h"
#include "platform/values/url_escape.h"

namespace upload {

// One item of a folder upload, in the order the walk sends them.
struct DAVWalkItem {
  std::string localPath;
  std::string relativePath;  // from the folder holding the uploaded folder: begins with its name
  bool isFolder = false;
  std::int64_t size = 0;
};

struct DAVUploadState {
  std::vector<DAVWalkItem> items;  // a folder upload's walk; empty before the first step
  std::size_t next = 0;
  bool walked = false;
  std::string url;  // of the item being sent
  std::shared_ptr<net::HttpAuthentication> proxyAuthentication;
  int challengesInARow = 0;
};

struct DAVConnection {
  // MKCOL and PROPFIND.
  std::shared_ptr<net::HttpReadStream> request;
  bool headHandled = false;
  bool certificateChecked = false;
  std::int64_t expectedReplyLength = 0;
  std::string replyBody;
  // PUT.
  std::unique_ptr<net::ByteStream> socket;
  net::TlsStream* tls = nullptr;
  std::string pending;  // request head bytes not yet written
  net::HttpHeadParser parser;
  bool putHeadHandled = false;
  std::optional<files::FileHandle> file;
  std::vector<std::uint8_t> buffer;
  std::size_t bufferAt = 0, bufferEnd = 0;
};

namespace {

constexpr double kDroppedRetry = 10;
constexpr double kBusyRetry = 20;
constexpr std::size_t kBodyBlock = 65536;
constexpr int kWriteRoundsPerTurn = 4;
constexpr int kMaxChallengesInARow = 6;
// No PROPFIND reply about one resource comes near this; a server sending without end
// must not fill the worker's memory.
constexpr std::size_t kMaxReplyBody = 1 << 20;
constexpr std::string_view kForceEscaped = "%;?#";

bool Secure(const UploadRecord& r, const values::Url& url) {
  return r.info.hostType == kHostTypeSecureWebDAV || url.Scheme() == "https";
}

std::string WithoutLineBreaks(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch != '\r' && ch != '\n') out += ch;
  }
  return out;
}

std::string Escaped(const std::string& text) {
  return values::PercentEscape(text, {}, kForceEscaped).value_or(text);
}

std::string SchemeFor(std::int32_t hostType) {
  return hostType == kHostTypeSecureWebDAV ? "https" : "http";
}

std::string UserOf(const UploadRecord& r) {
  return r.info.user;
}

void Fail(UploadRecord& r, const std::string& line = {}) {
  if (!line.empty()) PostUploadLog(r, line, LogStyle::kBold);
  EndUpload(r, kUploadEndFailed);
}

// UploadStep again after a reply; a step that cannot start ends the upload with the code
// it left.
void StepAgain(UploadRecord& r) {
  UploadCloseStreams(r);
  const int result = UploadStep(r);
  if (result == kStepCannotStart && !r.quitting) EndUpload(r, kUploadEndFailed);
}

void PostCertificateQuestion(UploadRecord& r, const net::CertificateChain& chain,
                             const net::StreamError& error, bool changed) {
  auto event =
      MakeUploadEvent(r, changed ? kUploadEventCertificateChanged : kUploadEventCertificateUntrusted);
  values::Array certificates;
  for (const auto& certificate : chain)
    certificates.push_back(values::Value(values::Data{certificate.Der()}));
  event->SetValue(upload_params::kCertificates, values::Value(std::move(certificates)));
  event->SetValue(
      upload_params::kStreamError,
      values::Value(values::Array{values::Value(static_cast<int>(error.domain)), values::Value(error.code)}));
  PostUploadEvent(std::move(event));
}

// False when an accepted certificate is stored for the host and the server showed
// another: the question is posted and the upload ends.
bool CertificateStillAccepted(UploadRecord& r, const values::Url& url, const net::CertificateChain& chain) {
  if (chain.empty()) return true;
  auto accepted = engine::CopyAcceptedCertificateData(url);
  if (!accepted || *accepted == chain.front().Der()) return true;
  PostCertificateQuestion(r, chain, {net::ErrorDomain::kSsl, net::tls_code::kBadCertificate}, true);
  Fail(r);
  return false;
}

void PostFileExistsQuestion(UploadRecord& r, const DAVFileInfo& info) {
  auto event = MakeUploadEvent(r, kUploadEventFileExists);
  event->SetInt64(upload_params::kRemoteSize, r.resumeOffset);
  if (info.lastModified) event->SetValue(upload_params::kRemoteDate, values::Value(*info.lastModified));
  event->SetString(upload_params::kRemotePath, r.currentFolder);
  event->SetBool(upload_params::kIsFolder, r.isFolder);
  event->SetString(upload_params::kLocalPath, r.filePath);
  const auto slash = r.filePath.rfind('/');
  event->SetString(upload_params::kFileName,
                   slash == std::string::npos ? r.filePath : r.filePath.substr(slash + 1));
  if (auto catalog = files::GetCatalogInfo(files::FileRef(r.filePath), files::LinkMode::kFollow);
      catalog.ok()) {
    event->SetValue(upload_params::kLocalDate, values::Value(catalog->modification_time.ToDate()));
    event->SetInt64(upload_params::kFileSize, static_cast<std::int64_t>(catalog->size));
  }
  PostUploadEvent(std::move(event));
}

// The authentication slot a 401 (server) or 407 (proxy) reply speaks about.
void AnswerChallenge(UploadRecord& r, DAVUploadState& s, const net::HttpResponseHead& head) {
  if (++s.challengesInARow > kMaxChallengesInARow) return EndUpload(r, kUploadEndAuthRefused);
  std::shared_ptr<net::HttpAuthentication>& auth =
      head.StatusCode() == 407 ? s.proxyAuthentication : r.serverAuthentication;
  // The stale test reads the server's challenge for both kinds, as the replies carry it.
  if (auto challenge = head.Header("WWW-Authenticate");
      challenge && net::HttpAuthentication::ChallengeIsStale(*challenge))
    auth.reset();
  if (!auth) {
    UploadCloseStreams(r);
    auth = net::HttpAuthentication::CreateFromResponse(head);
    if (!auth || !auth->IsValid()) return EndUpload(r, kUploadEndAuthRefused);
    return StepAgain(r);
  }
  if (!auth->IsValid()) {
    PostUploadEvent(MakeUploadEvent(r, kUploadEventAuthPasswordRefused));
    return EndUpload(r, kUploadEndAuthRefused);
  }
  StepAgain(r);
}

void ApplyCredentials(UploadRecord& r, DAVUploadState& s, net::HttpRequest& request) {
  if (r.serverAuthentication) r.serverAuthentication->ApplyCredentials(request, UserOf(r), r.info.password);
  if (s.proxyAuthentication) {
    // Proxy credentials are those of the proxy settings, not of the destination.
    const auto proxies = net::ProxySettingsSource::Shared().Current();
    if (auto proxy = proxies.ProxyFor(request.Url()))
      s.proxyAuthentication->ApplyCredentials(request, proxy->user, proxy->password);
  }
}

// The PROPFIND answer is in: the size of the server's copy decides.
void HandleFileInfo(UploadRecord& r, DAVConnection& c) {
  const DAVFileInfo info = ParseDAVFileInfo(
      std::span(reinterpret_cast<const std::uint8_t*>(c.replyBody.data()), c.replyBody.size()));
  r.resumeOffset = info.contentLength;
  if (r.resumeOffset > 0) {
    if (r.pendingAnswer != kConflictNone) {
      // The connection dropped while the file went out: go on from the server's end.
      const std::int32_t answer = r.pendingAnswer;
      r.pendingAnswer = kConflictNone;
      return DAVApplyConflictAnswer(r, answer);
    }
    if (r.answerForAll != kConflictNone) return DAVApplyConflictAnswer(r, r.answerForAll);
    PostFileExistsQuestion(r, info);
    r.transferStarted = false;
    UploadCloseStreams(r);
    return;
  }
  r.resumeOffset = 0;
  r.step = kDAVStepPut;
  StepAgain(r);
}

void HandleRequestHead(UploadRecord& r, DAVUploadState& s, DAVConnection& c,
                       const net::HttpResponseHead& head) {
  c.headHandled = true;
  PostUploadLog(r, "\r" + head.Serialized(), LogStyle::kFixedPitch);
  c.expectedReplyLength = 0;
  if (auto length = head.Header("Content-Length")) c.expectedReplyLength = std::atoll(length->c_str());
  const int status = head.StatusCode();
  if (status != 401 && status != 407) s.challengesInARow = 0;
  switch (status) {
    case 201:
    case 405:
      if (r.step == kDAVStepMakeCollection && r.isFolder) {
        // The folder is there now (or was already).
        r.done = true;
        return StepAgain(r);
      }
      break;
    case 207:
      return;  // the body follows
    case 401:
    case 407:
      return AnswerChallenge(r, s, head);
    case 404:
      r.resumeOffset = 0;
      r.step = kDAVStepPut;
      r.transferStarted = false;
      return StepAgain(r);
    case 409:
      PostUploadEvent(MakeUploadEvent(r, kUploadEventFolderMissing));
      return Fail(r);
    default:
      break;
  }
  // 200 or 204 to PROPFIND or MKCOL, or any other answer: nothing this upload can go on
  // from (waiting would hang it).
  Fail(r, "\rThe server's reply cannot be used\r");
}

void OnRequestEvent(UploadRecord& r, DAVConnection& c, net::StreamEvent event) {
  if (r.quitting || r.davConnection.get() != &c || !r.davState) return;
  DAVUploadState& s = *r.davState;
  net::HttpReadStream& stream = *c.request;
  const values::Url url = stream.Request().Url();
  if (event == net::kEventError) {
    const net::StreamError error = stream.Error();
    if (error.domain == net::ErrorDomain::kSsl &&
        (error.code == net::tls_code::kUnknownRoot || error.code == net::tls_code::kUnknownIssuer ||
         error.code == net::tls_code::kExpired || error.code == net::tls_code::kHostNameMismatch)) {
      PostCertificateQuestion(r, stream.PeerCertificates(), error, false);
    }
    if (c.headHandled && r.step == kDAVStepPropFind) PostUploadLog(r, "\rPROPFind failed\r", LogStyle::kBold);
    return Fail(r);
  }
  if (!c.certificateChecked && Secure(r, url)) {
    c.certificateChecked = true;
    if (!CertificateStillAccepted(r, url, stream.PeerCertificates())) return;
  }
  if (!c.headHandled) {
    const net::HttpResponseHead* head = stream.ResponseHead();
    if (head == nullptr) {
      if (event == net::kEventEnd) Fail(r, "\rThe server sent no reply\r");
      return;
    }
    HandleRequestHead(r, s, c, *head);
    if (r.quitting || r.davConnection.get() != &c) return;
  }
  if (event == net::kEventHasBytes) {
    char piece[1024];
    std::ptrdiff_t n = 0;
    while ((n = stream.Read(piece, sizeof piece)) > 0) {
      c.replyBody.append(piece, static_cast<std::size_t>(n));
      if (c.replyBody.size() > kMaxReplyBody) return Fail(r, "\rPROPFind failed\r");
    }
    if (n == net::kStreamFailed) return Fail(r, "\rPROPFind failed\r");
    return;
  }
  if (event == net::kEventEnd) {
    PostUploadLog(r, c.replyBody, LogStyle::kFixedPitch);
    if (r.step == kDAVStepPropFind) return HandleFileInfo(r, c);
    Fail(r, "\rThe server's reply cannot be used\r");
  }
}

int OpenRequest(UploadRecord& r, const std::string& method) {
  DAVUploadState& s = *r.davState;
  auto url = values::Url::Create(s.url);
  if (!url || !url->Host()) {
    PostUploadLog(r, "\rcould not form url", LogStyle::kBold);
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  net::HttpRequest request(method, *url);
  request.SetHeader("User-Agent", "Truvane/4.1");
  if (method == "PROPFIND") {
    request.SetHeader("Depth", "0");
    request.SetHeader("Content-Type", "text/xml");
    request.SetBody(kDAVPropFindBody);
  }
  ApplyCredentials(r, s, request);
  PostUploadLog(r, "\r" + request.HeadForLog(), LogStyle::kFixedPitch);
  auto c = std::make_shared<DAVConnection>();
  c->request = std::make_shared<net::HttpReadStream>(std::move(request));
  c->request->SetAutoRedirect(false);
  c->request->SetKeepAlive(true);
  if (Secure(r, *url) && engine::CopyAcceptedCertificateData(*url)) c->request->SetValidateChain(false);
  DAVConnection* raw = c.get();
  c->request->SetClient(net::kEventHasBytes | net::kEventEnd | net::kEventError,
                        [&r, raw](net::StreamEvent event) { OnRequestEvent(r, *raw, event); });
  r.davConnection = c;
  if (!c->request->Open(r.loop)) {
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  return kStepUnderWay;
}

// ---- PUT

void Dropped(UploadRecord& r, const net::StreamError& error) {
  if (auto text = RetryableErrorText(error)) {
    PostUploadLog(r, *text);
    PostUploadLog(r, "\rServer dropped connection, retrying in 10 seconds\r\r");
    // The retry asks the server's size again and goes on from there.
    r.pendingAnswer = kConflictResume;
    ScheduleRetry(r, kDroppedRetry);
  } else {
    Fail(r);
  }
}

bool FlushHead(UploadRecord& r, DAVConnection& c) {
  while (!c.pending.empty()) {
    const std::ptrdiff_t n = c.socket->Write(c.pending.data(), c.pending.size());
    if (n == net::kStreamWouldBlock) return true;
    if (n <= 0) {
      Dropped(r, c.socket->Error());
      return false;
    }
    c.pending.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

void SendBody(UploadRecord& r, DAVConnection& c) {
  if (!c.pending.empty() || !r.transferStarted) return;
  for (int round = 0; r.resumeOffset + r.bytesSent < r.fileSize; ++round) {
    if (round == kWriteRoundsPerTurn) {
      if (!r.sendContinuationPending) {
        r.sendContinuationPending = true;
        r.loop->Perform([&r, connection = &c] {
          r.sendContinuationPending = false;
          if (r.davConnection.get() == connection && !r.quitting) SendBody(r, *connection);
        });
      }
      return;
    }
    if (c.bufferAt == c.bufferEnd) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(
          static_cast<std::int64_t>(c.buffer.size()), r.fileSize - r.resumeOffset - r.bytesSent));
      const std::size_t grant = UploadThrottleRequest(r, want);
      auto got = c.file->ReadAt(static_cast<std::uint64_t>(r.resumeOffset + r.bytesSent),
                                std::span<std::uint8_t>(c.buffer.data(), grant));
      if (!got.ok() || *got == 0) {
        UploadThrottleGiveBack(grant, 0);
        return Fail(r, "\rThe file could not be read\r");
      }
      c.bufferAt = 0;
      c.bufferEnd = *got;
      UploadThrottleGiveBack(grant, *got);
    }
    const std::ptrdiff_t n = c.socket->Write(c.buffer.data() + c.bufferAt, c.bufferEnd - c.bufferAt);
    if (n == net::kStreamWouldBlock) return;
    if (n <= 0) return Dropped(r, c.socket->Error());
    c.bufferAt += static_cast<std::size_t>(n);
    r.bytesSent += n;
    r.rateBytes += n;
  }
}

// The reply to the PUT (the server may answer before the body is all out).
void HandlePutHead(UploadRecord& r, DAVConnection& c, const net::HttpResponseHead& head) {
  c.putHeadHandled = true;
  PostUploadLog(r, "\r" + head.Serialized(), LogStyle::kFixedPitch);
  DAVUploadState& s = *r.davState;
  const int status = head.StatusCode();
  if (status != 401 && status != 407) s.challengesInARow = 0;
  switch (status) {
    case 200:
    case 201:
    case 204:
      if (r.resumeOffset + r.bytesSent < r.fileSize) {
        PostUploadLog(r, "\rServer dropped connection, retrying in 10 seconds\r\r");
        r.pendingAnswer = kConflictResume;
        ScheduleRetry(r, kDroppedRetry);
        return;
      }
      if (!r.isFolder) return EndUpload(r, kUploadEndFinished);
      r.done = true;
      return StepAgain(r);
    case 401:
    case 407:
      r.transferStarted = false;
      return AnswerChallenge(r, s, head);
    case 421:
      PostUploadLog(r, "\rServer is busy, retrying in 20 seconds\r\r");
      ScheduleRetry(r, kBusyRetry);
      return;
    default:
      Fail(r);
  }
}

void OnPutEvent(UploadRecord& r, DAVConnection& c, net::StreamEvent event) {
  if (r.quitting || r.davConnection.get() != &c) return;
  if (event == net::kEventOpenCompleted) {
    if (c.tls) {
      const auto url = values::Url::Create(r.davState->url);
      if (url && !CertificateStillAccepted(r, *url, c.tls->PeerCertificates())) return;
    }
    return;
  }
  if (event == net::kEventCanAcceptBytes) {
    if (!FlushHead(r, c)) return;
    SendBody(r, c);
    return;
  }
  if (event == net::kEventHasBytes) {
    char buf[4096];
    const std::ptrdiff_t n = c.socket->Read(buf, sizeof buf);
    if (n == net::kStreamWouldBlock) return;
    if (n > 0) {
      if (c.putHeadHandled) return;  // the reply's body: logged only as its head
      c.parser.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
      if (c.parser.state() == net::HttpHeadParser::State::kError) return Fail(r);
      if (c.parser.state() != net::HttpHeadParser::State::kDone) return;
      return HandlePutHead(r, c, c.parser.TakeHead());
    }
    event = n == 0 ? net::kEventEnd : net::kEventError;
  }
  if (event == net::kEventEnd || event == net::kEventError) {
    if (c.putHeadHandled) return;
    const net::StreamError error = c.socket->Error();
    if (c.tls && error.domain == net::ErrorDomain::kSsl &&
        (error.code == net::tls_code::kUnknownRoot || error.code == net::tls_code::kUnknownIssuer ||
         error.code == net::tls_code::kExpired || error.code == net::tls_code::kHostNameMismatch)) {
      PostCertificateQuestion(r, c.tls->PeerCertificates(), error, false);
      return Fail(r);
    }
    Dropped(r, error.IsError()
                   ? error
                   : net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kConnectionReset});
  }
}

int SendPut(UploadRecord& r) {
  DAVUploadState& s = *r.davState;
  auto url = values::Url::Create(s.url);
  if (!url || !url->Host()) {
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  const bool secure = Secure(r, *url);
  net::HttpRequest request("PUT", *url);
  request.SetHeader("User-Agent", "Truvane/5.0");
  ApplyCredentials(r, s, request);
  char number[96];
  std::snprintf(number, sizeof number, "%lld", static_cast<long long>(r.fileSize - r.resumeOffset));
  request.SetHeader("Content-Length", number);
  if (r.resumeOffset > 0) {
    std::snprintf(number, sizeof number, "bytes %lld-%lld/*", static_cast<long long>(r.resumeOffset),
                  static_cast<long long>(r.fileSize - 1));
    request.SetHeader("Content-Range", number);
  }
  request.SetHeader("Connection", "close");
  request.SetHeader("Host", request.HostHeaderValue());
  r.bytesSent = 0;
  r.sampleCount = 0;
  auto c = std::make_shared<DAVConnection>();
  auto file = files::FileHandle::Open(files::FileRef(r.filePath), files::kOpenRead);
  if (!file.ok()) {
    std::fprintf(stderr, "bailing\n");
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  c->file.emplace(std::move(*file));
  c->buffer.resize(kBodyBlock);
  c->pending = request.SerializeHead();
  PostUploadLog(r, "\r" + request.HeadForLog(), LogStyle::kFixedPitch);
  const int port = url->Port() > 0 ? url->Port() : (secure ? 443 : 80);
  auto tcp = net::TcpStream::Connect(*url->Host(), port);
  if (!tcp) {
    std::fprintf(stderr, "bailing\n");
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  if (secure) {
    net::TlsTrust trust;
    auto accepted = engine::CopyAcceptedCertificates(*url);
    trust.validate_chain = accepted.empty();
    trust.trusted_roots = std::move(accepted);
    auto tls = net::TlsStream::CreateClient(std::move(tcp), *url->Host(), std::move(trust));
    if (!tls) {
      r.step = kUploadEndFailed;
      return kStepCannotStart;
    }
    c->tls = tls.get();
    c->socket = std::move(tls);
  } else {
    c->socket = std::move(tcp);
  }
  DAVConnection* raw = c.get();
  c->socket->SetClient(net::kEventAll, [&r, raw](net::StreamEvent event) { OnPutEvent(r, *raw, event); });
  r.davConnection = c;
  r.transferStarted = true;
  if (!c->socket->Open(r.loop)) {
    std::fprintf(stderr, "bailing\n");
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  return kStepUnderWay;
}

// ---- the walk

void Walk(const std::filesystem::path& folder, const std::string& relative, std::vector<DAVWalkItem>& out) {
  std::error_code ec;
  std::vector<std::filesystem::directory_entry> entries;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(*it);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    // Links are not followed: they would send files from outside the folder, or loop.
    if (entry.is_symlink(ec)) continue;
    const std::string rel = relative + "/" + name;
    if (entry.is_directory(ec)) {
      out.push_back({entry.path().string(), rel, true, 0});
      Walk(entry.path(), rel, out);
    } else if (entry.is_regular_file(ec)) {
      out.push_back({entry.path().string(), rel, false, static_cast<std::int64_t>(entry.file_size(ec))});
    }
  }
}

std::string LastComponent(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& rest) {
  return folder.ends_with('/') ? folder + rest : folder + "/" + rest;
}

std::string ItemURL(const UploadRecord& r, const std::string& path) {
  const std::string escaped = Escaped(path);
  if (r.info.hostType == kHostTypeIDisk) return r.info.host + escaped;
  return SchemeFor(r.info.hostType) + "://" + r.info.host + escaped;
}

int RunStep(UploadRecord& r) {
  switch (r.step) {
    case kDAVStepMakeCollection:
      return OpenRequest(r, "MKCOL");
    case kDAVStepPropFind:
      return OpenRequest(r, "PROPFIND");
    case kDAVStepPut:
      return SendPut(r);
    default:
      return kStepNothingLeft;
  }
}

}  // namespace

std::string UploadBuildDestinationURL(const std::string& host, const std::string& path,
                                      const std::string& name, std::int32_t hostType) {
  const std::string escapedName = Escaped(WithoutLineBreaks(name));
  const std::string escapedPath = Escaped(path);
  const std::string joined =
      escapedPath.ends_with('/') ? escapedPath + escapedName : escapedPath + "/" + escapedName;
  if (hostType == kHostTypeIDisk) return host + joined;
  return SchemeFor(hostType) + "://" + host + joined;
}

int DAVUploadStep(UploadRecord& r) {
  if (!r.davState) r.davState = std::make_shared<DAVUploadState>();
  DAVUploadState& s = *r.davState;
  r.currentFolder = r.info.uploadPath;
  if (!r.isFolder) {
    struct stat st {};
    if (::stat(r.info.filePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      PostUploadLog(r, "\rThe file could not be opened\r", LogStyle::kBold);
      r.step = kUploadEndFailed;
      return kStepCannotStart;
    }
    r.fileSize = st.st_size;
    r.filePath = r.info.filePath;
    s.url = UploadBuildDestinationURL(r.info.host, r.info.uploadPath, LastComponent(r.info.filePath),
                                      r.info.hostType);
    return RunStep(r);
  }
  if (!s.walked) {
    std::error_code ec;
    if (!std::filesystem::is_directory(r.rootFolder, ec)) {
      r.step = kUploadEndFailed;
      return kStepCannotStart;
    }
    Walk(r.rootFolder, LastComponent(r.rootFolder), s.items);
    s.walked = true;
    s.next = 0;
    r.done = false;
    r.fileSize = 0;
    r.bytesSent = 0;
    r.resumeOffset = 0;
    std::int64_t total = 0;
    for (const auto& item : s.items) total += item.size;
    auto event = MakeUploadEvent(r, kUploadEventProgress);
    event->SetInt64(upload_params::kFileSize, total);
    PostUploadEvent(std::move(event));
    r.step = kDAVStepMakeCollection;
    s.url = UploadBuildDestinationURL(r.info.host, r.info.uploadPath, LastComponent(r.rootFolder),
                                      r.info.hostType);
    return RunStep(r);
  }
  if (r.done) {
    r.bytesOfFinishedFiles += r.fileSize;
    r.bytesSent = 0;
    r.resumeOffset = 0;
    if (s.next >= s.items.size()) {
      EndUpload(r, kUploadEndFinished);
      return kStepNothingLeft;
    }
    const DAVWalkItem& item = s.items[s.next++];
    if (item.isFolder) {
      r.fileSize = 0;
      r.step = kDAVStepMakeCollection;
    } else {
      r.fileSize = item.size;
      r.step = kDAVStepPropFind;
      r.filePath = item.localPath;
    }
    r.currentFolder = JoinPath(r.info.uploadPath, item.relativePath);
    s.url = ItemURL(r, r.currentFolder);
    r.done = false;
  } else if (s.next > 0) {
    r.currentFolder = JoinPath(r.info.uploadPath, s.items[s.next - 1].relativePath);
  }
  return RunStep(r);
}

void DAVApplyConflictAnswer(UploadRecord& r, std::int32_t answer) {
  if (r.quitting) return;
  switch (answer) {
    case kConflictReplace:
      r.resumeOffset = 0;
      break;
    case kConflictResume:
      if (r.resumeOffset > r.fileSize) {
        // The server's copy is longer than the file: resuming it would corrupt it.
        return Fail(r, "\rThe file on the server is larger than this one and cannot be resumed\r");
      }
      if (r.resumeOffset == r.fileSize) {
        if (!r.isFolder) return EndUpload(r, kUploadEndFinished);
        r.done = true;
        return StepAgain(r);
      }
      break;
    case kConflictSkip:
      if (r.isFolder) {
        r.resumeOffset = 0;
        r.done = true;
        return StepAgain(r);
      }
      return EndUpload(r, kUploadEndCancelled);
    case kConflictStop:
      return EndUpload(r, kUploadEndCancelled);
    default:
      return;
  }
  r.step = kDAVStepPut;
  StepAgain(r);
}

void UploadSendDAVData(UploadRecord& r) {
  DAVConnection* c = r.davConnection.get();
  if (!c || !c->socket || r.quitting) return;
  if (!FlushHead(r, *c)) return;
  SendBody(r, *c);
}

void CloseDAVConnection(DAVConnection& c) {
  if (c.request) {
    c.request->SetClient(0, nullptr);
    c.request->Close();
  }
  if (c.socket) {
    c.socket->SetClient(0, nullptr);
    c.socket->Close();
  }
}

}  // namespace upload
