#include "app/engine/ftp_socket_io.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/engine/accepted_certificates.h"
#include "platform/net/proxy_settings.h"
#include "platform/net/tls_session.h"
#include "platform/runtime/run_loop.h"
#include "platform/runtime/unique_fd.h"

namespace engine {
namespace {

constexpr std::size_t kReadChunk = 8192;
// Upload bytes queued beyond this make writes wait for the socket.
constexpr std::size_t kMaxQueuedOutput = 256 * 1024;
constexpr net::StreamError kTimedOut{net::ErrorDomain::kPosix, net::posix_code::kTimedOut};

// One TCP connection, maybe with TLS on it.
struct Link {
  runtime::UniqueFd fd;
  std::shared_ptr<runtime::DescriptorWatch> watch;
  std::string out;  // bytes for the socket (TLS records once TLS runs)
  std::unique_ptr<net::TlsSession> tls;
  std::shared_ptr<runtime::Timer> deadline;
  bool connecting = false;
  bool handshaking = false;
  bool open = false;       // connected (and, with TLS on a data link, handshaken)
  bool raw_ended = false;  // the socket gave its end
  bool ended = false;      // the reader saw the end
  bool failed = false;
  bool finishing = false;    // shut the sending side once `out` is empty
  bool writes_done = false;  // shut: waiting for the server to close its side
  bool want_write = false;
};

class FTPSocketIO final : public FTPConnectionIO {
 public:
  FTPSocketIO(std::string host, int port, FTPSocketOptions options)
      : loop_(runtime::RunLoop::Current()),
        host_(std::move(host)),
        port_(port),
        options_(std::move(options)) {}

  ~FTPSocketIO() override {
    *alive_ = false;
    Drop(data_);
    DropListener();
    Drop(control_);
  }

  void Attach(FTPConnectionParam& connection) override { connection_ = &connection; }

  void OpenControl() override {
    addrinfo hints{};
    hints.ai_family = AF_INET;  // active mode announces an IPv4 address; the client is IPv4 only
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int gai = getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found);
    if (gai != 0 || !found) {
      const net::StreamError error = net::NameLookupError(gai, errno);
      Later([this, error] { FTPConnectionControlFailed(*connection_, error); });
      return;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    int error = 0;
    if (!Connect(control_, address, error)) {
      Later([this, error] { FTPConnectionControlFailed(*connection_, net::PosixError(error)); });
      return;
    }
    control_.watch = loop_->AddWatch(control_.fd.get(), runtime::kWritable,
                                     [this](unsigned readiness) { OnControlReady(readiness); });
  }

  bool WriteControl(std::string_view bytes) override {
    if (!IsControlUsable()) return false;
    if (control_.tls && !control_.handshaking) {
      std::size_t written = 0;
      if (control_.tls->Write(bytes.data(), bytes.size(), written) == net::TlsResult::kError) return false;
      control_.out += control_.tls->TakeAllOutgoing();
    } else {
      control_.out.append(bytes);
    }
    return Flush(control_, /*is_control=*/true);
  }

  bool IsControlUsable() const override {
    return control_.fd.valid() && !control_.failed && !control_.raw_ended;
  }

  void StartControlTls() override {
    control_.tls = net::TlsSession::CreateClient(Context(), host_, Trust());
    control_.handshaking = true;
    control_.deadline = runtime::Timer::Create(options_.tls_handshake_limit, runtime::Nanoseconds(0),
                                               [this](runtime::Timer&) {
                                                 if (!control_.handshaking) return;
                                                 control_.handshaking = false;
                                                 control_.failed = true;
                                                 FTPConnectionControlTlsDone(*connection_, kTimedOut);
                                               });
    loop_->AddTimer(control_.deadline);
    // The first step only writes the client's hello; its outcome is told from the loop.
    Later([this] { StepControlHandshake(); });
  }

