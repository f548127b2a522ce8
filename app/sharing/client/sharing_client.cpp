#include "app/sharing/client/sharing_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "app/browser/services/favourite_connections_service.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/main_thread.h"
#include "platform/runtime/task.h"
#include "platform/runtime/unique_fd.h"

namespace sharing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kReadSize = 8190;
constexpr auto kCancelWait = std::chrono::seconds(3);

// The stop of every running session: one eventfd each, written to cancel.
struct Running {
  std::mutex mutex;
  std::condition_variable none;
  std::set<int> stops;
  std::map<std::uint64_t, int> byRequest;
};

Running& RunningSessions() {
  static Running r;
  return r;
}

void PostClientEvent(std::uint64_t requestID, std::int64_t par1, std::int64_t par2, std::int64_t par3) {
  runtime::EventRef event = runtime::Event::Create(kSharingClientEventClass, kSharingClientEventProgress);
  event->SetInt64(kSharingClientRequestParam, static_cast<std::int64_t>(requestID));
  event->SetInt64(values::FourCC("Par1"), par1);
  event->SetInt64(values::FourCC("Par2"), par2);
  event->SetInt64(values::FourCC("Par3"), par3);
  event->SetPostTarget(runtime::EventTarget::Application());
  runtime::EventQueue::Main()->Post(std::move(event), runtime::EventPriority::kStandard);
}

// A connected socket, or -1.
int ConnectTo(const std::string& host, std::int32_t port, int stopFd) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return -1;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(found);
  if (fd < 0) return -1;
  pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
  const int timeout = static_cast<int>(std::chrono::milliseconds(kSharingClientConnectTimeout).count());
  int error = 0;
  socklen_t len = sizeof error;
  if (::poll(fds, 2, timeout) <= 0 || (fds[1].revents & POLLIN) ||
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes, int stopFd) {
  std::size_t done = 0;
  const auto deadline = Clock::now() + kSharingClientIdleTimeout;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (Clock::now() >= deadline) return false;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, 500) > 0 && (fds[1].revents & POLLIN)) return false;
  }
  return true;
}

int RunSession(SharingClientSession& session, int stopFd, bool& cancelled) {
  std::string host;
  std::int32_t port = 0;
  SplitPeerAddress(session.request().address, host, port);
  runtime::UniqueFd fd(ConnectTo(host, port, stopFd));
  PostClientEvent(session.request().requestID, session.request().hostID, 1, 1);
  if (fd.get() < 0) return kSharingFailed;
  std::uint8_t buf[kReadSize];
  auto deadline = Clock::now() + kSharingClientIdleTimeout;
  for (;;) {
    pollfd fds[2] = {{fd.get(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, 500);
    if (ready < 0 && errno != EINTR) return kSharingFailed;
    if (ready > 0 && (fds[1].revents & POLLIN)) {
      cancelled = true;
      return kSharingCancelled;
    }
    if (ready <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      if (Clock::now() >= deadline) return kSharingFailed;
      continue;
    }
    const ssize_t n = ::recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) return errno > 0 ? errno : kSharingFailed;
    if (n == 0) return kSharingFailed;
    deadline = Clock::now() + kSharingClientIdleTimeout;
    std::string out;
    const auto result = session.Receive(std::span(buf, static_cast<std::size_t>(n)), out);
    if (!out.empty() && !SendAll(fd.get(), out, stopFd)) return result.value_or(kSharingFailed);
    if (result) return *result;
  }
}

// Keeps the record of a session that logged in.
void StoreRecord(SharingClientSession& session) {
  std::lock_guard lock(PeerTableRegion());
  const PeerHostRef& record = session.record();
  if (!record) {
    // A refresh that never logged in leaves its record as it was, free for the next one.
    if (const PeerHostRef old = FindPeerHost(session.request().hostID)) old->busy = false;
    return;
  }
  record->busy = false;
  PeerHostTable()[record->hostID] = record;
  if (record->bonjourKey) {
    runtime::PerformOnMainThread(
        [key = *record->bonjourKey, id = record->hostID] { LinkBonjourPeerConnection(key, id); });
  }
}

std::optional<std::string> FindFavouriteNameForHost(const std::string& address, const std::string& user,
                                                    const std::string& password) {
  for (const auto& f : browser::FavouriteConnectionsServiceSlot::Get().CopySortedFavourites()) {
    if (f.address == address && f.user == user && f.password == password) return f.name;
  }
  return std::nullopt;
}

}  // namespace

int RunSharingClientSession(SharingClientSession& session) {
  runtime::UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  bool cancelled = false;
  const int result = RunSession(session, stop.get(), cancelled);
  StoreRecord(session);
  return result;
}

