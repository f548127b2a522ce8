#include "app/sharing/fileserver/file_transfer_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/crypto.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/sharing/crypto/server_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/fileserver/file_server_events.h"
#include "app/sharing/fileserver/transfer_connection.h"
#include "app/sharing/fileserver/transfer_digest.h"
#include "app/sharing/fileserver/transfer_reception.h"
#include "app/sharing/fileserver/transfer_request_head.h"
#include "app/sharing/fileserver/transfer_send_limiter.h"
#include "app/sharing/listener/connection_listener.h"
#include "app/sharing/listener/share_port.h"
#include "app/sharing/server/sharing_session.h"
#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/util/desktop/notification_bridges.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"
#include "platform/runtime/task.h"
#include "platform/runtime/unique_fd.h"

namespace sharing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 4096;
constexpr std::size_t kMaxUIDText = 31;
constexpr std::size_t kMaxSessionKeyText = 279;
constexpr std::size_t kRangeTextLength = 63;
constexpr auto kStopWait = std::chrono::seconds(5);

struct Connection {
  std::uint64_t id = 0;
  int fd = -1;
};

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

constexpr std::chrono::milliseconds kReadOutEvery{1000};

std::atomic<bool>& ActivityWindowShown() {
  static std::atomic<bool> shown{false};
  return shown;
}

}  // namespace

void SetServerActivityWindowShown(bool shown) {
  ActivityWindowShown() = shown;
}

bool ServerActivityWindowShown() {
  return ActivityWindowShown();
}

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
  std::shared_ptr<ConnectionListener> listener;
  std::shared_ptr<runtime::Task> readOutTask;

  TransferSendLimiter sendLimiter{std::chrono::steady_clock::now()};
  std::atomic<std::int64_t> sendRate{-1};  // the rate last given to the limiter
  TransferSendLimiter receiveLimiter{std::chrono::steady_clock::now()};
  std::atomic<std::int64_t> receiveRate{-1};

  std::mutex downloadsMutex;  // the download-servers region
  std::int32_t runningDownloads = 0;
  std::uint32_t nextDownloadID = 1;

  ReceptionCounters receptions;
  // Cleared when the program quits: connections accepted from then on are closed unread,
  // so that no new transfer starts while the running ones are waited for.
  std::atomic<bool> serving{true};
};

namespace {

using State = FileTransferServer::State;
using Wire = TransferWire;
using Login = TransferLogin;

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
    login.canUpload = it->second.canUpload;
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

void SendFile(State& s, Wire& wire, const TransferRequestHead& head, const Login& login,
              const std::string& host, const std::string& publicKey, const SharedItemFile& file,
              bool validation);

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
  SendFile(s, wire, head, login, host, publicKey, file, true);
}

