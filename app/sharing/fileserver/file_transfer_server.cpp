#include "app/sharing/fileserver/file_transfer_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/crypto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/sharing/crypto/server_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/fileserver/transfer_digest.h"
#include "app/sharing/fileserver/transfer_request_head.h"
#include "app/sharing/fileserver/transfer_send_limiter.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/util/desktop/notification_bridges.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"
#include "platform/runtime/task.h"
#include "platform/runtime/unique_fd.h"

namespace sharing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 4096;
constexpr std::size_t kFirstBufferSize = 32768;
constexpr std::size_t kBufferGrowth = 16384;
constexpr std::size_t kMaxBufferSize = 131072;
constexpr std::size_t kMaxUIDText = 31;
constexpr std::size_t kMaxSessionKeyText = 279;
constexpr std::size_t kRangeTextLength = 63;
constexpr auto kStopWait = std::chrono::seconds(5);

struct Connection {
  std::uint64_t id = 0;
  int fd = -1;
};

std::string PeerAddress(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET) {
    return "Unknown";
  }
  char text[INET_ADDRSTRLEN] = {};
  return ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) ? std::string(text) : std::string("Unknown");
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The last path component of a request-target, without its query.
std::string LastPathComponent(std::string_view target) {
  target = target.substr(0, target.find_first_of("?#"));
  const std::size_t slash = target.rfind('/');
  return std::string(slash == std::string_view::npos ? target : target.substr(slash + 1));
}

// A file name as it may stand between the quotes of Content-Disposition: no line breaks
// (they would end the header and let a name inject others), no quotes or backslashes.
std::string DispositionName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '\r' || c == '\n' || c == '\0') continue;
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

std::string TransferStatusReply(int code) {
  switch (code) {
    case 400:
      return "HTTP/1.1 400 Invalid request\r\n\r\n<html><body><h1>400 Invalid Request</h1></body></html>";
    case 403:
      return "HTTP/1.1 403 Forbidden\r\n\r\n<html><body><h1>403 Forbidden</h1></body></html>";
    case 404:
      return "HTTP/1.1 404 File Not Found\r\n\r\n<html><body><h1>404 File Not Found</h1></body></html>";
    case 421:
      return "HTTP/1.1 421 Server Busy\r\n\r\n<html><body><h1>421 Server Busy</h1>Please try again "
             "later</body></html>";
    default:
      return "HTTP/1.1 500 internal error\r\n\r\n<html><body><h1>500 Internal Error</h1></body></html>";
  }
}

std::string TransferAuthChallengeReply(bool stale, const std::string& publicKey) {
  if (publicKey.empty()) return TransferStatusReply(500);
  return "HTTP/1.1 401 Unauthorised\r\nWWW-Authenticate: Digest realm=\"trdl_realm\", nonce=\"" +
         MakeTransferNonce(UpTimeNanoseconds()) + "\"" + (stale ? ", stale=\"true\"" : "") +
         "\r\nX-Server-Public-Key: " + publicKey +
         "\r\n\r\n<html><body><h1>401 Unauthorised</h1></body></html>";
}

std::string TransferBadSessionReply(const std::string& publicKey) {
  if (publicKey.empty()) return TransferStatusReply(500);
  return "HTTP/1.1 499 Bad session\r\nWWW-Authenticate: Digest realm=\"trdl_realm\", nonce=\"" +
         MakeTransferNonce(UpTimeNanoseconds()) + "\"\r\nX-Server-Public-Key: " + publicKey +
         "\r\n\r\n<html><body><h1>499 Bad Session key</h1>No session key was found in the request, and this "
         "servers requires a valid key</body></html>";
}

std::int64_t TransferRangeStart(const std::string& range) {
  const std::string text = range.substr(0, kRangeTextLength);
  const std::size_t at = text.find("bytes=");
  if (at == std::string::npos) return 0;
  long long start = 0;
  if (std::sscanf(text.c_str() + at + 6, "%lld", &start) != 1 || start < 0) return 0;
  return start;
}