  void CloseControl() override {
    if (control_.tls && control_.open && !control_.handshaking) {
      control_.tls->Close();
      control_.out += control_.tls->TakeAllOutgoing();
    }
    if (control_.fd.valid() && !control_.out.empty()) {
      // Best effort: QUIT and the TLS close notice, if the socket takes them now.
      (void)send(control_.fd.get(), control_.out.data(), control_.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    Drop(control_);
  }

  void ConnectData(std::uint16_t port, bool protect) override {
    Drop(data_);
    data_protect_ = protect;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(control_.fd.get(), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
      const int error = errno;
      Later([this, error] { FTPConnectionDataFailed(*connection_, net::PosixError(error)); });
      return;
    }
    peer.sin_port = htons(port);
    int error = 0;
    if (!Connect(data_, peer, error)) {
      Later([this, error] { FTPConnectionDataFailed(*connection_, net::PosixError(error)); });
      return;
    }
    data_.watch = loop_->AddWatch(data_.fd.get(), runtime::kWritable,
                                  [this](unsigned readiness) { OnDataReady(readiness); });
  }

  net::StreamError ListenForData(bool protect, FTPEndpoint& local) override {
    Drop(data_);
    DropListener();
    data_protect_ = protect;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(control_.fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return net::PosixError(errno);
    }
    // Listening on the control connection's own address only: no wider than needed.
    address.sin_port = 0;
    runtime::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return net::PosixError(errno);
    if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd.get(), 1) != 0 ||
        getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return net::PosixError(errno);
    }
    std::memcpy(local.address, &address.sin_addr.s_addr, 4);
    local.port = ntohs(address.sin_port);
    listener_ = std::move(fd);
    listener_watch_ = loop_->AddWatch(listener_.get(), runtime::kReadable, [this](unsigned) { OnAccept(); });
    return {};
  }

  void CloseData() override {
    Drop(data_);
    DropListener();
  }

  bool IsDataOpen() const override { return data_.open && !data_.ended && !data_.failed; }

  FTPDataResult ReadData(void* out, std::size_t size, std::size_t& got, net::StreamError& error) override {
    got = 0;
    if (!data_.open || data_.failed) return FTPDataResult::kError;
    if (data_.ended) return FTPDataResult::kEnd;
    if (data_.handshaking) return FTPDataResult::kWouldBlock;
    if (data_.tls) {
      const net::TlsResult result = data_.tls->Read(out, size, got);
      data_.out += data_.tls->TakeAllOutgoing();
      Flush(data_, false);
      switch (result) {
        case net::TlsResult::kOk:
          return FTPDataResult::kOk;
        case net::TlsResult::kWouldBlock:
          if (!data_.raw_ended) return FTPDataResult::kWouldBlock;
          // Servers often end the data without a TLS close notice: the end of the
          // socket is the end of the file (the 226 on the control connection confirms it).
          data_.ended = true;
          return FTPDataResult::kEnd;
        case net::TlsResult::kClosed:
          data_.ended = true;
          return FTPDataResult::kEnd;
        case net::TlsResult::kError:
          error = data_.tls->Error();
          data_.failed = true;
          return FTPDataResult::kError;
      }
    }
    const ssize_t n = read(data_.fd.get(), out, size);
    if (n > 0) {
      got = static_cast<std::size_t>(n);
      return FTPDataResult::kOk;
    }
    if (n == 0) {
      data_.ended = true;
      return FTPDataResult::kEnd;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return FTPDataResult::kWouldBlock;
    error = net::PosixError(errno);
    data_.failed = true;
    return FTPDataResult::kError;
  }

  FTPDataResult WriteData(const void* bytes, std::size_t size, std::size_t& written,
                          net::StreamError& error) override {
    written = 0;
    if (!data_.open || data_.failed || data_.finishing || data_.writes_done) {
      error = net::PosixError(EPIPE);
      return FTPDataResult::kError;
    }
    if (!Flush(data_, false)) {
      error = data_error_;
      return FTPDataResult::kError;
    }
    if (data_.out.size() >= kMaxQueuedOutput || data_.handshaking) {
      WantWrite(data_);
      return FTPDataResult::kWouldBlock;
    }
    if (data_.tls) {
      if (data_.tls->Write(bytes, size, written) == net::TlsResult::kError) {
        error = data_.tls->Error();
        data_.failed = true;
        return FTPDataResult::kError;
      }
      data_.out += data_.tls->TakeAllOutgoing();
    } else {
      data_.out.append(static_cast<const char*>(bytes), size);
      written = size;
    }
    if (!Flush(data_, false)) {
      error = data_error_;
      return FTPDataResult::kError;
    }
    return written > 0 ? FTPDataResult::kOk : FTPDataResult::kWouldBlock;
  }

  void FinishDataWrites() override {
    if (!data_.open || data_.finishing || data_.writes_done) return;
    if (data_.tls) {
      data_.tls->Close();
      data_.out += data_.tls->TakeAllOutgoing();
    }
    data_.finishing = true;
    Flush(data_, false);
  }

 private:
  static std::shared_ptr<net::TlsContext> Context() {
    static const std::shared_ptr<net::TlsContext> context = net::TlsContext::Client();
    return context;
  }

  net::TlsTrust Trust() const {
    net::TlsTrust trust;
    trust.use_system_roots = options_.use_system_roots;
    trust.trusted_roots = options_.trusted_roots;
    return trust;
  }

  // Runs `work` from the loop, unless the IO is gone by then.
  void Later(std::function<void()> work) {
    loop_->Perform([alive = alive_, work = std::move(work)] {
      if (*alive) work();
    });
  }

  static bool Connect(Link& link, const sockaddr_in& address, int& error) {
    runtime::UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
      error = errno;
      return false;
    }
    if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
      error = errno;
      return false;
    }
    link.fd = std::move(fd);
    link.connecting = true;
    return true;
  }

