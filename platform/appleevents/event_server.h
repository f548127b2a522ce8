#pragma once
// The receiving end of the event socket, run on a run loop (the main thread's, in the
// application).
//
// The server listens on the Unix stream socket in the event folder, accepts only peers
// of this user (the folder's mode keeps others out; the peer's credentials are checked
// as well), reads length-prefixed event messages, dispatches each through the handler
// table on the loop's thread and writes back the reply when the sender waits for one.
// A message that does not decode or is too large is answered with an error reply and
// the connection closed. Nothing blocks: every descriptor is non-blocking and watched.
//
// No sender can hold the server: at most `max_connections` connections at once (more are
// closed as they come); a connection that does not deliver a whole message, or take a
// whole reply, within `timeout` of being accepted or of its last message is closed (while
// its event is being handled it is not timed); and the partial messages of all
// connections together hold at most `max_buffered_bytes`: past that, connections are not
// read from until bytes are freed, so the kernel's socket buffers hold back the senders.
//
// Only one server owns a socket path: starting finds a socket that answers and refuses
// (kAlreadyRunning); a socket file nobody answers on is stale and is replaced.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/appleevents/event_wire.h"
#include "platform/appleevents/handler_table.h"
#include "platform/runtime/run_loop.h"

namespace appleevents {

// Our own code: another instance answers on the socket.
inline constexpr Status kAlreadyRunning = -1731;

struct EventServerLimits {
  // Senders are scripts and plug-ins that connect, send one event and go; more at once
  // than this is a runaway script, and refusing it keeps descriptors for the downloads.
  std::size_t max_connections = 64;
  // A whole message of the largest size crosses a local socket in well under a second;
  // a connection quiet this long is gone or hostile.
  std::chrono::milliseconds timeout{10000};
  // Room for two messages of the largest size at once.
  std::size_t max_buffered_bytes = 2 * (4 + kMaxMessageBytes);
};

class EventServer {
 public:
  // `folder` empty: EventFolderPath().
  static Status Start(const std::shared_ptr<runtime::RunLoop>& loop,
                      std::shared_ptr<const HandlerTable> handlers, std::unique_ptr<EventServer>& out,
                      std::string folder = {}, EventServerLimits limits = {});
  ~EventServer();
  EventServer(const EventServer&) = delete;
  EventServer& operator=(const EventServer&) = delete;

  const std::string& socket_path() const;
  // The bytes of partial messages held now, over all connections (any thread).
  std::size_t BufferedBytes() const;
  // The connections open now (any thread).
  std::size_t ConnectionCount() const;

  struct Core;
  explicit EventServer(std::shared_ptr<Core> core);

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace appleevents
