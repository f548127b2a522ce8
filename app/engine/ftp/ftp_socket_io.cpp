#include "app/engine/ftp/ftp_socket_io.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <utility>

#include "app/engine/network/accepted_certificates.h"
#include "platform/net/listening_socket.h"
#include "platform/net/proxy_settings.h"
#include "platform/net/tcp_stream.h"
#include "platform/net/tls_stream.h"
#include "platform/runtime/run_loop.h"

namespace engine {
namespace {

constexpr std::size_t kReadChunk = 8192;
constexpr net::StreamError kTimedOut{net::ErrorDomain::kPosix, net::posix_code::kTimedOut};
constexpr net::StreamError kBrokenPipe{net::ErrorDomain::kPosix, net::posix_code::kBrokenPipe};

// IPv4 addresses only: active mode announces the control connection's address in a form
// ("EPRT |1|...", "PORT h1,h2,h3,h4,...") that holds IPv4 alone.
int ResolveIpv4(const std::string& host, int port, std::vector<net::SocketAddress>& out) {
  std::vector<net::SocketAddress> all;
  const int rc = net::TcpStream::ResolveWithSystem(host, port, all);
  if (rc != 0) return rc;
  for (auto& a : all) {
    if (a.Family() == AF_INET) out.push_back(a);
  }
  return out.empty() ? EAI_NONAME : 0;
}

class FTPSocketIO final : public FTPConnectionIO {
 public:
  FTPSocketIO(std::string host, int port, FTPSocketOptions options)
      : loop_(runtime::RunLoop::Current()),
        host_(std::move(host)),
        port_(port),
        options_(std::move(options)) {}

  ~FTPSocketIO() override {
    *alive_ = false;
    CloseData();
    DropControl();
  }

  void Attach(FTPConnectionParam& connection) override { connection_ = &connection; }

  // ---- control connection

  void OpenControl() override {
    control_tcp_ = net::TcpStream::Connect(host_, port_, options_.resolver ? options_.resolver : ResolveIpv4);
    control_ = control_tcp_.get();
    control_->SetClient(net::kEventAll, [this](net::StreamEvent e) { OnControlEvent(e); });
    control_->Open(loop_);
  }

  bool WriteControl(std::string_view bytes) override {
    if (!IsControlUsable()) return false;
    control_out_.append(bytes);
    return FlushControl();
  }

  bool IsControlUsable() const override {
    if (!control_ || control_failed_ || control_ended_) return false;
    const net::StreamStatus status = control_->Status();
    return status != net::StreamStatus::kClosed && status != net::StreamStatus::kError &&
           status != net::StreamStatus::kAtEnd;
  }

  void StartControlTls() override {
    control_tls_ = net::TlsStream::CreateClient(std::move(control_tcp_), host_, Trust());
    control_ = control_tls_.get();
    control_handshaking_ = true;
    control_->SetClient(net::kEventAll, [this](net::StreamEvent e) { OnControlEvent(e); });
    control_deadline_ = runtime::Timer::Create(options_.tls_handshake_limit, runtime::Nanoseconds(0),
                                               [this](runtime::Timer&) {
                                                 if (!control_handshaking_) return;
                                                 control_handshaking_ = false;
                                                 control_failed_ = true;
                                                 FTPConnectionControlTlsDone(*connection_, kTimedOut);
                                               });
    loop_->AddTimer(control_deadline_);
    control_->Open(loop_);
  }

  void CloseControl() override {
    // QUIT, if the socket takes it now; the TLS stream adds its close notice.
    if (control_ && !control_out_.empty()) FlushControl();
    DropControl();
  }

  // ---- data connection

  void ConnectData(std::uint16_t port, bool protect) override {
    CloseData();
    data_protect_ = protect;
    const auto peer = ControlCarrier() ? ControlCarrier()->PeerAddress() : std::nullopt;
    if (!peer) {
      Later([this] {
        FTPConnectionDataFailed(*connection_, {net::ErrorDomain::kPosix, net::posix_code::kNotConnected});
      });
      return;
    }
    // The control connection's peer, whatever address the server named.
    data_tcp_ = net::TcpStream::Connect(peer->Host(), port);
    data_ = data_tcp_.get();
    data_->SetClient(net::kEventAll, [this](net::StreamEvent e) { OnDataEvent(e); });
    data_->Open(loop_);
  }

