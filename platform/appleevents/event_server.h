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
// Only one server owns a socket path: starting finds a socket that answers and refuses
// (kAlreadyRunning); a socket file nobody answers on is stale and is replaced.

#include <memory>
#include <string>

#include "platform/appleevents/handler_table.h"
#include "platform/runtime/run_loop.h"

namespace appleevents {

// Our own code: another instance answers on the socket.
inline constexpr Status kAlreadyRunning = -1731;

class EventServer {
 public:
  // `folder` empty: EventFolderPath().
  static Status Start(const std::shared_ptr<runtime::RunLoop>& loop,
                      std::shared_ptr<const HandlerTable> handlers, std::unique_ptr<EventServer>& out,
                      std::string folder = {});
  ~EventServer();
  EventServer(const EventServer&) = delete;
  EventServer& operator=(const EventServer&) = delete;

  const std::string& socket_path() const;

  struct Core;
  explicit EventServer(std::shared_ptr<Core> core);

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace appleevents
