#pragma once
// The sharing line-protocol server: a listener task on the share port and one task per
// accepted connection, each running a SharingSession (sharing_session.h) over its socket.
//
// Bounded everywhere a peer could make it grow:
//   - at most kMaxSharingConnections connections at once; when a new one would pass the
//     limit, the oldest connection still awaiting its login is closed to make room (one
//     that logged in keeps its place), else the new one is closed at once, so idle
//     unauthenticated connections cannot lock logged-in peers out;
//   - a connection must log in within the login time-out and, once logged in, say
//     something within the idle time-out; a reply the peer does not read within the idle
//     time-out ends the connection too;
//   - lines are bounded by the session (kMaxSharingLineLength);
//   - logins from an address whose logins were refused are held back, longer after each
//     refusal (login_throttle.h), so passwords cannot be guessed at speed.
// A peer that goes away mid-reply only ends its own connection (writes never raise
// SIGPIPE).
//
// Start and stop from the main thread. Stop wakes every task and waits (bounded) for them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace sharing {

inline constexpr std::size_t kMaxSharingConnections = 64;

struct SharingServerOptions {
  std::uint16_t port = 2550;  // 0: any free port (tests)
  bool loopbackOnly = false;  // tests: listen on 127.0.0.1 only
  std::size_t maxConnections = kMaxSharingConnections;
  std::chrono::milliseconds loginTimeout{std::chrono::seconds(30)};
  std::chrono::milliseconds idleTimeout{std::chrono::minutes(5)};
};

class SharingServer {
 public:
  struct State;
  // Nothing when the port cannot be bound.
  static std::unique_ptr<SharingServer> Start(const SharingServerOptions& options);
  ~SharingServer();  // stops
  SharingServer(const SharingServer&) = delete;
  SharingServer& operator=(const SharingServer&) = delete;

  void Stop();
  std::uint16_t port() const;
  std::size_t connectionCount() const;

 private:
  explicit SharingServer(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

// The server of this copy, on the "Share port"; registers "_trsharing._tcp." when
// "advertise rendezvous" is on (through SharingServiceRegistration). Main thread.
bool StartSharingServer();
void StopSharingServer();
bool SharingServerRunning();

}  // namespace sharing