  net::StreamError ListenForData(bool protect, FTPEndpoint& local) override {
    CloseData();
    data_protect_ = protect;
    const auto address = ControlCarrier() ? ControlCarrier()->LocalAddress() : std::nullopt;
    if (!address || address->Family() != AF_INET)
      return {net::ErrorDomain::kPosix, net::posix_code::kNotConnected};
    net::StreamError error;
    // On the control connection's own address only: no wider than the server needs.
    listener_ = net::ListeningSocket::Listen(
        address->Host(), 0,
        [this](std::unique_ptr<net::TcpStream> accepted) { OnAccept(std::move(accepted)); }, loop_, &error);
    if (!listener_)
      return error ? error : net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kAddressInUse};
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address->storage);
    std::memcpy(local.address, &in->sin_addr.s_addr, 4);
    local.port = static_cast<std::uint16_t>(listener_->Port());
    return {};
  }

  void CloseData() override {
    if (listener_) listener_->Close();
    retired_listener_ = std::move(listener_);  // may be inside its own callback: dropped later
    if (data_) data_->Close();
    if (data_deadline_) loop_->RemoveTimer(data_deadline_);
    data_deadline_.reset();
    // The next protected data connection resumes this one's session: under TLS 1.3 a
    // server takes each session ticket once, and the ticket this connection received is
    // the one left to offer (servers that insist on reuse refuse a fresh handshake).
    if (data_tls_ && data_tls_->Session().IsHandshakeDone() && !data_failed_) {
      data_tls_->SetClient(0, nullptr);
      last_data_tls_ = std::move(data_tls_);
    }
    data_tls_.reset();
    data_tcp_.reset();
    data_ = nullptr;
    data_open_ = data_handshaking_ = data_ended_ = data_failed_ = false;
    finishing_ = wrote_ = write_acknowledged_ = writes_done_ = false;
  }

  net::CertificateChain ControlPeerCertificates() const override {
    return control_tls_ ? control_tls_->PeerCertificates() : net::CertificateChain{};
  }

  int DataDescriptor() const override { return data_ ? data_->Descriptor() : -1; }

  bool IsDataOpen() const override { return data_ && data_open_ && !data_ended_ && !data_failed_; }

  FTPDataResult ReadData(void* out, std::size_t size, std::size_t& got, net::StreamError& error) override {
    got = 0;
    if (!data_ || data_failed_) return FTPDataResult::kError;
    if (data_ended_) return FTPDataResult::kEnd;
    if (data_handshaking_) return FTPDataResult::kWouldBlock;
    const std::ptrdiff_t n = data_->Read(out, size);
    if (n > 0) {
      got = static_cast<std::size_t>(n);
      return FTPDataResult::kOk;
    }
    if (n == net::kStreamWouldBlock) return FTPDataResult::kWouldBlock;
    if (n == net::kStreamAtEnd) {
      data_ended_ = true;
      return FTPDataResult::kEnd;
    }
    data_failed_ = true;
    error = data_->Error();
    return FTPDataResult::kError;
  }

  FTPDataResult WriteData(const void* bytes, std::size_t size, std::size_t& written,
                          net::StreamError& error) override {
    written = 0;
    if (!data_ || data_failed_ || finishing_ || writes_done_) {
      error = data_ && data_->Error() ? data_->Error() : kBrokenPipe;
      return FTPDataResult::kError;
    }
    // Before the handshake the TLS stream takes nothing; its kEventCanAcceptBytes follows.
    const std::ptrdiff_t n = data_->Write(bytes, size);
    if (n > 0) {
      written = static_cast<std::size_t>(n);
      wrote_ = true;
      write_acknowledged_ = false;
      return FTPDataResult::kOk;
    }
    if (n == net::kStreamWouldBlock) return FTPDataResult::kWouldBlock;
    data_failed_ = true;
    error = data_->Error();
    return FTPDataResult::kError;
  }