// Sends a file from the request's start offset (the range start); with `validation`, a
// request marked "XValidator: On" gets the reply head only.
void SendFile(State& s, Wire& wire, const TransferRequestHead& head, const Login& login,
              const std::string& host, const std::string& publicKey, const SharedItemFile& file,
              bool validation) {
  const auto settings = util::CurrentSettings();
  // Only a regular file, and never through a link left where the finished file was.
  runtime::UniqueFd in(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st {};
  if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    wire.WriteAll(TransferStatusReply(404));
    return;
  }
  std::int64_t offset = TransferRangeStart(head.Header("Range").value_or(""));
  SessionCipherPtr cipher;
  if (!TakeTransferSessionKey(head, cipher)) {
    wire.WriteAll(TransferBadSessionReply(publicKey));
    return;
  }
  bool busy = false;
  std::uint32_t transferID = 0;
  {
    std::lock_guard lock(s.downloadsMutex);
    busy = settings->maxDownloads >= 1 && s.runningDownloads >= settings->maxDownloads;
    if (!busy) {
      transferID = s.nextDownloadID++;
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
  if (!wire.WriteAll(reply) ||
      (validation && head.Header("XValidator") == std::optional<std::string>("On"))) {
    EndDownload(s);
    return;
  }

  util::PostDownloadServersChanged();
  {
    auto event = runtime::Event::Create(kFileServerEventClass, kFileServerSendStarted);
    event->SetString(values::FourCC("Fnam"), file.name);
    event->SetString(values::FourCC("Unam"), login.user);
    event->SetString(values::FourCC("IP__"), host);
    event->SetUInt32(values::FourCC("ID__"), transferID);
    PostFileServerEvent(std::move(event));
  }
  const auto start = Clock::now();
  std::int64_t position = offset;
  std::vector<char> buffer(kTransferFirstBuffer);
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
    // Counted also while no limit is on: the read-out shows what was sent.
    s.sendLimiter.Return(limit.status ? grant - moved : 0, moved, Clock::now());
    if (!sent) break;
    position += n;
    // While the peer keeps up the steps grow, up to the largest buffer.
    if (static_cast<std::size_t>(n) == buffer.size() && buffer.size() < kTransferLargestBuffer) {
      buffer.assign(buffer.size() + kTransferBufferGrowth, 0);
    }
  }
  EndDownload(s);
  {
    auto event = runtime::Event::Create(kFileServerEventClass, kFileServerSendEnded);
    event->SetUInt32(values::FourCC("ID__"), transferID);
    PostFileServerEvent(std::move(event));
  }
  const double seconds =
      static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
  util::PostLogMessageEvent(
      FormatTransferLog(file.name, login.user, host, position >= size, position - offset, seconds));
}

// Serves a received file to a user with the Received Files folder among its download
// folders: only a complete file, and only one in the folder itself, in "Guest" or in the
// user's own subfolder.
void ServeReceivedFile(State& s, Wire& wire, const TransferRequestHead& head, const Login& login,
                       const std::string& host, const std::string& publicKey) {
  const auto settings = util::CurrentSettings();
  if (settings->maxDownloads <= 0 || std::find(login.downloadFolders.begin(), login.downloadFolders.end(),
                                               kReceivedFilesFolderUID) == login.downloadFolders.end()) {
    wire.WriteAll(TransferStatusReply(403));
    return;
  }
  const std::string query = QueryOf(head.target());
  std::optional<ListedReceivedFile> found;
  if (!query.empty()) {
    for (auto& r : SharedReceivedFilesSlot::Get().CopyReceivedFiles()) {
      if (r.uidString == query) found = std::move(r);
    }
  }
  const auto folder = ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(true);
  if (!found || found->status != kReceivedFileReceived || !found->path || !folder) {
    wire.WriteAll(TransferStatusReply(404));
    return;
  }
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::weakly_canonical(*found->path, ec);
  const std::filesystem::path base = std::filesystem::weakly_canonical(*folder, ec);
  const std::filesystem::path relative = path.lexically_relative(base);
  const auto parts = std::distance(relative.begin(), relative.end());
  const std::string first = relative.empty() ? std::string() : relative.begin()->string();
  const bool inside = !relative.empty() && first != ".." &&
                      (parts == 1 || (parts == 2 && (first == util::kGuestUserName || first == login.user)));
  if (ec || !inside) {
    wire.WriteAll(TransferStatusReply(404));
    return;
  }
  SendFile(s, wire, head, login, host, publicKey, SharedItemFile{path.string(), found->name}, false);
}

void HandleConnection(State& s, ConnectionListener& listener, std::uint64_t id, int fd) {
  if (!s.serving) return;
  Wire wire(fd, listener.stopDescriptor(), s.options.idleTimeout);
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
  listener.MarkSettled(id);
  const ReceptionRequest reception{wire, *head, *login, host, publicKey};
  if (SameNoCase(head->method(), "GET")) {
    const std::string component = LastPathComponent(head->target());
    if (SameNoCase(component, "uploadStatus")) {
      AnswerUploadStatus(reception);
    } else if (SameNoCase(component, "receivedFile")) {
      ServeReceivedFile(s, wire, *head, *login, host, publicKey);
    } else {
      ServeItem(s, wire, *head, *login, host, publicKey);
    }
  } else if (SameNoCase(head->method(), "POST")) {
    ReceiveFile(reception, s.receptions, s.receiveLimiter, s.receiveRate);
  } else {
    wire.WriteAll(TransferStatusReply(400));
  }
}

}  // namespace