struct FileTransferServer::State {
  FileTransferServerOptions options;
  runtime::UniqueFd listener;
  runtime::UniqueFd stop;  // an eventfd: readable once the server stops, for every task
  std::uint16_t port = 0;
  std::shared_ptr<runtime::Task> listenTask;

  std::mutex mutex;  // guards what follows
  std::condition_variable allGone;
  std::list<Connection> connections;
  std::uint64_t nextID = 1;
  bool stopping = false;

  TransferSendLimiter sendLimiter{std::chrono::steady_clock::now()};
  std::atomic<std::int64_t> sendRate{-1};  // the rate last given to the limiter

  std::mutex downloadsMutex;  // the download-servers region
  std::int32_t runningDownloads = 0;
  std::uint32_t nextDownloadID = 1;
};

namespace {

using State = FileTransferServer::State;

// One connection's socket, with the time-outs and the stop of the server.
class Wire {
 public:
  Wire(State& s, int fd) : s_(s), fd_(fd) {}

  // Waits for `events`; false on stop, time-out or error.
  bool Wait(short events) {
    const auto deadline = Clock::now() + s_.options.idleTimeout;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd fds[2] = {{fd_, events, 0}, {s_.stop.get(), POLLIN, 0}};
      const int ready = ::poll(fds, 2, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0 || (fds[1].revents & POLLIN)) return false;
      if (fds[0].revents & (POLLERR | POLLNVAL)) return false;
      if (fds[0].revents) return true;
    }
  }

  // Writes all of it; false when the peer went away, stopped reading or the server stops.
  bool WriteAll(const char* bytes, std::size_t length) {
    while (length > 0) {
      const ssize_t n = ::send(fd_, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        bytes += n;
        length -= static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!Wait(POLLOUT)) return false;
        continue;
      }
      return false;
    }
    return true;
  }
  bool WriteAll(const std::string& text) { return WriteAll(text.data(), text.size()); }

  // Waits until `until`; false when the server stops meanwhile.
  bool SleepUntil(Clock::time_point until) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return true;
      pollfd stop{s_.stop.get(), POLLIN, 0};
      const int ready = ::poll(&stop, 1, static_cast<int>(left) + 1);
      if (ready < 0 && errno == EINTR) continue;
      if (ready != 0) return false;
    }
  }

  // Reads one request head; nothing when the head is refused, the peer goes away or stays
  // silent. `tooLarge` tells a head over the bound (no reply) from a malformed one.
  std::optional<TransferRequestHead> ReadHead(bool& malformed) {
    TransferRequestHead head;
    char buf[kReadSize];
    while (head.status() == TransferRequestHead::Status::kIncomplete) {
      if (!Wait(POLLIN)) return std::nullopt;
      const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return std::nullopt;
      head.Append(std::string_view(buf, static_cast<std::size_t>(n)));
    }
    malformed = head.status() == TransferRequestHead::Status::kMalformed;
    if (head.status() != TransferRequestHead::Status::kComplete) return std::nullopt;
    return head;
  }

 private:
  State& s_;
  int fd_;
};

struct Login {
  std::string user;
  std::vector<std::uint32_t> downloadFolders;
};

// Digest authentication against the sharing users; nothing when refused, with `stale` set
// when the nonce was too old.
std::optional<Login> Authenticate(const TransferRequestHead& head, bool& stale) {
  stale = false;
  const auto header = head.Header("Authorization");
  if (!header) return std::nullopt;
  const auto fields = ParseDigestFields(*header);
  if (!fields) return std::nullopt;
  const std::string user = fields->username.empty() || fields->username == "guest"
                               ? std::string(util::kGuestUserName)
                               : fields->username;
  Login login;
  std::string password;
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    const util::SharingUsersTable& users = util::SharingUsers();
    const auto it = users.find(user);
    if (it == users.end()) return std::nullopt;
    if (it->first == util::kGuestUserName && it->second.viewUIDs.empty() && it->second.downloadUIDs.empty() &&
        !it->second.canUpload) {
      return std::nullopt;
    }
    password = util::DecodeSharingPassword(it->second.passwordData, it->first);
    login.user = it->first;
    login.downloadFolders = it->second.downloadUIDs;
  }
  if (fields->uri != head.target()) return std::nullopt;
  stale = TransferNonceStale(fields->nonce, UpTimeNanoseconds());
  const std::string expected =
      ExpectedDigestResponse(*fields, SameNoCase(head.method(), "GET") ? "GET" : "POST", password);
  const bool match = expected.size() == fields->response.size() &&
                     CRYPTO_memcmp(expected.data(), fields->response.data(), expected.size()) == 0;
  if (!match || stale) return std::nullopt;
  return login;
}

