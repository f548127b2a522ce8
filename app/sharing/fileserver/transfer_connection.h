#pragma once
// What one connection of the file-transfer server works with: its socket with the idle
// time-out and the server's stop (TransferWire), the authenticated login, the session key
// of a request and small request-target helpers. Used by the serving and the receiving
// halves of the server.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/sharing/crypto/session_key.h"
#include "app/sharing/fileserver/transfer_request_head.h"

namespace sharing {

// A data connection's buffer: it starts at the first size and grows step by step up to the
// largest while the peer keeps up.
inline constexpr std::size_t kTransferFirstBuffer = 32768;
inline constexpr std::size_t kTransferBufferGrowth = 16384;
inline constexpr std::size_t kTransferLargestBuffer = 131072;

class TransferWire {
 public:
  using Clock = std::chrono::steady_clock;
  TransferWire(int fd, int stopFd, std::chrono::milliseconds idleTimeout)
      : fd_(fd), stopFd_(stopFd), idleTimeout_(idleTimeout) {}

  int fd() const { return fd_; }
  // A further descriptor that ends every wait once readable (a reception's cancel source).
  void SetCancelFd(int fd) { cancelFd_ = fd; }
  // Waits for `events`; false on stop, time-out or error.
  bool Wait(short events) { return WaitUntil(events, Clock::now() + idleTimeout_); }
  // The same with a deadline of the caller's: what must arrive whole by then (a request
  // head) gets no new time for each piece a peer dribbles in.
  bool WaitUntil(short events, Clock::time_point deadline);
  // Writes all of it; false when the peer went away, stopped reading or the server stops.
  bool WriteAll(const char* bytes, std::size_t length);
  bool WriteAll(const std::string& text) { return WriteAll(text.data(), text.size()); }
  // Reads what is there (waiting up to the idle time-out); 0 at the end, -1 on an error,
  // time-out or stop.
  long Read(char* bytes, std::size_t length);
  // Waits until `until`; false when the server stops meanwhile.
  bool SleepUntil(Clock::time_point until);
  bool Stopped() const;
  // One request head; nothing when it is refused, the peer goes away or stays silent.
  // `malformed` tells a malformed head from one over the bound (no reply).
  std::optional<TransferRequestHead> ReadHead(bool& malformed);

 private:
  int fd_;
  int stopFd_;
  int cancelFd_ = -1;
  std::chrono::milliseconds idleTimeout_;
};

struct TransferLogin {
  std::string user;
  bool canUpload = false;
  std::vector<std::uint32_t> downloadFolders;
};

// The connection's cipher from "X-Session-Key"; false when the key is unusable, or absent
// while clear transfers are refused.
bool TakeTransferSessionKey(const TransferRequestHead& head, SessionCipherPtr& cipher);

bool SameNoCase(std::string_view a, std::string_view b);
// The last path component of a request-target, without its query.
std::string LastPathComponent(std::string_view target);
// The query of a request-target (after "?"), empty when none.
std::string QueryOf(std::string_view target);

}  // namespace sharing