  void FinishDataWrites() override {
    if (!data_ || finishing_ || writes_done_) return;
    finishing_ = true;
    // A TLS stream keeps what the socket has not taken yet; its next "can accept" says
    // that all of it went out. Plain TCP hands every counted byte to the kernel at once.
    if (!data_tls_ || !wrote_ || write_acknowledged_) Later([this] { EndWrites(); });
  }

 private:
  net::TlsTrust Trust() const {
    net::TlsTrust trust;
    trust.use_system_roots = options_.use_system_roots;
    trust.trusted_roots = options_.trusted_roots;
    return trust;
  }

  net::TcpStream* ControlCarrier() const {
    if (control_tls_) return &control_tls_->Carrier();
    return control_tcp_.get();
  }

  // Runs `work` from the loop, unless the IO is gone by then.
  void Later(std::function<void()> work) {
    loop_->Perform([alive = alive_, work = std::move(work)] {
      if (*alive) work();
    });
  }

  void DropControl() {
    if (control_deadline_) loop_->RemoveTimer(control_deadline_);
    control_deadline_.reset();
    if (control_) control_->Close();
    control_tls_.reset();
    control_tcp_.reset();
    control_ = nullptr;
  }

  bool FlushControl() {
    while (!control_out_.empty() && !control_handshaking_) {
      const std::ptrdiff_t n = control_->Write(control_out_.data(), control_out_.size());
      if (n > 0) {
        control_out_.erase(0, static_cast<std::size_t>(n));
        continue;
      }
      if (n == net::kStreamWouldBlock) break;  // the rest goes on kEventCanAcceptBytes
      control_failed_ = true;
      return false;
    }
    return true;
  }

  void OnControlEvent(net::StreamEvent event) {
    auto alive = alive_;
    switch (event) {
      case net::kEventOpenCompleted:
        if (control_handshaking_) {
          control_handshaking_ = false;
          if (control_deadline_) loop_->RemoveTimer(control_deadline_);
          control_deadline_.reset();
          FTPConnectionControlTlsDone(*connection_, {});
          return;
        }
        FlushControl();
        return;
      case net::kEventHasBytes: {
        char buffer[kReadChunk];
        const std::ptrdiff_t n = control_->Read(buffer, sizeof buffer);
        if (n > 0)
          FTPConnectionControlReceived(*connection_, std::string_view(buffer, static_cast<std::size_t>(n)));
        return;
      }
      case net::kEventCanAcceptBytes:
        if (!FlushControl())
          FTPConnectionControlFailed(*connection_, control_->Error() ? control_->Error() : kBrokenPipe);
        return;
      case net::kEventEnd:
        control_ended_ = true;
        if (control_handshaking_) {
          control_handshaking_ = false;
          FTPConnectionControlTlsDone(*connection_, {net::ErrorDomain::kSsl, net::tls_code::kClosedAbort});
          return;
        }
        FTPConnectionControlEnded(*connection_);
        return;
      case net::kEventError:
        control_failed_ = true;
        if (control_handshaking_) {
          control_handshaking_ = false;
          if (control_deadline_) loop_->RemoveTimer(control_deadline_);
          control_deadline_.reset();
          FTPConnectionControlTlsDone(*connection_, control_->Error());
          return;
        }
        FTPConnectionControlFailed(*connection_, control_->Error());
        return;
      default:
        return;
    }
  }

  void OnAccept(std::unique_ptr<net::TcpStream> accepted) {
    if (data_) return;  // one data connection per transfer
    if (listener_) listener_->Close();
    data_tcp_ = std::move(accepted);
    data_ = data_tcp_.get();
    data_->SetClient(net::kEventAll, [this](net::StreamEvent e) { OnDataEvent(e); });
    data_->Open(loop_);
  }