// The connection's cipher from "X-Session-Key"; false when the key is unusable, or absent
// while clear transfers are refused.
bool TakeSessionKey(const TransferRequestHead& head, SessionCipherPtr& cipher) {
  const auto keyText = head.Header("X-Session-Key");
  if (!keyText) return !util::CurrentSettings()->requireSecureTransfer;
  if (keyText->size() > kMaxSessionKeyText) return false;
  const auto serverKey = CopyServerKey();
  if (!serverKey) return false;
  cipher = AcceptSessionKey(*serverKey, *keyText);
  return cipher != nullptr;
}

void EndDownload(State& s) {
  {
    std::lock_guard lock(s.downloadsMutex);
    s.runningDownloads -= 1;
  }
  util::PostDownloadServersChanged();
}

std::string FormatTransferLog(const std::string& file, const std::string& user, const std::string& host,
                              bool finished, long long bytes, double seconds) {
  char tail[96];
  std::snprintf(tail, sizeof tail, "%lld bytes in %.1f seconds", bytes, seconds);
  return "Transfer of " + file + " to user " + user + "@" + host + (finished ? " finished, " : ", ") + tail;
}

// Serves the finished file of a shared download item.
void ServeItem(State& s, Wire& wire, const TransferRequestHead& head, const Login& login,
               const std::string& host, const std::string& publicKey) {
  const auto settings = util::CurrentSettings();
  if (settings->maxDownloads <= 0) {
    wire.WriteAll(TransferStatusReply(403));
    return;
  }
  const std::string component = LastPathComponent(head.target());
  std::uint32_t uid = 0;
  bool number = !component.empty() && component.size() <= kMaxUIDText;
  for (char c : component) {
    if (c < '0' || c > '9' || uid > (0xFFFFFFFFu - 9) / 10) {
      number = false;
      break;
    }
    uid = uid * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (!number || uid == 0) {
    wire.WriteAll(TransferStatusReply(404));
    return;
  }
  SharedItemFile file;
  switch (SharedListingServiceSlot::Get().FindSharedItemFile(uid, login.downloadFolders, file)) {
    case SharedItemAccess::kNotFound:
      wire.WriteAll(TransferStatusReply(404));
      return;
    case SharedItemAccess::kNotGranted:
      wire.WriteAll(TransferAuthChallengeReply(false, publicKey));
      return;
    case SharedItemAccess::kGranted:
      break;
  }
  // Only a regular file, and never through a link left where the finished file was.
  runtime::UniqueFd in(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st {};
  if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    wire.WriteAll(TransferStatusReply(404));
    return;
  }
  std::int64_t offset = TransferRangeStart(head.Header("Range").value_or(""));
  SessionCipherPtr cipher;
  if (!TakeSessionKey(head, cipher)) {
    wire.WriteAll(TransferBadSessionReply(publicKey));
    return;
  }
  bool busy = false;
  {
    std::lock_guard lock(s.downloadsMutex);
    busy = settings->maxDownloads >= 1 && s.runningDownloads >= settings->maxDownloads;
    if (!busy) {
      s.nextDownloadID += 1;
      s.runningDownloads += 1;
    }
  }
  if (busy) {
    util::PostLogMessageEvent("Failed request from@" + host + "; maximum number of clients exceeded.");
    wire.WriteAll(TransferStatusReply(421));
    return;
  }
  const std::int64_t size = st.st_size;
  if (offset >= size) offset = 0;
  std::string reply;
  if (offset == 0) {
    reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n";
  } else {
    reply = "HTTP/1.1 206 OK\r\nContent-Length: " + std::to_string(size - offset) +
            "\r\nContent-Range: bytes " + std::to_string(offset) + "-" + std::to_string(size - 1) + "/" +
            std::to_string(size) + "\r\n";
  }
  reply += "Connection: close\r\nServer: " + std::string(kTransferServerName) +
           "\r\nContent-Disposition: attachment; filename=\"" + DispositionName(file.name) + "\"\r\n";
  if (!publicKey.empty()) reply += "X-Server-Public-Key: " + publicKey + "\r\n";
  reply += "\r\n";
  if (!wire.WriteAll(reply) || head.Header("XValidator") == std::optional<std::string>("On")) {
    EndDownload(s);
    return;
  }

  util::PostDownloadServersChanged();
  const auto start = Clock::now();
  std::int64_t position = offset;
  std::vector<char> buffer(kFirstBufferSize);
  while (position < size) {
    std::size_t step = buffer.size();
    std::int64_t grant = 0;
    const util::BandwidthLimit limit = util::CurrentSettings()->serverSendBandwidth;
    if (limit.status) {
      if (s.sendRate.exchange(limit.limit) != limit.limit) s.sendLimiter.SetRate(limit.limit);
      grant = s.sendLimiter.Request(static_cast<std::int64_t>(step), Clock::now());
      // Nothing granted: the allowance of this tick is spent, so wait for the next one.
      if (grant <= 0) {
        if (!wire.SleepUntil(s.sendLimiter.NextTick())) break;
        continue;
      }
      step = static_cast<std::size_t>(grant);
    }
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(step), size - position));
    const ssize_t n = ::pread(in.get(), buffer.data(), want, position);
    const bool sent = n > 0 && [&] {
      if (cipher)
        SessionCipherApply(*cipher, reinterpret_cast<std::uint8_t*>(buffer.data()),
                           static_cast<std::size_t>(n));
      return wire.WriteAll(buffer.data(), static_cast<std::size_t>(n));
    }();
    const std::int64_t moved = sent ? n : 0;
    if (limit.status) s.sendLimiter.Return(grant - moved, moved, Clock::now());
    if (!sent) break;
    position += n;
    // While the peer keeps up the steps grow, up to the largest buffer.
    if (static_cast<std::size_t>(n) == buffer.size() && buffer.size() < kMaxBufferSize) {
      buffer.assign(buffer.size() + kBufferGrowth, 0);
    }
  }
  EndDownload(s);
  const double seconds =
      static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
  util::PostLogMessageEvent(
      FormatTransferLog(file.name, login.user, host, position >= size, position - offset, seconds));
}

