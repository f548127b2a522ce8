#include "app/sharing/server/sharing_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/listener/connection_listener.h"
#include "app/sharing/listener/share_port.h"
#include "app/sharing/server/login_throttle.h"
#include "app/sharing/server/sharing_session.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace sharing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 4096;

}  // namespace

struct SharingServer::State {
  SharingServerOptions options;
  std::shared_ptr<ConnectionListener> listener;
  LoginThrottle throttle;
};

namespace {

using State = SharingServer::State;

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

// One connection from greeting to close.
void RunConnection(State& s, ConnectionListener& listener, std::uint64_t id, int fd) {
  const std::string host = PeerAddress(fd);
  SharingSession session(host);
  std::string pending = session.Greeting();
  bool closing = false;
  bool loggedIn = false;
  auto deadline = Clock::now() + s.options.loginTimeout;
  // While a login of this address is held back (refused logins before it), the time to
  // ask again.
  std::optional<Clock::time_point> held;
  std::uint8_t buf[kReadSize];
  for (;;) {
    if (!FlushSome(fd, pending)) break;
    if (closing && pending.empty()) break;
    if (!closing && pending.size() < kMaxPendingReply && session.HasUnhandledLines()) {
      const bool login = session.loginState() == LoginState::kAwaitingLogin;
      if (login) held = s.throttle.TakeTurn(host, Clock::now());
      // The login arrived in time; the wait is ours, and the login time-out does not end it.
      if (held) deadline = std::max(deadline, *held);
      if (!held) {
        if (!session.HandleLines(pending)) closing = true;
        if (login && session.loginState() == LoginState::kRefused) {
          s.throttle.NoteRefused(host, Clock::now());
        } else if (login && session.loginState() == LoginState::kLoggedIn && session.user() != kGuestUser) {
          s.throttle.NoteAccepted(host);
        }
        if (!loggedIn && session.loginState() == LoginState::kLoggedIn) {
          loggedIn = true;
          listener.MarkSettled(id);
        }
        if (loggedIn) deadline = Clock::now() + s.options.idleTimeout;
        continue;
      }
    }
    const auto now = Clock::now();
    if (now >= deadline) break;
    // Nothing more is read while replies wait or lines are unhandled: what a peer can make
    // this connection hold stays bounded.
    const bool wantInput = !closing && pending.size() < kMaxPendingReply && !session.HasUnhandledLines();
    pollfd fds[2] = {{fd, static_cast<short>(wantInput ? POLLIN : 0), 0},
                     {listener.stopDescriptor(), POLLIN, 0}};
    if (!pending.empty()) fds[0].events |= POLLOUT;
    const auto wakeAt = held ? std::min(*held, deadline) : deadline;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now).count();
    const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(wait + 1, INT32_MAX)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN)) break;
    if (fds[0].revents & (POLLERR | POLLNVAL)) break;
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) break;
      // Lines are handled at the top of the loop, where a login may be held back.
      if (!session.Take(std::span(buf, static_cast<std::size_t>(n)))) closing = true;
      if (loggedIn) deadline = Clock::now() + s.options.idleTimeout;
    } else if (fds[0].revents & POLLOUT) {
      // The peer reads: it is not idle while a long reply goes out.
      if (loggedIn) deadline = Clock::now() + s.options.idleTimeout;
    }
  }
}

}  // namespace

std::unique_ptr<SharingServer> SharingServer::Start(const SharingServerOptions& options) {
  auto s = std::make_shared<State>();
  s->options = options;
  ConnectionListenerOptions listen;
  listen.port = options.port;
  listen.loopbackOnly = options.loopbackOnly;
  listen.maxConnections = options.maxConnections;
  // Idle connections that never log in must not lock logged-in peers out.
  listen.evictUnsettled = true;
  listen.listenTaskName = "sharing server";
  listen.connectionTaskName = "sharing conn";
  std::weak_ptr<State> weak = s;
  s->listener =
      ConnectionListener::Start(listen, [weak](ConnectionListener& listener, std::uint64_t id, int fd) {
        if (auto state = weak.lock()) RunConnection(*state, listener, id, fd);
      });
  if (!s->listener) return nullptr;
  return std::unique_ptr<SharingServer>(new SharingServer(s));
}

SharingServer::~SharingServer() {
  Stop();
}

void SharingServer::Stop() {
  if (state_) state_->listener->Stop();
}

std::uint16_t SharingServer::port() const {
  return state_->listener->port();
}

std::size_t SharingServer::connectionCount() const {
  return state_->listener->connectionCount();
}

namespace {

std::unique_ptr<SharingServer>& TheServer() {
  static std::unique_ptr<SharingServer> server;
  return server;
}

}  // namespace

bool StartSharingServer() {
  if (TheServer()) return true;
  const std::optional<std::uint16_t> port = UsableSharePort();
  if (!port) return false;
  SharingServerOptions options;
  options.port = *port;
  TheServer() = SharingServer::Start(options);
  if (!TheServer()) return false;
  if (util::ReadSetting(util::kAdvertiseRendezvousKey)) RegisterSharingService(TheServer()->port());
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
