#include "platform/appleevents/event_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

#include "platform/appleevents/event_folder.h"
#include "platform/appleevents/event_wire.h"
#include "platform/runtime/unique_fd.h"

namespace appleevents {
namespace {

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

bool PeerIsThisUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

// True when something listens on `path`. Non-blocking: a listener whose backlog is full
// (busy or hung) is there all the same, and must not hold this start-up.
bool SocketAnswers(const sockaddr_un& addr) {
  runtime::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid()) return false;
  int result;
  do {
    result = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  } while (result != 0 && errno == EINTR);
  return result == 0 || errno == EAGAIN;
}

}  // namespace

struct EventServer::Core : std::enable_shared_from_this<EventServer::Core> {
  struct Connection {
    runtime::UniqueFd fd;
    std::shared_ptr<runtime::DescriptorWatch> watch;
    std::string in;
    std::string out;
    bool close_after_write = false;
    // Not read from while the partial messages of all connections fill their budget.
    bool paused = false;
    // Its event is being handled (perhaps in a nested loop): it is not timed meanwhile.
    bool dispatching = false;
    // Up-time by which it must have delivered a whole message or taken a whole reply.
    runtime::Nanoseconds deadline{};
  };

  std::shared_ptr<runtime::RunLoop> loop;
  std::shared_ptr<const HandlerTable> handlers;
  EventServerLimits limits;
  std::string path;
  ino_t inode = 0;
  runtime::UniqueFd listener;
  std::shared_ptr<runtime::DescriptorWatch> listen_watch;
  std::shared_ptr<runtime::Timer> sweep_timer;
  std::map<int, std::unique_ptr<Connection>> connections;
  // Read by other threads for tests and diagnostics only.
  std::atomic<std::size_t> buffered{0};
  std::atomic<std::size_t> connection_count{0};

  void Shutdown() {
    if (listen_watch) loop->RemoveWatch(listen_watch);
    listen_watch.reset();
    if (sweep_timer) sweep_timer->Invalidate();
    sweep_timer.reset();
    for (auto& [fd, c] : connections) loop->RemoveWatch(c->watch);
    connections.clear();
    buffered = 0;
    connection_count = 0;
    // Only our own socket file: a successor may have replaced it already.
    struct stat st {};
    if (listener.valid() && ::lstat(path.c_str(), &st) == 0 && st.st_ino == inode) ::unlink(path.c_str());
    listener.Reset();
  }

  runtime::Nanoseconds NextDeadline() const { return runtime::DeadlineAfter(limits.timeout); }

  // The sweep runs by the earliest deadline; deadlines only ever move later, so a sweep
  // that comes early just finds nothing and sets itself again.
  void ArmSweep(runtime::Nanoseconds at) {
    if (sweep_timer && at < sweep_timer->NextFireDate()) sweep_timer->SetNextFireDate(at);
  }

  void Sweep() {
    const runtime::Nanoseconds now = runtime::UpTime();
    std::vector<int> expired;
    runtime::Nanoseconds next = runtime::kForever;
    for (const auto& [fd, c] : connections) {
      if (c->dispatching) continue;
      if (c->deadline <= now) {
        expired.push_back(fd);
      } else {
        next = std::min(next, c->deadline);
      }
    }
    for (int fd : expired) Close(fd);
    // Connections in a dispatch arm the sweep again once it returns.
    if (sweep_timer) sweep_timer->SetNextFireDate(next);
  }

