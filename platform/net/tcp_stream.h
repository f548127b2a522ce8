#pragma once
// A TCP connection as a non-blocking byte stream on a run loop (see byte_stream.h for
// the event contract).
//
// A client stream resolves its host on the calling thread when opened (getaddrinfo
// blocks that thread, as the download tasks expect), then connects without blocking to
// each address in turn until one answers: "localhost" may name ::1 first while the
// server listens on 127.0.0.1 only. A server stream wraps a descriptor that a
// listening socket accepted; opening it only schedules it on a loop.
//
// Errors: name lookups fail in the NetDB domain, everything else in the POSIX domain
// with the stored numbering (see stream_error.h). An error that Read or Write returns is
// not sent again as an event.

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/byte_stream.h"
#include "platform/runtime/unique_fd.h"

namespace runtime {
class DescriptorWatch;
class Source;
}  // namespace runtime

namespace net {

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  // From a numeric IPv4 or IPv6 address.
  static std::optional<SocketAddress> FromNumeric(const std::string& host, int port);
  int Family() const { return storage.ss_family; }
  // The numeric address, without brackets.
  std::string Host() const;
  int Port() const;
  // "127.0.0.1:80", "[::1]:80".
  std::string ToString() const;
};

class TcpStream : public ByteStream {
 public:
  // Resolves `host` into addresses, or fails with a getaddrinfo result (EAI_*). Tests
  // replace it to reach the name-lookup error path without a resolver.
  using Resolver = std::function<int(const std::string& host, int port, std::vector<SocketAddress>& out)>;
  static int ResolveWithSystem(const std::string& host, int port, std::vector<SocketAddress>& out);

  static std::unique_ptr<TcpStream> Connect(std::string host, int port, Resolver resolver = nullptr);
  // A connected descriptor (from accept); the stream owns it.
  static std::unique_ptr<TcpStream> FromConnected(runtime::UniqueFd fd);

  ~TcpStream() override;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  void SetClient(unsigned events, Client client) override;
  // Changes the events asked for, keeping the client.
  void SetEvents(unsigned events) {
    events_ = events;
    UpdateInterest();
  }
  bool Open(std::shared_ptr<runtime::RunLoop> loop = nullptr) override;
  void Close() override;
  std::ptrdiff_t Read(void* out, std::size_t size) override;
  std::ptrdiff_t Write(const void* data, std::size_t size) override;
  // Read's counterpart without a copy: moves at most `size` received bytes into the pipe
  // `pipe_descriptor` (splice(2)). The same answers as Read, and kStreamCannotSplice when
  // the kernel cannot splice this socket (the bytes stay there for Read).
  std::ptrdiff_t SpliceInto(int pipe_descriptor, std::size_t size);
  bool HasBytesAvailable() const override;
  StreamStatus Status() const override { return status_; }
  StreamError Error() const override { return error_; }
  int Descriptor() const override { return fd_.get(); }

  // Sends FIN after what was written; reading goes on.
  void ShutdownWriting();
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  std::optional<SocketAddress> LocalAddress() const;
  std::optional<SocketAddress> PeerAddress() const;
  const std::shared_ptr<runtime::RunLoop>& Loop() const { return loop_; }

 private:
  TcpStream() = default;
  void TryNextAddress();
  void WatchDescriptor();
  void UpdateInterest();
  void OnReady(unsigned readiness);
  void Post(StreamEvent event);
  void PerformPosted();
  // False when the client destroyed the stream from its callback.
  bool Deliver(StreamEvent event);
  void Fail(StreamError error);
  void StopWatching();

  std::string host_;
  int port_ = 0;
  Resolver resolver_;
  std::vector<SocketAddress> addresses_;
  std::size_t next_address_ = 0;
  int last_connect_errno_ = 0;

  runtime::UniqueFd fd_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::DescriptorWatch> watch_;
  std::shared_ptr<runtime::Source> posted_source_;
  unsigned posted_ = 0;

  unsigned events_ = 0;
  std::shared_ptr<Client> client_;
  StreamStatus status_ = StreamStatus::kNotOpen;
  StreamError error_;
  bool can_accept_armed_ = false;
  bool peer_ended_ = false;
  // Callbacks on the loop hold a weak reference: expired means the stream is gone.
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace net
