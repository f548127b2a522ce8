#include "platform/net/tcp_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <cstring>

#include "platform/runtime/run_loop.h"

namespace net {

// ---- SocketAddress

std::optional<SocketAddress> SocketAddress::FromNumeric(const std::string& host, int port) {
  SocketAddress a;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&a.storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&a.storage);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    a.length = sizeof(sockaddr_in);
    return a;
  }
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  if (inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    a.length = sizeof(sockaddr_in6);
    return a;
  }
  return std::nullopt;
}

std::string SocketAddress::Host() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (Family() == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text, sizeof text);
  } else if (Family() == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text, sizeof text);
  }
  return text;
}

int SocketAddress::Port() const {
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
  if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  return 0;
}

std::string SocketAddress::ToString() const {
  const std::string host = Host();
  return (Family() == AF_INET6 ? "[" + host + "]" : host) + ":" + std::to_string(Port());
}

// ---- TcpStream

int TcpStream::ResolveWithSystem(const std::string& host, int port, std::vector<SocketAddress>& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  const int rc = getaddrinfo(bare.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (rc != 0) return rc;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress a;
    std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
    a.length = ai->ai_addrlen;
    out.push_back(a);
  }
  freeaddrinfo(list);
  return out.empty() ? EAI_NONAME : 0;
}

std::unique_ptr<TcpStream> TcpStream::Connect(std::string host, int port, Resolver resolver) {
  std::unique_ptr<TcpStream> s(new TcpStream());
  s->host_ = std::move(host);
  s->port_ = port;
  s->resolver_ = resolver ? std::move(resolver) : Resolver(&TcpStream::ResolveWithSystem);
  return s;
}

std::unique_ptr<TcpStream> TcpStream::FromConnected(runtime::UniqueFd fd) {
  std::unique_ptr<TcpStream> s(new TcpStream());
  s->fd_ = std::move(fd);
  if (auto peer = s->PeerAddress()) {
    s->host_ = peer->Host();
    s->port_ = peer->Port();
  }
  return s;
}

TcpStream::~TcpStream() {
  Close();
}

void TcpStream::SetClient(unsigned events, Client client) {
  events_ = events;
  client_ = client ? std::make_shared<Client>(std::move(client)) : nullptr;
  UpdateInterest();
}

bool TcpStream::Open(std::shared_ptr<runtime::RunLoop> loop) {
  if (status_ != StreamStatus::kNotOpen) return false;
  loop_ = loop ? std::move(loop) : runtime::RunLoop::Current();
  if (!loop_) return false;
  std::weak_ptr<char> alive = alive_;
  posted_source_ = runtime::Source::Create([this, alive] {
    if (!alive.expired()) PerformPosted();
  });
  loop_->AddSource(posted_source_);

  if (fd_.valid()) {  // accepted: already connected
    status_ = StreamStatus::kOpen;
    WatchDescriptor();
    Post(kEventOpenCompleted);
    return true;
  }
  status_ = StreamStatus::kOpening;
  const int rc = resolver_(host_, port_, addresses_);
  if (rc != 0) {
    Fail(NameLookupError(rc, errno));
    return true;
  }
  TryNextAddress();
  return true;
}

void TcpStream::TryNextAddress() {
  StopWatching();
  fd_.Reset();
  while (next_address_ < addresses_.size()) {
    const SocketAddress& a = addresses_[next_address_++];
    runtime::UniqueFd fd(::socket(a.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!fd.valid()) {
      last_connect_errno_ = errno;
      continue;
    }
    int rc;
    do {
      rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&a.storage), a.length);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 || errno == EINPROGRESS) {
      fd_ = std::move(fd);
      if (rc == 0) {
        status_ = StreamStatus::kOpen;
        can_accept_armed_ = true;
        WatchDescriptor();
        Post(kEventOpenCompleted);
      } else {
        WatchDescriptor();
      }
      return;
    }
    last_connect_errno_ = errno;
  }
  Fail(PosixError(last_connect_errno_ ? last_connect_errno_ : ECONNREFUSED));
}

void TcpStream::WatchDescriptor() {
  std::weak_ptr<char> alive = alive_;
  watch_ = loop_->AddWatch(fd_.get(), 0, [this, alive](unsigned readiness) {
    if (!alive.expired()) OnReady(readiness);
  });
  UpdateInterest();
}

void TcpStream::StopWatching() {
  if (!watch_) return;
  watch_->Cancel();
  if (loop_) loop_->RemoveWatch(watch_);
  watch_.reset();
}

void TcpStream::UpdateInterest() {
  if (!watch_) return;
  unsigned interest = 0;
  if (status_ == StreamStatus::kOpening) {
    interest = runtime::kWritable;
  } else if (status_ == StreamStatus::kOpen || status_ == StreamStatus::kAtEnd) {
    if ((events_ & (kEventHasBytes | kEventEnd)) && !peer_ended_) interest |= runtime::kReadable;
    if ((events_ & kEventCanAcceptBytes) && can_accept_armed_) interest |= runtime::kWritable;
  }
  if (watch_->Interest() != interest) watch_->SetInterest(interest);
}

