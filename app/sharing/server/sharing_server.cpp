#include "app/sharing/server/sharing_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <list>
#include <mutex>
#include <string>
#include <utility>

#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/server/sharing_session.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/task.h"
#include "platform/runtime/unique_fd.h"

namespace sharing {

namespace {

using Clock = std::chrono::steady_clock;

// As deep as the system allows: with a short queue, a burst of connections makes the system
// drop further ones, and a real peer among them waits seconds for its attempt to be resent.
constexpr int kListenBacklog = SOMAXCONN;
constexpr std::size_t kReadSize = 4096;
constexpr auto kStopWait = std::chrono::seconds(5);

struct Connection {
  std::uint64_t id = 0;
  int fd = -1;
  bool loggedIn = false;
};

}  // namespace

struct SharingServer::State {
  SharingServerOptions options;
  runtime::UniqueFd listener;
  runtime::UniqueFd stop;  // an eventfd: readable once the server stops, for every task
  std::uint16_t port = 0;
  std::shared_ptr<runtime::Task> listenTask;

  std::mutex mutex;  // guards what follows
  std::condition_variable allGone;
  std::list<Connection> connections;  // oldest first
  std::uint64_t nextID = 1;
  bool stopping = false;

  bool Stopping() {
    std::lock_guard lock(mutex);
    return stopping;
  }
};

namespace {

using State = SharingServer::State;

std::string PeerAddress(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET) {
    return "Unknown";
  }
  char text[INET_ADDRSTRLEN] = {};
  return ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) ? std::string(text) : std::string("Unknown");
}

// Writes what it can without blocking; false on a write error (the peer went away).
bool FlushSome(int fd, std::string& pending) {
  while (!pending.empty()) {
    const ssize_t n = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      pending.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
  return true;
}

void SetLoggedIn(State& s, std::uint64_t id) {
  std::lock_guard lock(s.mutex);
  for (auto& c : s.connections) {
    if (c.id == id) c.loggedIn = true;
  }
}

// One connection from greeting to close.
void RunConnection(State& s, std::uint64_t id, int fd) {
  SharingSession session(PeerAddress(fd));
  std::string pending = session.Greeting();
  bool closing = false;
  bool loggedIn = false;
  auto deadline = Clock::now() + s.options.loginTimeout;
  std::uint8_t buf[kReadSize];
  for (;;) {
    if (!FlushSome(fd, pending)) break;
    if (closing && pending.empty()) break;
    if (!closing && pending.size() < kMaxPendingReply && session.HasUnhandledLines()) {
      if (!session.HandleLines(pending)) closing = true;
      continue;
    }
    const auto now = Clock::now();
    if (now >= deadline) break;
    // Nothing more is read while replies wait or lines are unhandled: what a peer can make
    // this connection hold stays bounded.
    const bool wantInput = !closing && pending.size() < kMaxPendingReply && !session.HasUnhandledLines();
    pollfd fds[2] = {{fd, static_cast<short>(wantInput ? POLLIN : 0), 0}, {s.stop.get(), POLLIN, 0}};
    if (!pending.empty()) fds[0].events |= POLLOUT;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(wait + 1, INT32_MAX)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & (POLLERR | POLLNVAL)) break;
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) break;
      const bool more = session.Receive(std::span(buf, static_cast<std::size_t>(n)), pending);
      if (!more) closing = true;
      if (!loggedIn && session.loginState() == LoginState::kLoggedIn) {
        loggedIn = true;
        SetLoggedIn(s, id);
      }
      if (loggedIn) deadline = Clock::now() + s.options.idleTimeout;
    } else if (fds[0].revents & POLLOUT) {
      // The peer reads: it is not idle while a long reply goes out.
      if (loggedIn) deadline = Clock::now() + s.options.idleTimeout;
    }
  }
}

void EndConnection(State& s, std::uint64_t id, int fd) {
  {
    // Out of the list before the descriptor is closed, so that the listener never shuts
    // down a number already given to another file.
    std::lock_guard lock(s.mutex);
    s.connections.remove_if([id](const Connection& c) { return c.id == id; });
    if (s.connections.empty()) s.allGone.notify_all();
  }
  ::close(fd);
}

// Makes room for one more connection; false when none can be made.
bool MakeRoom(State& s) {
  std::lock_guard lock(s.mutex);
  if (s.connections.size() < s.options.maxConnections) return true;
  for (auto& c : s.connections) {
    if (!c.loggedIn && c.fd >= 0) {
      // Its task sees the end of the stream and closes; the slot frees when it has.
      ::shutdown(c.fd, SHUT_RDWR);
      c.fd = -1;
      return true;
    }
  }
  return false;
}

void Accept(const std::shared_ptr<State>& s) {
  const int fd = ::accept4(s->listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    // Out of descriptors: the pending connection stays ready, so pause instead of spinning.
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      pollfd stop{s->stop.get(), POLLIN, 0};
      ::poll(&stop, 1, 100);
    }
    return;
  }
  if (!MakeRoom(*s)) {
    ::close(fd);
    return;
  }
  std::uint64_t id = 0;
  {
    std::lock_guard lock(s->mutex);
    if (s->stopping) {
      ::close(fd);
      return;
    }
    id = s->nextID++;
    s->connections.push_back({id, fd, false});
  }
  runtime::TaskOptions options;
  options.name = "sharing conn";
  auto task = runtime::Task::Start(options, [s, id, fd]() -> runtime::Status {
    RunConnection(*s, id, fd);
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

std::unique_ptr<SharingServer> SharingServer::Start(const SharingServerOptions& options) {
  auto s = std::make_shared<State>();
  s->options = options;
  s->listener.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  s->stop.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (s->listener.get() < 0 || s->stop.get() < 0) return nullptr;
  // Only SO_REUSEADDR: a port shared with SO_REUSEPORT would let another program of the
  // same user take over some of the connections meant for this one.
  const int one = 1;
  ::setsockopt(s->listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options.port);
  addr.sin_addr.s_addr = htonl(options.loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
  if (::bind(s->listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(s->listener.get(), kListenBacklog) != 0) {
    return nullptr;
  }
  socklen_t len = sizeof addr;
  ::getsockname(s->listener.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  s->port = ntohs(addr.sin_port);
  runtime::TaskOptions taskOptions;
  taskOptions.name = "sharing server";
  s->listenTask = runtime::Task::Start(taskOptions, [s]() { return Listen(s); });
  if (!s->listenTask) return nullptr;
  return std::unique_ptr<SharingServer>(new SharingServer(s));
}

SharingServer::~SharingServer() {
  Stop();
}

void SharingServer::Stop() {
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

std::uint16_t SharingServer::port() const {
  return state_->port;
}

std::size_t SharingServer::connectionCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->connections.size();
}

namespace {

std::unique_ptr<SharingServer>& TheServer() {
  static std::unique_ptr<SharingServer> server;
  return server;
}

}  // namespace

bool StartSharingServer() {
  if (TheServer()) return true;
  const auto settings = util::CurrentSettings();
  SharingServerOptions options;
  options.port = static_cast<std::uint16_t>(settings->sharePort);
  TheServer() = SharingServer::Start(options);
  if (!TheServer()) return false;
  if (util::PrefBoolForKey("advertise rendezvous")) RegisterSharingService(TheServer()->port());
  return true;
}

void StopSharingServer() {
  if (!TheServer()) return;
  TheServer()->Stop();
  TheServer().reset();
  UnregisterSharingService();
}

bool SharingServerRunning() {
  return TheServer() != nullptr;
}

}  // namespace sharing
