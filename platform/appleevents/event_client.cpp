#include "platform/appleevents/event_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/appleevents/event_folder.h"
#include "platform/appleevents/event_wire.h"
#include "platform/appleevents/initial_event.h"
#include "platform/runtime/unique_fd.h"

namespace appleevents {
namespace {

using Clock = std::chrono::steady_clock;

// How often a full backlog is tried again: short against a person waiting, long enough
// not to spin.
constexpr int kConnectRetryMilliseconds = 20;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// kNoErr when ready; kTimeout when the deadline passed first.
Status WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, MillisecondsLeft(deadline));
    if (n > 0) return kNoErr;
    if (n == 0) return kTimeout;
    if (errno != EINTR) return kConnectionFailed;
  }
}

// kProcNotFound when nobody answers on the socket; kTimeout when a listener is there but
// its backlog stays full (a program that hangs, or one that never accepts) past the
// deadline.
Status Connect(const std::string& path, Clock::time_point deadline, runtime::UniqueFd& out) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return kParamErr;
  std::memcpy(addr.sun_path, path.data(), path.size());
  // Non-blocking: a full backlog answers EAGAIN at once instead of holding connect() until
  // the listener accepts, which may be never. Room is looked for again until the deadline.
  runtime::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid()) return kConnectionFailed;
  for (;;) {
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) break;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return kProcNotFound;
    if (MillisecondsLeft(deadline) == 0) return kTimeout;
    ::poll(nullptr, 0, std::min(MillisecondsLeft(deadline), kConnectRetryMilliseconds));
  }
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
    return kUnsafeFolderErr;
  }
  out = std::move(fd);
  return kNoErr;
}

Status WriteAll(int fd, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return kConnectionFailed;
    if (Status s = WaitFor(fd, POLLOUT, deadline); s != kNoErr) return s;
  }
  return kNoErr;
}

Status ReadExactly(int fd, std::string& out, std::size_t n, Clock::time_point deadline) {
  while (out.size() < n) {
    if (Status s = WaitFor(fd, POLLIN, deadline); s != kNoErr) return s;
    char buf[65536];
    const ssize_t got = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), MSG_DONTWAIT);
    if (got == 0) return kConnectionFailed;
    if (got < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return kConnectionFailed;
    }
    out.append(buf, static_cast<std::size_t>(got));
  }
  return kNoErr;
}

Status ReadReply(int fd, AppleEvent& reply, Clock::time_point deadline) {
  std::string header;
  if (Status s = ReadExactly(fd, header, 4, deadline); s != kNoErr) return s;
  std::uint32_t len = 0;
  for (int i = 0; i < 4; ++i) len = (len << 8) | static_cast<unsigned char>(header[i]);
  if (len > kMaxMessageBytes) return kMessageTooLarge;
  std::string body;
  if (Status s = ReadExactly(fd, body, len, deadline); s != kNoErr) return s;
  WireEvent message;
  if (Status s = DecodeEvent(body, message); s != kNoErr) return s;
  reply = std::move(message.event);
  return kNoErr;
}

}  // namespace

Status SendEvent(const AppleEvent& event, AppleEvent& reply, const SendOptions& options) {
  const auto deadline = Clock::now() + options.timeout;
  std::string folder = options.folder;
  if (Status s = PrepareEventFolder(folder); s != kNoErr) return s;
  const std::string message = EncodeEvent(event, options.wants_reply);
  if (message.size() > kMaxMessageBytes) return kMessageTooLarge;

  runtime::UniqueFd fd;
  Status connected = Connect(EventSocketPath(folder), deadline, fd);
  if (connected == kProcNotFound && !options.launch_program.empty()) {
    return LaunchWithInitialEvent(options.launch_program, folder, event, options.wants_reply, deadline,
                                  reply);
  }
  if (connected != kNoErr) return connected;
  if (Status s = WriteAll(fd.get(), FrameMessage(message), deadline); s != kNoErr) return s;
  if (!options.wants_reply) return kNoErr;
  return ReadReply(fd.get(), reply, deadline);
}

}  // namespace appleevents
