#include "app/sharing/fileserver/transfer_connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "app/sharing/crypto/server_key.h"
#include "app/util/settings/settings_store.h"

namespace sharing {

namespace {

constexpr std::size_t kReadSize = 4096;
constexpr std::size_t kMaxSessionKeyText = 279;

}  // namespace

bool TransferWire::WaitUntil(short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd fds[3] = {{fd_, events, 0}, {stopFd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
    const int ready = ::poll(fds, cancelFd_ >= 0 ? 3 : 2, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN) || (cancelFd_ >= 0 && (fds[2].revents & POLLIN))) return false;
    if (fds[0].revents & (POLLERR | POLLNVAL)) return false;
    if (fds[0].revents) return true;
  }
}

bool TransferWire::Stopped() const {
  pollfd stop{stopFd_, POLLIN, 0};
  return ::poll(&stop, 1, 0) > 0;
}

bool TransferWire::WriteAll(const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::send(fd_, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      bytes += n;
      length -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!Wait(POLLOUT)) return false;
      continue;
    }
    return false;
  }
  return true;
}

long TransferWire::Read(char* bytes, std::size_t length) {
  for (;;) {
    const ssize_t n = ::recv(fd_, bytes, length, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!Wait(POLLIN)) return -1;
  }
}

bool TransferWire::SleepUntil(Clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return true;
    pollfd stop{stopFd_, POLLIN, 0};
    const int ready = ::poll(&stop, 1, static_cast<int>(left) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready != 0) return false;
  }
}

std::optional<TransferRequestHead> TransferWire::ReadHead(bool& malformed) {
  TransferRequestHead head;
  char buf[kReadSize];
  // One deadline for the whole head: a byte now and then must not hold a connection.
  const auto deadline = Clock::now() + idleTimeout_;
  while (head.status() == TransferRequestHead::Status::kIncomplete) {
    if (!WaitUntil(POLLIN, deadline)) return std::nullopt;
    // Peeked, then only the head's own bytes taken: a body sent with the head stays in the
    // socket for the reception to read.
    const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT | MSG_PEEK);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return std::nullopt;
    const std::size_t used = head.Append(std::string_view(buf, static_cast<std::size_t>(n)));
    if (used > 0 && ::recv(fd_, buf, used, MSG_DONTWAIT) != static_cast<ssize_t>(used)) return std::nullopt;
  }
  malformed = head.status() == TransferRequestHead::Status::kMalformed;
  if (head.status() != TransferRequestHead::Status::kComplete) return std::nullopt;
  return head;
}

bool TakeTransferSessionKey(const TransferRequestHead& head, SessionCipherPtr& cipher) {
  const auto keyText = head.Header("X-Session-Key");
  if (!keyText) return !util::CurrentSettings()->requireSecureTransfer;
  if (keyText->size() > kMaxSessionKeyText) return false;
  const auto serverKey = CopyServerKey();
  if (!serverKey) return false;
  cipher = AcceptSessionKey(*serverKey, *keyText);
  return cipher != nullptr;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string LastPathComponent(std::string_view target) {
  target = target.substr(0, target.find_first_of("?#"));
  const std::size_t slash = target.rfind('/');
  return std::string(slash == std::string_view::npos ? target : target.substr(slash + 1));
}

std::string QueryOf(std::string_view target) {
  const std::size_t q = target.find('?');
  if (q == std::string_view::npos) return {};
  target = target.substr(q + 1);
  return std::string(target.substr(0, target.find('#')));
}

}  // namespace sharing