  void Drop(Link& link) {
    if (link.watch) loop_->RemoveWatch(link.watch);
    if (link.deadline) loop_->RemoveTimer(link.deadline);
    link = Link{};
  }

  void DropListener() {
    if (listener_watch_) loop_->RemoveWatch(listener_watch_);
    listener_watch_.reset();
    listener_.Reset();
  }

  void WantWrite(Link& link) {
    link.want_write = true;
    if (link.watch) link.watch->SetInterest(runtime::kReadable | runtime::kWritable);
  }

  // Writes what the socket takes. False after a write error (recorded on the link).
  bool Flush(Link& link, bool is_control) {
    while (!link.out.empty() && link.fd.valid() && !link.connecting) {
      const ssize_t n = send(link.fd.get(), link.out.data(), link.out.size(), MSG_NOSIGNAL);
      if (n > 0) {
        link.out.erase(0, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
      link.failed = true;
      if (!is_control) data_error_ = net::PosixError(errno);
      return false;
    }
    if (link.finishing && link.out.empty() && link.fd.valid() && !link.connecting) {
      shutdown(link.fd.get(), SHUT_WR);
      link.finishing = false;
      link.want_write = false;
      // The writer hears of the end once the server has closed its side too: closing
      // with bytes of the server's still unread (TLS session tickets, a close notice)
      // would reset the connection, and servers take a reset upload for a failed one.
      link.writes_done = true;
    }
    if (link.watch && !link.connecting) {
      const bool writable = !link.out.empty() || (link.want_write && !link.handshaking);
      link.watch->SetInterest(runtime::kReadable | (writable ? runtime::kWritable : 0u));
    }
    return true;
  }

  static int SocketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
  }

  void OnControlReady(unsigned readiness) {
    auto alive = alive_;
    if (control_.connecting) {
      const int error = SocketError(control_.fd.get());
      if (error != 0) {
        control_.failed = true;
        control_.watch->SetInterest(0);
        FTPConnectionControlFailed(*connection_, net::PosixError(error));
        return;
      }
      control_.connecting = false;
      control_.open = true;
      Flush(control_, true);
      return;
    }
    if (readiness & (runtime::kReadable | runtime::kHangup)) {
      char buffer[kReadChunk];
      const ssize_t n = read(control_.fd.get(), buffer, sizeof buffer);
      if (n > 0) {
        if (control_.tls) {
          control_.tls->PutIncoming(buffer, static_cast<std::size_t>(n));
          if (control_.handshaking) {
            StepControlHandshake();
          } else {
            DrainControlTls();
          }
        } else {
          FTPConnectionControlReceived(*connection_, std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        return;
      }
      if (n == 0) {
        control_.raw_ended = true;
        control_.watch->SetInterest(0);
        if (control_.handshaking) {
          control_.handshaking = false;
          FTPConnectionControlTlsDone(*connection_, {net::ErrorDomain::kSsl, net::tls_code::kClosedAbort});
          return;
        }
        if (control_.tls) {
          control_.tls->IncomingEnded();
          DrainControlTls();
          if (!*alive) return;
        }
        FTPConnectionControlEnded(*connection_);
        return;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        control_.failed = true;
        control_.watch->SetInterest(0);
        FTPConnectionControlFailed(*connection_, net::PosixError(errno));
        return;
      }
    }
    if (readiness & runtime::kWritable) {
      if (!Flush(control_, true)) {
        control_.watch->SetInterest(0);
        FTPConnectionControlFailed(*connection_, net::PosixError(EPIPE));
      }
    }
  }

  void StepControlHandshake() {
    if (!control_.handshaking) return;
    const net::TlsResult result = control_.tls->Handshake();
    control_.out += control_.tls->TakeAllOutgoing();
    Flush(control_, true);
    if (result == net::TlsResult::kWouldBlock) return;
    control_.handshaking = false;
    if (control_.deadline) loop_->RemoveTimer(control_.deadline);
    control_.deadline.reset();
    if (result == net::TlsResult::kOk) {
      control_.open = true;
      FTPConnectionControlTlsDone(*connection_, {});
      return;
    }
    net::StreamError error = control_.tls->Error();
    if (!error) error = {net::ErrorDomain::kSsl, net::tls_code::kClosedAbort};
    control_.failed = true;
    FTPConnectionControlTlsDone(*connection_, error);
  }

  void DrainControlTls() {
    auto alive = alive_;
    char buffer[kReadChunk];
    while (true) {
      std::size_t got = 0;
      const net::TlsResult result = control_.tls->Read(buffer, sizeof buffer, got);
      control_.out += control_.tls->TakeAllOutgoing();
      if (result == net::TlsResult::kOk) {
        FTPConnectionControlReceived(*connection_, std::string_view(buffer, got));
        if (!*alive) return;
        continue;
      }
      if (result == net::TlsResult::kWouldBlock) {
        Flush(control_, true);
        return;
      }
      if (result == net::TlsResult::kClosed) {
        control_.raw_ended = true;
        FTPConnectionControlEnded(*connection_);
        return;
      }
      control_.failed = true;
      FTPConnectionControlFailed(*connection_, control_.tls->Error());
      return;
    }
  }

  void OnAccept() {
    runtime::UniqueFd accepted(accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!accepted.valid()) return;  // a spurious wake-up or a client that gave up: keep listening
    DropListener();
    data_.fd = std::move(accepted);
    data_.watch = loop_->AddWatch(data_.fd.get(), runtime::kReadable,
                                  [this](unsigned readiness) { OnDataReady(readiness); });
    BeginDataSession();
  }

  // The TCP connection is there. The client hears of it at once, so that the transfer
  // command goes out: servers start their side of a protected connection's handshake
  // only once they have that command. The handshake runs meanwhile; reads and writes
  // wait for it.
  void BeginDataSession() {
    auto alive = alive_;
    data_.connecting = false;
    data_.open = true;
    data_.watch->SetInterest(runtime::kReadable);
    if (data_protect_ && control_.tls) {
      data_.tls = net::TlsSession::CreateClient(Context(), host_, Trust());
      data_.tls->ResumeSessionOf(*control_.tls);
      data_.handshaking = true;
      data_.deadline = runtime::Timer::Create(options_.tls_handshake_limit, runtime::Nanoseconds(0),
                                              [this](runtime::Timer&) {
                                                if (!data_.handshaking) return;
                                                FailData(kTimedOut);
                                              });
      loop_->AddTimer(data_.deadline);
    }
    FTPConnectionDataOpened(*connection_);
    if (!*alive || !data_.handshaking) return;
    StepDataHandshake();
  }

  // After an upload: reads and drops what the server still sends, until it closes.
  void DrainAfterWrites() {
    char buffer[kReadChunk];
    const ssize_t n = read(data_.fd.get(), buffer, sizeof buffer);
    if (n > 0) return;  // TLS records after our close notice: nothing the writer needs
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    data_.writes_done = false;
    data_.ended = true;
    data_.watch->SetInterest(0);
    FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kEnd);
  }

  void FailData(net::StreamError error) {
    data_.handshaking = false;
    data_.failed = true;
    if (data_.deadline) loop_->RemoveTimer(data_.deadline);
    data_.deadline.reset();
    if (data_.watch) data_.watch->SetInterest(0);
    FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kError, error);
  }

  void StepDataHandshake() {
    auto alive = alive_;
    const net::TlsResult result = data_.tls->Handshake();
    data_.out += data_.tls->TakeAllOutgoing();
    Flush(data_, false);
    if (result == net::TlsResult::kWouldBlock) {
      // The server closed the connection inside the handshake (it refused our session).
      if (data_.raw_ended) FailData({net::ErrorDomain::kSsl, net::tls_code::kClosedAbort});
      return;
    }
    if (result != net::TlsResult::kOk) {
      net::StreamError error = data_.tls->Error();
      if (!error) error = {net::ErrorDomain::kSsl, net::tls_code::kClosedAbort};
      FailData(error);
      return;
    }
    data_.handshaking = false;
    if (data_.deadline) loop_->RemoveTimer(data_.deadline);
    data_.deadline.reset();
    if (data_.want_write) {
      data_.want_write = false;
      Flush(data_, false);
      FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kCanWrite);
      if (!*alive) return;
    }
    // Bytes may have come with the end of the handshake.
    FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kHasBytes);
  }