std::unique_ptr<FileTransferServer> FileTransferServer::Start(const FileTransferServerOptions& options) {
  auto s = std::make_shared<State>();
  s->options = options;
  ConnectionListenerOptions listen;
  listen.port = options.port;
  listen.loopbackOnly = options.loopbackOnly;
  listen.maxConnections = options.maxConnections;
  // Connections that never authenticate (a peer dribbling request heads) must not lock
  // out the peers that do.
  listen.evictUnsettled = true;
  listen.listenTaskName = "file server";
  listen.connectionTaskName = "file server conn";
  std::weak_ptr<State> weak = s;
  s->listener =
      ConnectionListener::Start(listen, [weak](ConnectionListener& listener, std::uint64_t id, int fd) {
        if (auto state = weak.lock()) HandleConnection(*state, listener, id, fd);
      });
  if (!s->listener) return nullptr;
  runtime::TaskOptions readOut;
  readOut.name = "file server read-out";
  const int stop = s->listener->stopDescriptor();
  s->readOutTask = runtime::Task::Start(readOut, [weak, stop]() -> runtime::Status {
    for (;;) {
      pollfd fds{stop, POLLIN, 0};
      const int ready = ::poll(&fds, 1, static_cast<int>(kReadOutEvery.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready != 0) break;
      auto state = weak.lock();
      if (!state) break;
      const std::int64_t bytes = state->sendLimiter.ReadOut(Clock::now());
      if (!ServerActivityWindowShown()) continue;
      auto event = runtime::Event::Create(kFileServerSpeedEventClass, 1);
      event->SetInt32(runtime::kParamDirectObject,
                      static_cast<std::int32_t>(std::min<std::int64_t>(bytes, INT32_MAX)));
      PostFileServerEvent(std::move(event));
    }
    return runtime::kNoErr;
  });
  return std::unique_ptr<FileTransferServer>(new FileTransferServer(s));
}

FileTransferServer::~FileTransferServer() {
  Stop();
}

void FileTransferServer::Stop() {
  if (!state_) return;
  state_->listener->Stop();
  if (state_->readOutTask) state_->readOutTask->WaitFor(std::chrono::seconds(5));
}

std::uint16_t FileTransferServer::port() const {
  return state_->listener->port();
}

std::int32_t FileTransferServer::runningDownloads() const {
  std::lock_guard lock(state_->downloadsMutex);
  return state_->runningDownloads;
}

void FileTransferServer::RefuseNewConnections() {
  state_->serving = false;
}

void FileTransferServer::CancelReceptions() {
  CancelAllReceptions(state_->receptions);
}

std::int32_t FileTransferServer::runningReceptions() const {
  std::lock_guard lock(state_->receptions.mutex);
  return state_->receptions.running;
}

namespace {

std::unique_ptr<FileTransferServer>& TheServer() {
  static std::unique_ptr<FileTransferServer> server;
  return server;
}

// What the running server was started with: a change of any of it restarts the server.
struct StartedWith {
  std::int32_t port = 0;
  bool sends = false;
  bool receives = false;
  bool advertised = false;
  bool operator==(const StartedWith&) const = default;
};

StartedWith& Started() {
  static StartedWith started;
  return started;
}

StartedWith WantedNow() {
  const auto settings = util::CurrentSettings();
  return {settings->sharePort + 1, settings->maxDownloads > 0, settings->maxUploads > 0,
          settings->maxUploads > 0 && util::ReadSetting(util::kAdvertiseRendezvousKey)};
}

}  // namespace

bool StartFileTransferServer() {
  if (TheServer()) return true;
  const auto settings = util::CurrentSettings();
  if (settings->maxDownloads <= 0 && settings->maxUploads <= 0) return false;
  const std::optional<std::uint16_t> port = UsableSharePort();
  if (!port) return false;
  FileTransferServerOptions options;
  options.port = static_cast<std::uint16_t>(*port + 1);
  TheServer() = FileTransferServer::Start(options);
  if (!TheServer()) return false;
  Started() = WantedNow();
  if (Started().advertised) RegisterFileTransferService(TheServer()->port());
  return true;
}

void ApplyFileTransferServerSettings() {
  const auto settings = util::CurrentSettings();
  const bool wanted = settings->shareFolders && (settings->maxDownloads > 0 || settings->maxUploads > 0);
  if (TheServer() && (!wanted || !(Started() == WantedNow()))) StopFileTransferServer();
  if (wanted && !TheServer()) StartFileTransferServer();
}

void StopFileTransferServer() {
  if (!TheServer()) return;
  TheServer()->Stop();
  TheServer().reset();
  UnregisterFileTransferService();
}

void RefuseFileTransferConnections() {
  if (TheServer()) TheServer()->RefuseNewConnections();
}

void CancelFileTransferReceptions() {
  if (TheServer()) TheServer()->CancelReceptions();
}

bool FileTransferServerRunning() {
  return TheServer() != nullptr;
}

std::int32_t RunningUploadServers() {
  return TheServer() ? TheServer()->runningReceptions() : 0;
}

}  // namespace sharing
