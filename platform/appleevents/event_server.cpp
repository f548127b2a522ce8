#include "platform/appleevents/event_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "platform/appleevents/event_folder.h"
#include "platform/appleevents/event_wire.h"
#include "platform/runtime/unique_fd.h"

namespace appleevents {
namespace {

// Senders are scripts and plug-ins that connect, send one event and go; more at once
// than this is a runaway script, and refusing it keeps descriptors for the downloads.
constexpr std::size_t kMaxConnections = 64;

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

// True when something accepts connections on `path`.
bool SocketAnswers(const sockaddr_un& addr) {
  runtime::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return fd.valid() && ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

}  // namespace

struct EventServer::Core : std::enable_shared_from_this<EventServer::Core> {
  struct Connection {
    runtime::UniqueFd fd;
    std::shared_ptr<runtime::DescriptorWatch> watch;
    std::string in;
    std::string out;
    bool close_after_write = false;
  };

  std::shared_ptr<runtime::RunLoop> loop;
  std::shared_ptr<const HandlerTable> handlers;
  std::string path;
  ino_t inode = 0;
  runtime::UniqueFd listener;
  std::shared_ptr<runtime::DescriptorWatch> listen_watch;
  std::map<int, std::unique_ptr<Connection>> connections;

  void Shutdown() {
    if (listen_watch) loop->RemoveWatch(listen_watch);
    listen_watch.reset();
    for (auto& [fd, c] : connections) loop->RemoveWatch(c->watch);
    connections.clear();
    // Only our own socket file: a successor may have replaced it already.
    struct stat st {};
    if (listener.valid() && ::lstat(path.c_str(), &st) == 0 && st.st_ino == inode) ::unlink(path.c_str());
    listener.Reset();
  }

  void Accept() {
    for (;;) {
      runtime::UniqueFd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!fd.valid()) return;  // EAGAIN, or a peer that left before we got to it
      if (!PeerIsThisUser(fd.get()) || connections.size() >= kMaxConnections) continue;
      auto c = std::make_unique<Connection>();
      const int raw = fd.get();
      c->fd = std::move(fd);
      std::weak_ptr<Core> weak = weak_from_this();
      c->watch = loop->AddWatch(raw, runtime::kReadable, [weak, raw](unsigned readiness) {
        if (auto self = weak.lock()) self->Service(raw, readiness);
      });
      if (c->watch) connections.emplace(raw, std::move(c));
    }
  }

  void Close(int fd) {
    auto it = connections.find(fd);
    if (it == connections.end()) return;
    loop->RemoveWatch(it->second->watch);
    connections.erase(it);
  }

  void Service(int fd, unsigned readiness) {
    auto it = connections.find(fd);
    if (it == connections.end()) return;
    Connection& c = *it->second;
    if (readiness & runtime::kReadable) {
      char buf[65536];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return Close(fd);
      if (n > 0) c.in.append(buf, static_cast<std::size_t>(n));
      // A dispatch may run a nested loop that closes this connection; look it up again.
      if (!HandleMessages(fd)) return;
    }
    it = connections.find(fd);
    if (it == connections.end()) return;
    if (!Flush(*it->second)) return Close(fd);
  }

  // False when the connection is gone.
  bool HandleMessages(int fd) {
    for (;;) {
      auto it = connections.find(fd);
      if (it == connections.end()) return false;
      Connection& c = *it->second;
      if (c.close_after_write) return true;
      WireEvent message;
      std::size_t used = 0;
      if (const Status decoded = DecodeFrame(c.in, used, message); decoded != kNoErr) {
        Refuse(c, decoded);
        return true;
      }
      if (used == 0) return true;
      c.in.erase(0, used);
      AppleEvent reply = AppleEvent::MakeReply();
      // Keep the table alive across the handler, which may replace it.
      std::shared_ptr<const HandlerTable> table = handlers;
      if (table)
        table->Dispatch(message.event, reply);
      else
        reply.SetError(kEventNotHandled);
      it = connections.find(fd);
      if (it == connections.end()) return false;
      if (message.wants_reply) it->second->out += FrameMessage(EncodeEvent(reply, false));
    }
  }

  void Refuse(Connection& c, Status code) {
    AppleEvent reply = AppleEvent::MakeReply();
    reply.SetError(code);
    c.out += FrameMessage(EncodeEvent(reply, false));
    c.in.clear();
    c.close_after_write = true;
  }

  // Writes what it can; false when the connection should go.
  bool Flush(Connection& c) {
    while (!c.out.empty()) {
      const ssize_t n = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) break;
        return false;
      }
      c.out.erase(0, static_cast<std::size_t>(n));
    }
    if (c.out.empty() && c.close_after_write) return false;
    c.watch->SetInterest(c.out.empty() ? runtime::kReadable : (runtime::kReadable | runtime::kWritable));
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

Status EventServer::Start(const std::shared_ptr<runtime::RunLoop>& loop,
                          std::shared_ptr<const HandlerTable> handlers, std::unique_ptr<EventServer>& out,
                          std::string folder) {
  if (Status s = PrepareEventFolder(folder); s != kNoErr) return s;
  auto core = std::make_shared<Core>();
  core->loop = loop;
  core->handlers = std::move(handlers);
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
  out = std::make_unique<EventServer>(std::move(core));
  return kNoErr;
}

}  // namespace appleevents
