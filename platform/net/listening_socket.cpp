#include "platform/net/listening_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/runtime/run_loop.h"

namespace net {

namespace {
constexpr int kBacklog = 64;
}

std::unique_ptr<ListeningSocket> ListeningSocket::Listen(const std::string& address, int port,
                                                         AcceptCallback on_accept,
                                                         std::shared_ptr<runtime::RunLoop> loop,
                                                         StreamError* error) {
  auto fail = [&](int linux_errno) -> std::unique_ptr<ListeningSocket> {
    if (error) *error = PosixError(linux_errno);
    return nullptr;
  };
  auto where = SocketAddress::FromNumeric(address, port);
  if (!where) return fail(EINVAL);
  std::unique_ptr<ListeningSocket> s(new ListeningSocket());
  s->fd_.Reset(::socket(where->Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!s->fd_.valid()) return fail(errno);
  const int one = 1;
  // A restarted server must get its port back while old connections sit in TIME_WAIT.
  setsockopt(s->fd_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (where->Family() == AF_INET6) setsockopt(s->fd_.get(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
  if (::bind(s->fd_.get(), reinterpret_cast<const sockaddr*>(&where->storage), where->length) != 0)
    return fail(errno);
  if (::listen(s->fd_.get(), kBacklog) != 0) return fail(errno);
  s->loop_ = loop ? std::move(loop) : runtime::RunLoop::Current();
  s->on_accept_ = std::move(on_accept);
  ListeningSocket* self = s.get();
  std::weak_ptr<char> alive = s->alive_;
  s->watch_ = s->loop_->AddWatch(s->fd_.get(), runtime::kReadable, [self, alive](unsigned) {
    if (!alive.expired()) self->AcceptPending();
  });
  if (!s->watch_) return fail(EBADF);
  if (error) *error = {};
  return s;
}

ListeningSocket::~ListeningSocket() {
  Close();
}

void ListeningSocket::AcceptPending() {
  std::weak_ptr<char> alive = alive_;
  while (fd_.valid()) {
    runtime::UniqueFd fd(::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid()) {
      // EAGAIN: all taken. A connection that went away before it was taken
      // (ECONNABORTED) is simply gone; other failures are retried on the next pass.
      return;
    }
    auto connection = TcpStream::FromConnected(std::move(fd));
    if (on_accept_) {
      AcceptCallback callback = on_accept_;
      callback(std::move(connection));
      if (alive.expired()) return;
    }
  }
}

int ListeningSocket::Port() const {
  auto a = LocalAddress();
  return a ? a->Port() : 0;
}

std::optional<SocketAddress> ListeningSocket::LocalAddress() const {
  SocketAddress a;
  a.length = sizeof a.storage;
  if (!fd_.valid() || getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a.storage), &a.length) != 0)
    return std::nullopt;
  return a;
}

void ListeningSocket::Close() {
  if (watch_) {
    watch_->Cancel();
    if (loop_) loop_->RemoveWatch(watch_);
    watch_.reset();
  }
  fd_.Reset();
}

}  // namespace net