std::int32_t StartSharingClient(SharingClientRequest request) {
  const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd < 0) return -1;
  {
    std::lock_guard lock(RunningSessions().mutex);
    RunningSessions().stops.insert(stopFd);
    if (request.requestID != 0) RunningSessions().byRequest[request.requestID] = stopFd;
  }
  auto done = [stopFd, requestID = request.requestID] {
    std::lock_guard lock(RunningSessions().mutex);
    RunningSessions().stops.erase(stopFd);
    if (auto it = RunningSessions().byRequest.find(requestID);
        it != RunningSessions().byRequest.end() && it->second == stopFd)
      RunningSessions().byRequest.erase(it);
    ::close(stopFd);
    if (RunningSessions().stops.empty()) RunningSessions().none.notify_all();
  };
  runtime::TaskOptions options;
  options.name = "sharing client";
  auto task = runtime::Task::Start(
      options, [request = std::move(request), stopFd, done]() mutable -> runtime::Status {
        SharingClientSession session(std::move(request));
        session.onProgress = [&session](int step) {
          PostClientEvent(session.request().requestID, session.request().hostID, step, 1);
        };
        bool cancelled = false;
        int result = RunSession(session, stopFd, cancelled);
        if (cancelled) result = kSharingCancelled;
        if (result != kSharingCancelled && result != kSharingSuccess && session.request().silent)
          result = kSharingFailed;
        StoreRecord(session);
        if (result == kSharingSuccess)
          PostClientEvent(session.request().requestID, session.request().hostID, 0, 0);
        PostClientEvent(session.request().requestID, session.request().hostID, 0, result);
        done();
        return runtime::kNoErr;
      });
  if (!task) {
    done();
    return -1;
  }
  return 0;
}

std::int32_t ConnectToSharingPeer(const std::string& address, const std::string& user,
                                  const std::string& password, std::optional<std::string> favouriteName,
                                  std::optional<std::string> bonjourKey) {
  SharingClientRequest r;
  r.address = address;
  r.user = user.empty() || user == "guest" ? "Guest" : user;
  r.password = password;
  r.bonjourKey = std::move(bonjourKey);
  r.favouriteName = favouriteName
                        ? favouriteName
                        : FindFavouriteNameForHost(r.bonjourKey.value_or(address), r.user, r.password);
  return StartSharingClient(std::move(r));
}

std::int32_t ConnectToSharingPeerSilently(const std::string& address, const std::string& user,
                                          const std::string& password,
                                          std::optional<std::string> favouriteName,
                                          std::optional<std::string> bonjourKey) {
  SharingClientRequest r;
  r.address = address;
  r.bonjourKey = std::move(bonjourKey);
  r.user = user;
  r.password = password;
  r.silent = true;
  r.favouriteName = favouriteName ? favouriteName : FindFavouriteNameForHost(address, user, password);
  return StartSharingClient(std::move(r));
}

bool RefreshSharingHost(std::uint32_t hostID) {
  SharingClientRequest r;
  {
    std::lock_guard lock(PeerTableRegion());
    const PeerHostRef record = FindPeerHost(hostID);
    if (!record || record->busy) return false;
    std::lock_guard inside(record->region);
    r.address = record->host + ":" + std::to_string(record->port);
    r.user = record->user;
    r.password = record->password;
    r.bonjourKey = record->bonjourKey;
    r.favouriteName = record->favouriteName;
    r.hostID = hostID;
    record->folders.clear();
    record->busy = true;
  }
  if (StartSharingClient(std::move(r)) != 0) {
    if (const PeerHostRef record = FindPeerHost(hostID)) record->busy = false;
    return false;
  }
  return true;
}

void ReconnectSharingHosts(bool bonjourPeers) {
  std::vector<std::uint32_t> ids;
  {
    std::lock_guard lock(PeerTableRegion());
    for (const auto& [id, record] : PeerHostTable()) {
      if (record->bonjourKey.has_value() == bonjourPeers) ids.push_back(id);
    }
  }
  for (std::uint32_t id : ids) RefreshSharingHost(id);
}

std::uint64_t NextSharingRequestID() {
  static std::atomic<std::uint64_t> next{0};
  return ++next;
}

bool CancelSharingClient(std::uint64_t requestID) {
  std::lock_guard lock(RunningSessions().mutex);
  auto it = RunningSessions().byRequest.find(requestID);
  if (requestID == 0 || it == RunningSessions().byRequest.end()) return false;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(it->second, &one, sizeof one);
  return true;
}

void CancelSharingClients() {
  std::unique_lock lock(RunningSessions().mutex);
  const std::uint64_t one = 1;
  for (int fd : RunningSessions().stops) {
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
  }
  RunningSessions().none.wait_for(lock, kCancelWait, [] { return RunningSessions().stops.empty(); });
}

int RunningSharingClients() {
  std::lock_guard lock(RunningSessions().mutex);
  return static_cast<int>(RunningSessions().stops.size());
}

}  // namespace sharing