void TcpStream::OnReady(unsigned readiness) {
  if (status_ == StreamStatus::kOpening) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err == 0 && !(readiness & runtime::kWritable)) return;
    if (err != 0) {
      last_connect_errno_ = err;
      TryNextAddress();
      return;
    }
    status_ = StreamStatus::kOpen;
    can_accept_armed_ = true;
    UpdateInterest();
    Deliver(kEventOpenCompleted);
    return;
  }
  if (status_ != StreamStatus::kOpen) return;
  if ((readiness & (runtime::kReadable | runtime::kHangup)) && (events_ & (kEventHasBytes | kEventEnd)) &&
      !peer_ended_) {
    // A peek tells bytes from the end of the stream without taking anything.
    char c;
    const ssize_t n = ::recv(fd_.get(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      if (!Deliver(kEventHasBytes)) return;
    } else if (n == 0) {
      peer_ended_ = true;
      status_ = StreamStatus::kAtEnd;
      UpdateInterest();
      if (!Deliver(kEventEnd)) return;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      Fail(PosixError(errno));
      return;
    }
  }
  if (status_ != StreamStatus::kOpen && status_ != StreamStatus::kAtEnd) return;
  if ((readiness & runtime::kWritable) && (events_ & kEventCanAcceptBytes) && can_accept_armed_) {
    can_accept_armed_ = false;
    UpdateInterest();
    Deliver(kEventCanAcceptBytes);
  }
}

void TcpStream::Post(StreamEvent event) {
  posted_ |= event;
  if (posted_source_) posted_source_->Signal();
}

void TcpStream::PerformPosted() {
  const unsigned posted = std::exchange(posted_, 0u);
  if ((posted & kEventOpenCompleted) && status_ == StreamStatus::kOpen) {
    if (!Deliver(kEventOpenCompleted)) return;
  }
  if ((posted & kEventError) && status_ == StreamStatus::kError) Deliver(kEventError);
}

bool TcpStream::Deliver(StreamEvent event) {
  if (!(events_ & event) || !client_) return true;
  std::weak_ptr<char> alive = alive_;
  std::shared_ptr<Client> client = client_;  // the callback may replace the client
  (*client)(event);
  return !alive.expired();
}

void TcpStream::Fail(StreamError error) {
  error_ = error;
  status_ = StreamStatus::kError;
  StopWatching();
  Post(kEventError);
}

void TcpStream::Close() {
  StopWatching();
  if (posted_source_) {
    posted_source_->Invalidate();
    if (loop_) loop_->RemoveSource(posted_source_);
    posted_source_.reset();
  }
  fd_.Reset();
  if (status_ != StreamStatus::kNotOpen && status_ != StreamStatus::kError) status_ = StreamStatus::kClosed;
}

std::ptrdiff_t TcpStream::Read(void* out, std::size_t size) {
  if (status_ == StreamStatus::kError) return kStreamFailed;
  if (peer_ended_ && status_ == StreamStatus::kAtEnd) return kStreamAtEnd;
  if (status_ != StreamStatus::kOpen || size == 0) return kStreamWouldBlock;
  ssize_t n;
  do {
    n = ::recv(fd_.get(), out, size, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return n;
  if (n == 0) {
    peer_ended_ = true;
    status_ = StreamStatus::kAtEnd;
    UpdateInterest();
    return kStreamAtEnd;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) return kStreamWouldBlock;
  error_ = PosixError(errno);
  status_ = StreamStatus::kError;
  StopWatching();
  return kStreamFailed;
}

std::ptrdiff_t TcpStream::SpliceInto(int pipe_descriptor, std::size_t size) {
  if (status_ == StreamStatus::kError) return kStreamFailed;
  if (peer_ended_ && status_ == StreamStatus::kAtEnd) return kStreamAtEnd;
  if (status_ != StreamStatus::kOpen || size == 0) return kStreamWouldBlock;
  ssize_t n;
  do {
    n = ::splice(fd_.get(), nullptr, pipe_descriptor, nullptr, size, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return n;
  if (n == 0) {
    peer_ended_ = true;
    status_ = StreamStatus::kAtEnd;
    UpdateInterest();
    return kStreamAtEnd;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) return kStreamWouldBlock;
  if (errno == EINVAL || errno == ENOSYS) return kStreamCannotSplice;
  error_ = PosixError(errno);
  status_ = StreamStatus::kError;
  StopWatching();
  return kStreamFailed;
}

std::ptrdiff_t TcpStream::Write(const void* data, std::size_t size) {
  if (status_ == StreamStatus::kError) return kStreamFailed;
  if ((status_ != StreamStatus::kOpen && status_ != StreamStatus::kAtEnd) || size == 0)
    return kStreamWouldBlock;
  ssize_t n;
  do {
    n = ::send(fd_.get(), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  can_accept_armed_ = true;
  UpdateInterest();
  if (n >= 0) return n == 0 ? kStreamWouldBlock : n;
  if (errno == EAGAIN || errno == EWOULDBLOCK) return kStreamWouldBlock;
  error_ = PosixError(errno);
  status_ = StreamStatus::kError;
  StopWatching();
  return kStreamFailed;
}

bool TcpStream::HasBytesAvailable() const {
  if (status_ != StreamStatus::kOpen) return false;
  char c;
  return ::recv(fd_.get(), &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

void TcpStream::ShutdownWriting() {
  if (fd_.valid()) ::shutdown(fd_.get(), SHUT_WR);
}

std::optional<SocketAddress> TcpStream::LocalAddress() const {
  SocketAddress a;
  a.length = sizeof a.storage;
  if (!fd_.valid() || getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a.storage), &a.length) != 0)
    return std::nullopt;
  return a;
}

std::optional<SocketAddress> TcpStream::PeerAddress() const {
  SocketAddress a;
  a.length = sizeof a.storage;
  if (!fd_.valid() || getpeername(fd_.get(), reinterpret_cast<sockaddr*>(&a.storage), &a.length) != 0)
    return std::nullopt;
  return a;
}

}  // namespace net