  void OnDataReady(unsigned readiness) {
    auto alive = alive_;
    if (data_.connecting) {
      const int error = SocketError(data_.fd.get());
      if (error != 0) {
        data_.failed = true;
        data_.watch->SetInterest(0);
        FTPConnectionDataFailed(*connection_, net::PosixError(error));
        return;
      }
      BeginDataSession();
      return;
    }
    if (data_.writes_done && (readiness & (runtime::kReadable | runtime::kHangup))) {
      DrainAfterWrites();
      return;
    }
    if (data_.tls && (readiness & (runtime::kReadable | runtime::kHangup)) && !data_.raw_ended) {
      char buffer[4 * kReadChunk];
      const ssize_t n = read(data_.fd.get(), buffer, sizeof buffer);
      if (n > 0) {
        data_.tls->PutIncoming(buffer, static_cast<std::size_t>(n));
      } else if (n == 0) {
        data_.raw_ended = true;
        data_.tls->IncomingEnded();
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        data_.failed = true;
        data_.watch->SetInterest(0);
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kError, net::PosixError(errno));
        return;
      }
      if (data_.handshaking) {
        StepDataHandshake();
        return;
      }
      if (data_.raw_ended) data_.watch->SetInterest(data_.want_write ? runtime::kWritable : 0u);
      FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kHasBytes);
      if (!*alive) return;
    } else if (!data_.tls && (readiness & (runtime::kReadable | runtime::kHangup)) && data_.open) {
      if (data_.ended) {
        data_.watch->SetInterest(data_.want_write ? runtime::kWritable : 0u);
      } else {
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kHasBytes);
        if (!*alive) return;
      }
    }
    if ((readiness & runtime::kWritable) && data_.fd.valid()) {
      if (!Flush(data_, false)) {
        data_.watch->SetInterest(0);
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kError, data_error_);
        return;
      }
      if (data_.out.empty() && data_.want_write && data_.open && !data_.handshaking) {
        data_.want_write = false;
        Flush(data_, false);  // drops the write interest
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kCanWrite);
      }
    }
  }

  std::shared_ptr<runtime::RunLoop> loop_;
  std::string host_;
  int port_;
  FTPSocketOptions options_;
  FTPConnectionParam* connection_ = nullptr;
  // False once the IO is gone: loop closures and callbacks up the stack check it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  Link control_;
  Link data_;
  bool data_protect_ = false;
  net::StreamError data_error_;
  runtime::UniqueFd listener_;
  std::shared_ptr<runtime::DescriptorWatch> listener_watch_;
};

}  // namespace

std::unique_ptr<FTPConnectionIO> CreateFTPSocketIO(const values::Url& url, FTPSocketOptions options) {
  const int port = url.Port() > 0 ? url.Port() : 21;
  return std::make_unique<FTPSocketIO>(url.Host().value_or(""), port, std::move(options));
}

std::unique_ptr<FTPConnectionParam> FTPConnectionCreate(const values::Url& url, std::string user,
                                                        std::string password, net::StreamError* error) {
  if (!url.Host()) {
    if (error) *error = {net::ErrorDomain::kMacOsStatus, -50};
    return nullptr;
  }
  FTPSocketOptions options;
  options.trusted_roots = CopyAcceptedCertificates(url);
  const bool passive = net::ProxySettingsSource::Shared().Current().ftp_passive;
  return FTPConnectionCreate(url, std::move(user), std::move(password),
                             CreateFTPSocketIO(url, std::move(options)), passive, error);
}

}  // namespace engine
