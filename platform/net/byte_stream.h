#pragma once
// The contract every byte stream of this layer keeps (TCP, TLS over TCP), so that the
// HTTP stream and the FTP client can run over either.
//
// A stream is used on one thread: it is opened on that thread's run loop, and every
// event is called back there. The client says which events it wants (a mix of
// StreamEvent bits, changeable at any time, 0 to pause) and gets them one at a time:
//   kEventOpenCompleted  the connection is up (and the TLS handshake done);
//   kEventHasBytes       Read will return bytes. Level-triggered: while bytes are
//                        waiting and the client asked for this event, it comes again on
//                        every pass of the loop, so a client that reads less than what
//                        is there (a small bandwidth grant) loses nothing;
//   kEventCanAcceptBytes Write will take bytes. Comes once after opening and once
//                        after each Write, not on every pass (a writer with nothing to
//                        say would otherwise spin);
//   kEventEnd            the peer finished sending and every byte was read;
//   kEventError          the stream failed; Error() says why. Nothing comes after it.
// `Open` never reports failure by itself: a name that does not resolve or a refused
// connection arrive as kEventError, so a client has one error path. It returns false
// only when the stream cannot be opened at all (opened before, no loop).
//
// A stream may be destroyed from inside its own event callback.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

#include "platform/net/stream_error.h"

namespace runtime {
class RunLoop;
}

namespace net {

enum StreamEvent : unsigned {
  kEventNone = 0,
  kEventOpenCompleted = 1u << 0,
  kEventHasBytes = 1u << 1,
  kEventCanAcceptBytes = 1u << 2,
  kEventError = 1u << 3,
  kEventEnd = 1u << 4,
  kEventAll = 0x1f,
};

enum class StreamStatus { kNotOpen, kOpening, kOpen, kReading, kWriting, kAtEnd, kClosed, kError };

// What Read and Write return besides a count.
inline constexpr std::ptrdiff_t kStreamAtEnd = 0;
inline constexpr std::ptrdiff_t kStreamFailed = -1;
inline constexpr std::ptrdiff_t kStreamWouldBlock = -2;
// From the splicing reads only: this stream cannot hand its bytes to a pipe now (TLS,
// framing to undo, bytes already buffered, a kernel without splice); use Read.
inline constexpr std::ptrdiff_t kStreamCannotSplice = -3;

class ByteStream {
 public:
  using Client = std::function<void(StreamEvent event)>;

  virtual ~ByteStream() = default;

  // `events` is a mix of StreamEvent bits.
  virtual void SetClient(unsigned events, Client client) = 0;
  // Opens on `loop` (the calling thread's loop when null); see above.
  virtual bool Open(std::shared_ptr<runtime::RunLoop> loop = nullptr) = 0;
  // Stops everything and closes the connection; no event comes after it.
  virtual void Close() = 0;

  // A count > 0, kStreamAtEnd, kStreamFailed or kStreamWouldBlock.
  virtual std::ptrdiff_t Read(void* out, std::size_t size) = 0;
  // A count > 0 (maybe less than `size`), kStreamFailed or kStreamWouldBlock.
  virtual std::ptrdiff_t Write(const void* data, std::size_t size) = 0;
  virtual bool HasBytesAvailable() const = 0;

  virtual StreamStatus Status() const = 0;
  virtual StreamError Error() const = 0;
  // The socket underneath (for socket options such as SO_RCVBUF); -1 before it exists.
  virtual int Descriptor() const = 0;
};

}  // namespace net
