#pragma once
// A listening TCP socket on a run loop: every connection it accepts is handed to the
// callback as a connected TcpStream, not yet opened (the receiver opens it on the loop
// it wants, or wraps it first in a server TlsStream made with TlsContext::Server).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/net/stream_error.h"
#include "platform/net/tcp_stream.h"
#include "platform/runtime/unique_fd.h"

namespace runtime {
class DescriptorWatch;
class RunLoop;
}  // namespace runtime

namespace net {

class ListeningSocket {
 public:
  using AcceptCallback = std::function<void(std::unique_ptr<TcpStream> connection)>;

  // Listens on the numeric `address` ("127.0.0.1", "0.0.0.0", "::1", "::") and `port`
  // (0: one the system picks), calling back on `loop` (the calling thread's when null).
  // nullptr on failure, with the reason in `error`.
  static std::unique_ptr<ListeningSocket> Listen(const std::string& address, int port,
                                                 AcceptCallback on_accept,
                                                 std::shared_ptr<runtime::RunLoop> loop = nullptr,
                                                 StreamError* error = nullptr);
  ~ListeningSocket();
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;

  // The port actually bound (the picked one when asked for 0).
  int Port() const;
  std::optional<SocketAddress> LocalAddress() const;
  int Descriptor() const { return fd_.get(); }
  // Stops accepting and closes the socket; no callback comes after it.
  void Close();

 private:
  ListeningSocket() = default;
  void AcceptPending();

  runtime::UniqueFd fd_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::DescriptorWatch> watch_;
  AcceptCallback on_accept_;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace net
