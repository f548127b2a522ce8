#include "app/upload/engine/peer_upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "app/engine/services/peer_session_service.h"
#include "app/upload/events/upload_event_codes.h"
#include "platform/net/http_message.h"
#include "platform/net/tcp_stream.h"
#include "platform/values/uuid.h"

namespace upload {

struct PeerConnection {
  std::unique_ptr<net::TcpStream> stream;
  std::string pending;  // request head bytes not yet written
  net::HttpHeadParser parser;
  bool post = false;
  bool headHandled = false;
  int file = -1;
  std::vector<std::uint8_t> buffer;
  std::size_t bufferAt = 0, bufferEnd = 0;
  std::unique_ptr<engine::PeerSessionCipher> cipher;
  std::string tail;  // the last bytes the receiver sent after its reply head
  ~PeerConnection() {
    if (file >= 0) ::close(file);
  }
};

namespace {

constexpr std::int32_t kStepStatus = kUploadStepConnect;
constexpr std::int32_t kStepPost = kUploadStepSend;
constexpr std::int32_t kStepBody = 3;
constexpr double kBusyRetry = 20;
constexpr double kDroppedRetry = 10;
constexpr double kSecondsFrom1970To2001 = 978307200.0;
constexpr std::size_t kBodyBlock = 65536;
constexpr int kWriteRoundsPerTurn = 4;
constexpr int kMaxChallengesInARow = 6;

std::string UidText(const UploadRecord& r) {
  const auto uuid = values::Uuid::Parse(r.info.uid);
  return uuid ? uuid->ToString() : r.info.uid;
}

void SplitHost(const std::string& host, std::string& name, int& port) {
  const auto colon = host.rfind(':');
  name = host.substr(0, colon);
  port = colon == std::string::npos ? 0 : std::atoi(host.c_str() + colon + 1);
}

std::string UserOf(const UploadRecord& r) {
  return r.info.user.empty() || r.info.user == "guest" ? std::string("Guest") : r.info.user;
}

void Dropped(UploadRecord& r, const net::StreamError& error) {
  if (auto text = RetryableErrorText(error)) {
    PostUploadLog(r, *text);
    PostUploadLog(r, "\rServer dropped connection, retrying in 10 seconds\r\r");
    ScheduleRetry(r, kDroppedRetry);
  } else {
    EndUpload(r, kUploadEndFailed);
  }
}

void Busy(UploadRecord& r) {
  PostUploadLog(r, "\rServer is busy, retrying in 20 seconds\r\r");
  ScheduleRetry(r, kBusyRetry);
}

// The receiver's key from a reply: false when the policy refuses it, or when there is no
// usable key and the host may not be used unenciphered.
bool TakeServerKey(UploadRecord& r, const net::HttpResponseHead& head) {
  auto& service = engine::PeerSessionServiceSlot::Get();
  std::string host;
  int port = 0;
  SplitHost(r.info.host, host, port);
  if (auto text = head.Header("X-Server-Public-Key")) {
    auto key = service.AcceptPeerKey(*text, host);
    if (!key) return false;
    r.serverKey = std::move(key);
    return true;
  }
  return r.serverKey || service.AllowUnsecuredConnection(host);
}

// Asks again in the same step after closing this connection.
void AskAgain(UploadRecord& r) {
  UploadCloseStreams(r);
  if (UploadStep(r) == kStepCannotStart) EndUpload(r, kUploadEndFailed);
}

// 499: the receiver wants a session key (or a fresh login); 401: a login. Both carry its key
// when it has one; a login already refused once is not tried again.
void AnswerChallenge(UploadRecord& r, const net::HttpResponseHead& head) {
  // A receiver that keeps refusing what it asked for would be asked again without end.
  if (++r.peerChallengesInARow > kMaxChallengesInARow) return EndUpload(r, kUploadEndFailed);
  const auto challenge = head.Header("WWW-Authenticate");
  const bool keyWanted = head.StatusCode() == 499;
  if (challenge && (keyWanted || net::HttpAuthentication::ChallengeIsStale(*challenge)))
    r.serverAuthentication.reset();
  if (!TakeServerKey(r, head)) return EndUpload(r, kUploadEndFailed);
  if (!keyWanted && r.serverAuthentication) {
    PostUploadEvent(MakeUploadEvent(r, kUploadEventAuthUserRefused));
    return EndUpload(r, kUploadEndFailed);
  }
  if (!r.serverAuthentication) r.serverAuthentication = net::HttpAuthentication::CreateFromResponse(head);
  if (!r.serverAuthentication) return EndUpload(r, kUploadEndFailed);
  AskAgain(r);
}

void HandleStatusReply(UploadRecord& r, const net::HttpResponseHead& head) {
  PostUploadLog(r, "\r" + head.Serialized());
  switch (head.StatusCode()) {
    case 403:
      PostUploadEvent(MakeUploadEvent(r, kUploadEventAuthPasswordRefused));
      EndUpload(r, kUploadEndAuthRefused);
      return;
    case 421:
      Busy(r);
      return;
    case 499:
    case 401:
      return AnswerChallenge(r, head);
    case 200: {
      r.peerChallengesInARow = 0;
      if (!TakeServerKey(r, head)) return EndUpload(r, kUploadEndFailed);
      r.resumeOffset = 0;
      if (auto range = head.Header("X-Content-Range")) {
        const auto offset = PeerResumeOffset(*range);
        if (!offset) return EndUpload(r, kUploadEndFailed);
        r.resumeOffset = *offset;
      }
      if (r.fileSize <= r.resumeOffset) return EndUpload(r, kUploadEndFinished);
      r.step = kStepPost;
      r.transferStarted = false;
      return AskAgain(r);
    }
    default:
      EndUpload(r, kUploadEndFailed);
  }
}

void SendBody(UploadRecord& r, PeerConnection& c);

void HandlePostReply(UploadRecord& r, PeerConnection& c, const net::HttpResponseHead& head) {
  r.transferStarted = true;
  PostUploadLog(r, "\r" + head.Serialized());
  switch (head.StatusCode()) {
    case 200:
      r.peerChallengesInARow = 0;
      r.step = kStepBody;
      SendBody(r, c);
      return;
    case 421:
      r.serverAuthentication.reset();
      Busy(r);
      return;
    case 499:
    case 401:
      return AnswerChallenge(r, head);
    default:
      EndUpload(r, kUploadEndFailed);
  }
}

// Writes what is waiting of the request head; false when the connection failed.
bool FlushHead(UploadRecord& r, PeerConnection& c) {
  while (!c.pending.empty()) {
    const std::ptrdiff_t n = c.stream->Write(c.pending.data(), c.pending.size());
    if (n == net::kStreamWouldBlock) return true;
    if (n <= 0) {
      Dropped(r, c.stream->Error());
      return false;
    }
    c.pending.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

void SendBody(UploadRecord& r, PeerConnection& c) {
  if (r.step != kStepBody) return;
  for (int round = 0; r.resumeOffset + r.bytesSent < r.fileSize; ++round) {
    if (round == kWriteRoundsPerTurn) {
      // The socket still takes bytes: go on in the next turn of the loop, so that a stop
      // request (and everything else of the worker) is served in between.
      if (!r.sendContinuationPending) {
        r.sendContinuationPending = true;
        r.loop->Perform([&r, connection = &c] {
          r.sendContinuationPending = false;
          if (r.peerConnection.get() == connection && !r.quitting) SendBody(r, *connection);
        });
      }
      return;
    }
    if (c.bufferAt == c.bufferEnd) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(
          static_cast<std::int64_t>(c.buffer.size()), r.fileSize - r.resumeOffset - r.bytesSent));
      const std::size_t grant = UploadThrottleRequest(r, want);
      const ssize_t n = ::pread(c.file, c.buffer.data(), grant, r.resumeOffset + r.bytesSent);
      if (n <= 0) {
        UploadThrottleGiveBack(grant, 0);
        PostUploadLog(r, "\rThe file could not be read\r", LogStyle::kBold);
        return EndUpload(r, kUploadEndFailed);
      }
      if (c.cipher) c.cipher->Apply(c.buffer.data(), static_cast<std::size_t>(n));
      c.bufferAt = 0;
      c.bufferEnd = static_cast<std::size_t>(n);
      UploadThrottleGiveBack(grant, static_cast<std::size_t>(n));
    }
    const std::ptrdiff_t n = c.stream->Write(c.buffer.data() + c.bufferAt, c.bufferEnd - c.bufferAt);
    if (n == net::kStreamWouldBlock) return;
    if (n <= 0) return Dropped(r, c.stream->Error());
    c.bufferAt += static_cast<std::size_t>(n);
    r.bytesSent += n;
    r.rateBytes += n;
  }
  // All sent: the receiver closes once it has the last byte.
  c.stream->ShutdownWriting();
}

void OnEvent(UploadRecord& r, PeerConnection& c, net::StreamEvent event) {
  if (r.quitting || r.peerConnection.get() != &c) return;
  if (event == net::kEventCanAcceptBytes) {
    if (!FlushHead(r, c)) return;
    if (c.headHandled) SendBody(r, c);
    return;
  }
  if (event == net::kEventHasBytes) {
    char buf[8192];
    const std::ptrdiff_t n = c.stream->Read(buf, c.headHandled ? 256 : sizeof buf);
    if (n == net::kStreamWouldBlock) return;
    if (n > 0) {
      std::string_view bytes(buf, static_cast<std::size_t>(n));
      if (!c.headHandled) {
        const std::size_t taken = c.parser.Feed(bytes);
        bytes.remove_prefix(taken);
        if (c.parser.state() == net::HttpHeadParser::State::kError) return EndUpload(r, kUploadEndFailed);
        if (c.parser.state() != net::HttpHeadParser::State::kDone) return;
        c.headHandled = true;
        const net::HttpResponseHead head = c.parser.TakeHead();
        if (c.post) {
          HandlePostReply(r, c, head);
        } else {
          HandleStatusReply(r, head);
          return;
        }
        if (r.quitting || r.peerConnection.get() != &c) return;
      }
      c.tail = (c.tail + std::string(bytes)).substr(0, 512);
      if (c.tail.find(kPeerAbortMarker) != std::string::npos) {
        r.abortedByPeer = true;
        return EndUpload(r, kUploadEndAbortedByPeer);
      }
      if (c.tail.size() > 256) c.tail.erase(0, c.tail.size() - 256);
      return;
    }
    event = n == 0 ? net::kEventEnd : net::kEventError;
  }
  if (event == net::kEventEnd || event == net::kEventError) {
    if (c.post && c.headHandled && r.resumeOffset + r.bytesSent >= r.fileSize) {
      return EndUpload(r, kUploadEndFinished);
    }
    if (!c.headHandled && event == net::kEventEnd && !c.post) return EndUpload(r, kUploadEndFailed);
    Dropped(r, c.stream->Error());
  }
}

int OpenRequest(UploadRecord& r, net::HttpRequest request, bool post) {
  std::string host;
  int port = 0;
  SplitHost(r.info.host, host, port);
  if (host.empty() || port <= 0) return kStepCannotStart;
  if (r.serverAuthentication &&
      !r.serverAuthentication->ApplyCredentials(request, UserOf(r), r.info.password))
    return kStepCannotStart;
  auto c = std::make_shared<PeerConnection>();
  c->post = post;
  if (post) {
    c->file = ::open(r.info.filePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (c->file < 0) return kStepCannotStart;
    c->buffer.resize(kBodyBlock);
  }
  c->pending = request.SerializeHead();
  PostUploadLog(r, "\r" + c->pending);
  c->stream = net::TcpStream::Connect(host, port);
  if (!c->stream) return kStepCannotStart;
  PeerConnection* raw = c.get();
  c->stream->SetClient(net::kEventHasBytes | net::kEventCanAcceptBytes | net::kEventEnd | net::kEventError,
                       [&r, raw](net::StreamEvent event) { OnEvent(r, *raw, event); });
  r.peerConnection = c;
  if (!c->stream->Open(r.loop)) return kStepCannotStart;
  return kStepUnderWay;
}

int SendStatusRequest(UploadRecord& r) {
  struct stat st {};
  if (::stat(r.info.filePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return kStepCannotStart;
  r.fileSize = st.st_size;
  auto url = values::Url::Create("http://" + r.info.host + "/uploadStatus?" + UidText(r));
  if (!url) return kStepCannotStart;
  net::HttpRequest request("GET", *url);
  const std::string name = r.info.filePath.substr(r.info.filePath.rfind('/') + 1);
  char number[64];
  request.SetHeader("X-Tr-Filename", PeerFileName(name));
  std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(st.st_size));
  request.SetHeader("X-Tr-Filesize", number);
  request.SetHeader("X-Tr-Resource-Filesize", "0");
  // Linux keeps no creation date that every file system has: the modification date stands for both.
  const double modified =
      static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9 - kSecondsFrom1970To2001;
  std::snprintf(number, sizeof number, "%.2lf", modified);
  request.SetHeader("X-Tr-Creation-Date", number);
  request.SetHeader("X-Tr-Modification-Date", number);
  request.SetHeader("X-Tr-Type", "0");
  request.SetHeader("X-Tr-Creator", "0");
  request.SetHeader("X-Tr-Finderflags", "0");
  std::snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(st.st_mode & 07777));
  request.SetHeader("X-Tr-Mode", number);
  return OpenRequest(r, std::move(request), false);
}

int SendPost(UploadRecord& r) {
  auto url = values::Url::Create("http://" + r.info.host + "/" + UidText(r));
  if (!url) return kStepCannotStart;
  net::HttpRequest request("POST", *url);
  char number[64];
  std::snprintf(number, sizeof number, "%lld-", static_cast<long long>(r.resumeOffset));
  request.SetHeader("Content-Range", number);
  request.SetHeader("Content-Type", "application/octet-stream");
  std::snprintf(number, sizeof number, "%lld", static_cast<long long>(r.fileSize - r.resumeOffset));
  request.SetHeader("Content-Length", number);
  r.bytesSent = 0;
  r.sampleCount = 0;
  std::unique_ptr<engine::PeerSessionCipher> cipher;
  if (r.serverKey) {
    std::string keyText;
    cipher = engine::PeerSessionServiceSlot::Get().CreateSession(r.serverKey, keyText);
    if (cipher) request.SetHeader("X-Session-Key", keyText);
  }
  const int result = OpenRequest(r, std::move(request), true);
  if (result == kStepUnderWay) r.peerConnection->cipher = std::move(cipher);
  return result;
}

}  // namespace

void ClosePeerConnection(PeerConnection& c) {
  if (c.stream) {
    c.stream->SetClient(0, nullptr);
    c.stream->Close();
  }
}

int PeerUploadStep(UploadRecord& r) {
  switch (r.step) {
    case kStepStatus:
      return SendStatusRequest(r);
    case kStepPost:
      return SendPost(r);
    default:
      return kStepNothingLeft;
  }
}

std::optional<std::int64_t> PeerResumeOffset(const std::string& contentRange) {
  if (contentRange.size() > 31) return 0;
  long long offset = 0;
  if (std::sscanf(contentRange.c_str(), "0-%lld", &offset) != 1) return std::nullopt;
  return offset < 0 ? 0 : offset;
}

std::string PeerFileName(const std::string& name) {
  std::string out;
  for (char ch : name) {
    if (ch != '\r' && ch != '\n') out += ch;
  }
  return out;
}

}  // namespace upload