  // The TCP connection is up. The client hears of it at once so that the transfer command
  // goes out: servers start their side of a protected connection's handshake only once
  // they have that command. The handshake runs meanwhile; reads and writes wait for it.
  void OnDataConnected() {
    auto alive = alive_;
    data_open_ = true;
    if (data_protect_ && control_tls_) {
      data_tls_ = net::TlsStream::CreateClient(std::move(data_tcp_), host_, Trust());
      // Servers may insist that the data channel resumes the control channel's session.
      data_tls_->ResumeSessionOf(last_data_tls_ ? *last_data_tls_ : *control_tls_);
      data_ = data_tls_.get();
      data_handshaking_ = true;
      data_->SetClient(net::kEventAll, [this](net::StreamEvent e) { OnDataEvent(e); });
      data_deadline_ = runtime::Timer::Create(options_.tls_handshake_limit, runtime::Nanoseconds(0),
                                              [this](runtime::Timer&) {
                                                if (data_handshaking_) FailData(kTimedOut);
                                              });
      loop_->AddTimer(data_deadline_);
      data_->Open(loop_);
    }
    FTPConnectionDataOpened(*connection_);
  }

  void FailData(net::StreamError error) {
    data_handshaking_ = false;
    data_failed_ = true;
    if (data_deadline_) loop_->RemoveTimer(data_deadline_);
    data_deadline_.reset();
    FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kError, error);
  }

  void EndWrites() {
    if (!data_ || !finishing_) return;
    finishing_ = false;
    writes_done_ = true;
    // End our side and wait until the server closes its own, so that nothing of it is
    // left unread: closing then would reset the connection, which servers take for a
    // failed upload.
    if (data_tls_) {
      data_tls_->ShutdownWriting();
    } else {
      data_tcp_->ShutdownWriting();
    }
  }

  void OnDataEvent(net::StreamEvent event) {
    switch (event) {
      case net::kEventOpenCompleted:
        if (data_handshaking_) {
          data_handshaking_ = false;
          if (data_deadline_) loop_->RemoveTimer(data_deadline_);
          data_deadline_.reset();
          return;  // kEventCanAcceptBytes and kEventHasBytes follow
        }
        OnDataConnected();
        return;
      case net::kEventHasBytes:
        if (writes_done_) {
          char sink[kReadChunk];
          (void)data_->Read(sink, sizeof sink);
          return;
        }
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kHasBytes);
        return;
      case net::kEventCanAcceptBytes:
        write_acknowledged_ = true;
        if (finishing_) {
          EndWrites();
          return;
        }
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kCanWrite);
        return;
      case net::kEventEnd:
        data_ended_ = true;
        FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kEnd);
        return;
      case net::kEventError:
        if (writes_done_) {
          // Our side had ended; how the server tears the connection down does not
          // matter (without our TLS close notice it may not send its own): its reply
          // on the control connection says whether it has the file.
          data_ended_ = true;
          FTPConnectionDataEventReceived(*connection_, FTPDataEvent::kEnd);
          return;
        }
        if (!data_open_) {
          // Not connected: the client may try another way of making data connections.
          const net::StreamError error = data_->Error();
          data_failed_ = true;
          FTPConnectionDataFailed(*connection_, error);
          return;
        }
        FailData(data_->Error());
        return;
      default:
        return;
    }
  }

  std::shared_ptr<runtime::RunLoop> loop_;
  std::string host_;
  int port_;
  FTPSocketOptions options_;
  FTPConnectionParam* connection_ = nullptr;
  // False once the IO is gone: loop closures check it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  std::unique_ptr<net::TcpStream> control_tcp_;  // until TLS starts; then the TLS stream's carrier
  std::unique_ptr<net::TlsStream> control_tls_;
  net::ByteStream* control_ = nullptr;
  std::string control_out_;
  bool control_handshaking_ = false;
  bool control_failed_ = false;
  bool control_ended_ = false;
  std::shared_ptr<runtime::Timer> control_deadline_;

  std::unique_ptr<net::TcpStream> data_tcp_;
  std::unique_ptr<net::TlsStream> data_tls_;
  std::unique_ptr<net::TlsStream> last_data_tls_;  // closed; kept for its session
  net::ByteStream* data_ = nullptr;
  std::unique_ptr<net::ListeningSocket> listener_;
  std::unique_ptr<net::ListeningSocket> retired_listener_;
  bool data_protect_ = false;
  bool data_open_ = false;
  bool data_handshaking_ = false;
  bool data_ended_ = false;
  bool data_failed_ = false;
  bool finishing_ = false;
  bool wrote_ = false;
  bool write_acknowledged_ = false;
  bool writes_done_ = false;
  std::shared_ptr<runtime::Timer> data_deadline_;
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
