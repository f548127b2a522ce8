#include "app/sharing/listener/connection_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/runtime/task.h"

namespace sharing {

std::string PeerAddress(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || addr.sin_family != AF_INET) {
    return "Unknown";
  }
  char text[INET_ADDRSTRLEN] = {};
  return ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text) ? std::string(text) : std::string("Unknown");
}

namespace {

constexpr auto kStopWait = std::chrono::seconds(5);
constexpr auto kDrainTime = std::chrono::milliseconds(200);
constexpr std::size_t kMaxDrained = 256 * 1024;

}  // namespace

std::shared_ptr<ConnectionListener> ConnectionListener::Start(const ConnectionListenerOptions& options,
                                                              Serve serve) {
  std::shared_ptr<ConnectionListener> l(new ConnectionListener());
  l->options_ = options;
  l->serve_ = std::move(serve);
  l->listener_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  l->stop_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (l->listener_.get() < 0 || l->stop_.get() < 0) return nullptr;
  // Only SO_REUSEADDR: a port shared with SO_REUSEPORT would let another program of the
  // same user take over some of the connections meant for this one.
  const int one = 1;
  ::setsockopt(l->listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options.port);
  addr.sin_addr.s_addr = htonl(options.loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
  // As deep a queue as the system allows: with a short one, a burst of connections makes
  // the system drop further ones, and a real peer among them waits seconds for a resend.
  if (::bind(l->listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(l->listener_.get(), SOMAXCONN) != 0) {
    return nullptr;
  }
  socklen_t len = sizeof addr;
  ::getsockname(l->listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  l->port_ = ntohs(addr.sin_port);
  runtime::TaskOptions taskOptions;
  taskOptions.name = options.listenTaskName;
  l->listenTask_ = runtime::Task::Start(taskOptions, [l]() -> runtime::Status {
    l->Listen();
    return runtime::kNoErr;
  });
  if (!l->listenTask_) return nullptr;
  return l;
}

ConnectionListener::~ConnectionListener() {
  Stop();
}

void ConnectionListener::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
  if (listenTask_ && listenTask_->WaitFor(kStopWait)) listener_.Reset();
  std::unique_lock lock(mutex_);
  allGone_.wait_for(lock, kStopWait, [this] { return connections_.empty(); });
}

bool ConnectionListener::Stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

std::size_t ConnectionListener::connectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

void ConnectionListener::MarkSettled(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  for (auto& c : connections_) {
    if (c.id == id) c.settled = true;
  }
}

void ConnectionListener::EndConnection(std::uint64_t id, int fd) {
  {
    // Out of the list before the descriptor is closed, so that room is never made by
    // shutting down a number already given to another file.
    std::lock_guard lock(mutex_);
    connections_.remove_if([id](const Connection& c) { return c.id == id; });
    if (connections_.empty()) allGone_.notify_all();
  }
  ::shutdown(fd, SHUT_WR);
  // What the peer sent and nobody read would make the close reset the connection, and the
  // peer could lose the reply still on its way (a refusal of a request with a body): take
  // it in and drop it, for a bounded time and amount.
  const auto deadline = std::chrono::steady_clock::now() + kDrainTime;
  std::size_t drained = 0;
  char buf[4096];
  while (drained < kMaxDrained) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0) break;
    pollfd in{fd, POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) break;
    drained += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

bool ConnectionListener::MakeRoom() {
  std::lock_guard lock(mutex_);
  if (connections_.size() < options_.maxConnections) return true;
  if (!options_.evictUnsettled) return false;
  for (auto& c : connections_) {
    if (!c.settled && c.fd >= 0) {
      // Its task sees the end of the stream and closes; the slot frees when it has.
      ::shutdown(c.fd, SHUT_RDWR);
      c.fd = -1;
      return true;
    }
  }
  return false;
}

void ConnectionListener::Accept() {
  const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    // Out of descriptors: the pending connection stays ready, so pause instead of spinning.
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
      pollfd stop{stop_.get(), POLLIN, 0};
      ::poll(&stop, 1, 100);
    }
    return;
  }
  if (!MakeRoom()) {
    ::close(fd);
    return;
  }
  std::uint64_t id = 0;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    id = nextID_++;
    connections_.push_back({id, fd, false});
  }
  runtime::TaskOptions options;
  options.name = options_.connectionTaskName;
  auto self = shared_from_this();
  auto task = runtime::Task::Start(options, [self, id, fd]() -> runtime::Status {
    self->serve_(*self, id, fd);
    self->EndConnection(id, fd);
    return runtime::kNoErr;
  });
  if (!task) EndConnection(id, fd);
}

void ConnectionListener::Listen() {
  for (;;) {
    pollfd fds[2] = {{listener_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & POLLIN) Accept();
  }
}

}  // namespace sharing
