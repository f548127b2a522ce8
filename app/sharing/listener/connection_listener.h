#pragma once
// The listening half that both sharing servers share: a TCP listener on one port, a task
// that accepts, and one task per accepted connection, which runs the server's own
// conversation over the socket.
//
// Bounded: at most maxConnections connections at once. When a new one would pass the limit,
// the oldest connection not yet marked settled (MarkSettled) is shut down to make room when
// evictUnsettled is on, else the new one is closed at once. Running out of descriptors
// pauses the accepts briefly instead of spinning.
//
// Stop (from the main thread) makes the stop descriptor readable, which every connection
// task watches in its polls, and waits (bounded) for the listener and the connections.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "platform/runtime/unique_fd.h"

namespace runtime {
class Task;
}

namespace sharing {

struct ConnectionListenerOptions {
  std::uint16_t port = 0;     // 0: any free port (tests)
  bool loopbackOnly = false;  // 127.0.0.1 only (tests)
  std::size_t maxConnections = 64;
  bool evictUnsettled = false;
  std::string listenTaskName = "listener";
  std::string connectionTaskName = "connection";
};

class ConnectionListener : public std::enable_shared_from_this<ConnectionListener> {
 public:
  // Runs in the connection's own task; the listener closes the socket after it returns.
  using Serve = std::function<void(ConnectionListener& listener, std::uint64_t id, int fd)>;

  // Nothing when the port cannot be bound.
  static std::shared_ptr<ConnectionListener> Start(const ConnectionListenerOptions& options, Serve serve);
  ~ConnectionListener();
  ConnectionListener(const ConnectionListener&) = delete;
  ConnectionListener& operator=(const ConnectionListener&) = delete;

  void Stop();
  bool Stopping() const;
  std::uint16_t port() const { return port_; }
  // Readable once the listener stops.
  int stopDescriptor() const { return stop_.get(); }
  std::size_t connectionCount() const;
  // The connection keeps its place when room is made for a new one.
  void MarkSettled(std::uint64_t id);

 private:
  struct Connection {
    std::uint64_t id = 0;
    int fd = -1;
    bool settled = false;
  };

  ConnectionListener() = default;
  void Listen();
  void Accept();
  bool MakeRoom();
  void EndConnection(std::uint64_t id, int fd);

  ConnectionListenerOptions options_;
  Serve serve_;
  runtime::UniqueFd listener_;
  runtime::UniqueFd stop_;
  std::uint16_t port_ = 0;
  std::shared_ptr<runtime::Task> listenTask_;

  mutable std::mutex mutex_;  // guards what follows
  std::condition_variable allGone_;
  std::list<Connection> connections_;  // oldest first
  std::uint64_t nextID_ = 1;
  bool stopping_ = false;
};

// The peer's IPv4 address as text, "Unknown" when it has none.
std::string PeerAddress(int fd);

}  // namespace sharing