void HandleConnection(State& s, int fd) {
  Wire wire(s, fd);
  const std::string host = PeerAddress(fd);
  bool malformed = false;
  const auto head = wire.ReadHead(malformed);
  if (!head) {
    if (malformed) wire.WriteAll(TransferStatusReply(400));
    return;
  }
  const std::string publicKey = CopyServerPublicKeyString();
  bool stale = false;
  const auto login = Authenticate(*head, stale);
  if (!login) {
    wire.WriteAll(TransferAuthChallengeReply(stale, publicKey));
    return;
  }
  if (SameNoCase(head->method(), "GET")) {
    const std::string component = LastPathComponent(head->target());
    // Peers' received files and what they send are served by later steps of the server.
    if (SameNoCase(component, "uploadStatus")) {
      wire.WriteAll(TransferStatusReply(403));
    } else if (SameNoCase(component, "receivedFile")) {
      wire.WriteAll(TransferStatusReply(404));
    } else {
      ServeItem(s, wire, *head, *login, host, publicKey);
    }
  } else if (SameNoCase(head->method(), "POST")) {
    wire.WriteAll(TransferStatusReply(403));
  } else {
    wire.WriteAll(TransferStatusReply(400));
  }
}

void EndConnection(State& s, std::uint64_t id, int fd) {
  {
    std::lock_guard lock(s.mutex);
    s.connections.remove_if([id](const Connection& c) { return c.id == id; });
    if (s.connections.empty()) s.allGone.notify_all();
  }
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

void Accept(const std::shared_ptr<State>& s) {
  const int fd = ::accept4(s->listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      pollfd stop{s->stop.get(), POLLIN, 0};
      ::poll(&stop, 1, 100);
    }
    return;
  }
  std::uint64_t id = 0;
  {
    std::lock_guard lock(s->mutex);
    if (s->stopping || s->connections.size() >= s->options.maxConnections) {
      ::close(fd);
      return;
    }
    id = s->nextID++;
    s->connections.push_back({id, fd});
  }
  runtime::TaskOptions options;
  options.name = "file server conn";
  auto task = runtime::Task::Start(options, [s, id, fd]() -> runtime::Status {
    HandleConnection(*s, fd);
    EndConnection(*s, id, fd);
    return runtime::kNoErr;
  });
  if (!task) EndConnection(*s, id, fd);
}