  void Accept() {
    for (;;) {
      runtime::UniqueFd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!fd.valid()) return;  // EAGAIN, or a peer that left before we got to it
      if (!PeerIsThisUser(fd.get()) || connections.size() >= limits.max_connections) continue;
      auto c = std::make_unique<Connection>();
      const int raw = fd.get();
      c->fd = std::move(fd);
      c->deadline = NextDeadline();
      std::weak_ptr<Core> weak = weak_from_this();
      c->watch = loop->AddWatch(raw, runtime::kReadable, [weak, raw](unsigned readiness) {
        if (auto self = weak.lock()) self->Service(raw, readiness);
      });
      if (!c->watch) continue;
      ArmSweep(c->deadline);
      connections.emplace(raw, std::move(c));
      connection_count = connections.size();
    }
  }

  void Close(int fd) {
    auto it = connections.find(fd);
    if (it == connections.end()) return;
    loop->RemoveWatch(it->second->watch);
    Release(it->second->in.size());
    connections.erase(it);
    connection_count = connections.size();
    ResumePaused();
  }

  void Release(std::size_t bytes) { buffered -= std::min(bytes, buffered.load()); }

  // What the connection waits for: input unless paused or closing, output while any is
  // left. A paused one still hears of its peer leaving, so that its bytes are freed.
  void UpdateInterest(Connection& c) {
    unsigned interest = runtime::kReadable;
    if (c.paused) interest = runtime::kHangup;
    if (c.close_after_write) interest = 0;
    if (!c.out.empty()) interest |= runtime::kWritable;
    c.watch->SetInterest(interest);
  }

  void ResumePaused() {
    if (buffered >= limits.max_buffered_bytes) return;
    for (auto& [fd, c] : connections) {
      if (!c->paused) continue;
      c->paused = false;
      UpdateInterest(*c);
    }
  }

  void Service(int fd, unsigned readiness) {
    auto it = connections.find(fd);
    if (it == connections.end()) return;
    Connection& c = *it->second;
    if (c.paused && (readiness & runtime::kHangup)) return Close(fd);
    if ((readiness & runtime::kReadable) && !c.close_after_write) {
      const std::size_t room =
          limits.max_buffered_bytes - std::min(buffered.load(), limits.max_buffered_bytes);
      if (room == 0) {
        c.paused = true;
      } else {
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, std::min(sizeof buf, room), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return Close(fd);
        if (n > 0) {
          c.in.append(buf, static_cast<std::size_t>(n));
          buffered += static_cast<std::size_t>(n);
        }
      }
      // A dispatch may run a nested loop that closes this connection; look it up again.
      if (!HandleMessages(fd)) return;
    }
    it = connections.find(fd);
    if (it == connections.end()) return;
    if (!Flush(*it->second)) return Close(fd);
  }

  // Takes `n` bytes off the front of the connection's input.
  void Consume(Connection& c, std::size_t n) {
    c.in.erase(0, n);
    Release(n);
  }

  // False when the connection is gone.
  bool HandleMessages(int fd) {
    for (;;) {
      auto it = connections.find(fd);
      if (it == connections.end()) return false;
      Connection& c = *it->second;
      if (c.close_after_write) return true;
      // The same frame reading the fuzz target drives, so what it proves holds here.
      WireEvent message;
      std::size_t used = 0;
      if (const Status decoded = DecodeFrame(c.in, used, message); decoded != kNoErr) {
        Refuse(c, decoded);
        return true;
      }
      if (used == 0) return true;
      Consume(c, used);
      ResumePaused();
      AppleEvent reply = AppleEvent::MakeReply();
      // Keep the table alive across the handler, which may replace it.
      std::shared_ptr<const HandlerTable> table = handlers;
      c.dispatching = true;
      if (table)
        table->Dispatch(message.event, reply);
      else
        reply.SetError(kEventNotHandled);
      it = connections.find(fd);
      if (it == connections.end()) return false;
      it->second->dispatching = false;
      it->second->deadline = NextDeadline();
      ArmSweep(it->second->deadline);
      if (message.wants_reply) it->second->out += FrameMessage(EncodeEvent(reply, false));
    }
  }

  void Refuse(Connection& c, Status code) {
    AppleEvent reply = AppleEvent::MakeReply();
    reply.SetError(code);
    c.out += FrameMessage(EncodeEvent(reply, false));
    Consume(c, c.in.size());
    c.close_after_write = true;
    ResumePaused();
  }

  // Writes what it can; false when the connection should go.
  bool Flush(Connection& c) {
    const bool had_output = !c.out.empty();
    while (!c.out.empty()) {
      const ssize_t n = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) break;
        return false;
      }
      c.out.erase(0, static_cast<std::size_t>(n));
    }
    if (c.out.empty() && c.close_after_write) return false;
    // A reply taken whole starts the time for the next message afresh.
    if (had_output && c.out.empty()) c.deadline = NextDeadline();
    UpdateInterest(c);
    return true;
  }
};

EventServer::EventServer(std::shared_ptr<Core> core) : core_(std::move(core)) {}

EventServer::~EventServer() {
  core_->Shutdown();
}

const std::string& EventServer::socket_path() const {
  return core_->path;
}

std::size_t EventServer::BufferedBytes() const {
  return core_->buffered.load();
}

std::size_t EventServer::ConnectionCount() const {
  return core_->connection_count.load();
}

Status EventServer::Start(const std::shared_ptr<runtime::RunLoop>& loop,
                          std::shared_ptr<const HandlerTable> handlers, std::unique_ptr<EventServer>& out,
                          std::string folder, EventServerLimits limits) {
  if (Status s = PrepareEventFolder(folder); s != kNoErr) return s;
  auto core = std::make_shared<Core>();
  core->loop = loop;
  core->handlers = std::move(handlers);
  // One whole message must always fit, or a large event could never complete.
  limits.max_buffered_bytes = std::max(limits.max_buffered_bytes, std::size_t{4} + kMaxMessageBytes);
  core->limits = limits;
  core->path = EventSocketPath(folder);
  sockaddr_un addr{};
  if (!FillAddress(core->path, addr)) return kParamErr;

  struct stat st {};
  if (::lstat(core->path.c_str(), &st) == 0) {
    if (SocketAnswers(addr)) return kAlreadyRunning;
    ::unlink(core->path.c_str());  // stale: its owner is gone
  }
  core->listener.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!core->listener.valid()) return kConnectionFailed;
  if (::bind(core->listener.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    // Lost a race with another instance starting at the same moment.
    return errno == EADDRINUSE ? kAlreadyRunning : kConnectionFailed;
  }
  ::chmod(core->path.c_str(), 0600);
  if (::lstat(core->path.c_str(), &st) == 0) core->inode = st.st_ino;
  if (::listen(core->listener.get(), 16) != 0) {
    core->Shutdown();
    return kConnectionFailed;
  }
  std::weak_ptr<Core> weak = core;
  core->listen_watch = loop->AddWatch(core->listener.get(), runtime::kReadable, [weak](unsigned) {
    if (auto self = weak.lock()) self->Accept();
  });
  if (!core->listen_watch) {
    core->Shutdown();
    return kConnectionFailed;
  }
  core->sweep_timer =
      runtime::Timer::Create(runtime::kForever, runtime::Nanoseconds(0), [weak](runtime::Timer&) {
        if (auto self = weak.lock()) self->Sweep();
      });
  loop->AddTimer(core->sweep_timer);
  out = std::make_unique<EventServer>(std::move(core));
  return kNoErr;
}

}  // namespace appleevents
