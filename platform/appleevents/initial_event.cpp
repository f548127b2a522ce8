#include "platform/appleevents/initial_event.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/appleevents/event_wire.h"
#include "platform/runtime/unique_fd.h"

extern char** environ;

namespace appleevents {
namespace {

bool WriteNewFile(const std::string& path, std::string_view bytes) {
  runtime::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd.valid()) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd.get(), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// No more than a message's worth, so a planted huge file cannot take the memory.
bool ReadSmallFile(const std::string& path, std::string& out) {
  // Non-blocking: a FIFO planted in its place must be refused below, not waited on.
  runtime::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      static_cast<std::size_t>(st.st_size) > kMaxMessageBytes) {
    return false;
  }
  out.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() > kMaxMessageBytes) return false;
  }
}

// Starts `program` in a session of its own and does not wait for it: a middle child
// forks the program and leaves at once, so the program is never our child and never a
// zombie of ours. An exec failure comes back through a close-on-exec pipe.
bool SpawnDetached(const std::string& program, const std::string& env_entry) {
  // Everything the children need is made before fork: after it only async-signal-safe
  // calls are allowed, as other threads may hold the allocator's lock.
  std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
  std::vector<char*> envp;
  const std::string prefix = std::string(kInitialEventVariable) + "=";
  for (char** e = environ; *e; ++e) {
    if (std::string_view(*e).substr(0, prefix.size()) != prefix) envp.push_back(*e);
  }
  envp.push_back(const_cast<char*>(env_entry.c_str()));
  envp.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  runtime::UniqueFd read_end(fds[0]), write_end(fds[1]);
  const pid_t middle = ::fork();
  if (middle < 0) return false;
  if (middle == 0) {
    ::setsid();
    const pid_t child = ::fork();
    if (child != 0) ::_exit(child < 0 ? 1 : 0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    const int err = errno;
    (void)!::write(write_end.get(), &err, sizeof err);
    ::_exit(127);
  }
  write_end.Reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  int err = 0;
  ssize_t n;
  while ((n = ::read(read_end.get(), &err, sizeof err)) < 0 && errno == EINTR) {
  }
  return n == 0;  // closed by a successful exec
}

}  // namespace

Status LaunchWithInitialEvent(const std::string& program, const std::string& folder, const AppleEvent& event,
                              bool wants_reply, std::chrono::steady_clock::time_point deadline,
                              AppleEvent& reply) {
  static std::atomic<unsigned> counter{0};
  const std::string path =
      folder + "/initial-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".event";
  const std::string reply_path = path + ".reply";
  ::unlink(reply_path.c_str());
  if (!WriteNewFile(path, EncodeEvent(event, wants_reply))) return kLaunchFailed;
  if (!SpawnDetached(program, std::string(kInitialEventVariable) + "=" + path)) {
    ::unlink(path.c_str());
    return kLaunchFailed;
  }
  if (!wants_reply) return kNoErr;
  // The reply comes from a process that is not ours to wait on; a short poll is the
  // plain way to see a file appear without holding a watch on the folder.
  for (;;) {
    std::string bytes;
    if (ReadSmallFile(reply_path, bytes)) {
      ::unlink(reply_path.c_str());
      WireEvent message;
      if (Status s = DecodeEvent(bytes, message); s != kNoErr) return s;
      reply = std::move(message.event);
      return kNoErr;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      // Not taken yet: it must not run later, after we told the caller it failed.
      ::unlink(path.c_str());
      return kTimeout;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::optional<InitialEvent> TakeInitialEvent() {
  const char* value = std::getenv(kInitialEventVariable);
  if (!value || !*value) return std::nullopt;
  const std::string path = value;
  ::unsetenv(kInitialEventVariable);
  std::string bytes;
  const bool read = ReadSmallFile(path, bytes);
  ::unlink(path.c_str());
  WireEvent message;
  if (!read || DecodeEvent(bytes, message) != kNoErr) return std::nullopt;
  return InitialEvent{std::move(message.event), message.wants_reply, path + ".reply"};
}

Status AnswerInitialEvent(const InitialEvent& initial, const AppleEvent& reply) {
  if (!initial.wants_reply) return kNoErr;
  const std::string temp = initial.reply_path + ".tmp";
  ::unlink(temp.c_str());
  if (!WriteNewFile(temp, EncodeEvent(reply, false)) ||
      ::rename(temp.c_str(), initial.reply_path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return kConnectionFailed;
  }
  return kNoErr;
}

Status HandleInitialEvent(const HandlerTable& handlers) {
  auto initial = TakeInitialEvent();
  if (!initial) return kDescNotFound;
  AppleEvent reply = AppleEvent::MakeReply();
  const Status result = handlers.Dispatch(initial->event, reply);
  AnswerInitialEvent(*initial, reply);
  return result;
}

}  // namespace appleevents