runtime::Status Listen(const std::shared_ptr<State>& s) {
  for (;;) {
    pollfd fds[2] = {{s->listener.get(), POLLIN, 0}, {s->stop.get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & POLLIN) Accept(s);
  }
  return runtime::kNoErr;
}

}  // namespace

std::unique_ptr<FileTransferServer> FileTransferServer::Start(const FileTransferServerOptions& options) {
  auto s = std::make_shared<State>();
  s->options = options;
  s->listener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  s->stop.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (s->listener.get() < 0 || s->stop.get() < 0) return nullptr;
  // Only SO_REUSEADDR: with SO_REUSEPORT another program of the same user could take over
  // some of the connections meant for this one.
  const int one = 1;
  ::setsockopt(s->listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options.port);
  addr.sin_addr.s_addr = htonl(options.loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
  if (::bind(s->listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(s->listener.get(), SOMAXCONN) != 0) {
    return nullptr;
  }
  socklen_t len = sizeof addr;
  ::getsockname(s->listener.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  s->port = ntohs(addr.sin_port);
  runtime::TaskOptions taskOptions;
  taskOptions.name = "file server";
  s->listenTask = runtime::Task::Start(taskOptions, [s]() { return Listen(s); });
  if (!s->listenTask) return nullptr;
  return std::unique_ptr<FileTransferServer>(new FileTransferServer(s));
}

FileTransferServer::~FileTransferServer() {
  Stop();
}

void FileTransferServer::Stop() {
  if (!state_) return;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopping) return;
    state_->stopping = true;
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(state_->stop.get(), &one, sizeof one);
  if (state_->listenTask && state_->listenTask->WaitFor(kStopWait)) state_->listener.Reset();
  std::unique_lock lock(state_->mutex);
  state_->allGone.wait_for(lock, kStopWait, [this] { return state_->connections.empty(); });
}

std::uint16_t FileTransferServer::port() const {
  return state_->port;
}

std::int32_t FileTransferServer::runningDownloads() const {
  std::lock_guard lock(state_->downloadsMutex);
  return state_->runningDownloads;
}

namespace {

std::unique_ptr<FileTransferServer>& TheServer() {
  static std::unique_ptr<FileTransferServer> server;
  return server;
}

}  // namespace

bool StartFileTransferServer() {
  if (TheServer()) return true;
  const auto settings = util::CurrentSettings();
  if (settings->maxDownloads <= 0 && settings->maxUploads <= 0) return false;
  FileTransferServerOptions options;
  options.port = static_cast<std::uint16_t>(settings->sharePort + 1);
  TheServer() = FileTransferServer::Start(options);
  if (!TheServer()) return false;
  if (settings->maxUploads > 0 && util::PrefBoolForKey("advertise rendezvous")) {
    RegisterFileTransferService(TheServer()->port());
  }
  return true;
}

void StopFileTransferServer() {
  if (!TheServer()) return;
  TheServer()->Stop();
  TheServer().reset();
  UnregisterFileTransferService();
}

bool FileTransferServerRunning() {
  return TheServer() != nullptr;
}

}  // namespace sharing
