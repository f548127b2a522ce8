#include "platform/runtime/distributed_notification_center.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/runtime/value_wire.h"

namespace runtime {

namespace {

constexpr std::string_view kMagic = "TRVN\x01";
constexpr std::size_t kMaxDatagram = 64 * 1024;
std::atomic<unsigned> gSocketCounter{0};

// Makes `path` a folder of ours with mode 0700; false when it is not (another owner, a
// link, a file).
bool EnsurePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  if ((st.st_mode & 0777) != 0700 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

std::string DistributedNotificationCenter::Folder() {
  const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  std::string base = runtime_dir && *runtime_dir ? std::string(runtime_dir) + "/truvane"
                                                 : "/tmp/truvane-" + std::to_string(getuid());
  if (!EnsurePrivateFolder(base)) return {};
  std::string folder = base + "/notifications";
  if (!EnsurePrivateFolder(folder)) return {};
  return folder;
}

std::shared_ptr<DistributedNotificationCenter> DistributedNotificationCenter::Default() {
  static const std::shared_ptr<DistributedNotificationCenter> center = Open(RunLoop::Main());
  return center;
}

std::shared_ptr<DistributedNotificationCenter> DistributedNotificationCenter::Open(
    std::shared_ptr<RunLoop> loop) {
  return std::make_shared<DistributedNotificationCenter>(loop ? std::move(loop) : RunLoop::Current());
}

DistributedNotificationCenter::DistributedNotificationCenter(std::shared_ptr<RunLoop> loop)
    : loop_(std::move(loop)) {}

DistributedNotificationCenter::~DistributedNotificationCenter() {
  if (watch_) watch_->Cancel();
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
}

Subscription DistributedNotificationCenter::AddObserver(std::string name, Callback callback, Status* status) {
  std::lock_guard lock(mutex_);
  const Status s = ListenLocked();
  if (status) *status = s;
  auto entry = std::make_shared<Entry>(Entry{std::move(name), std::move(callback)});
  entries_.push_back(entry);
  std::weak_ptr<DistributedNotificationCenter> weak = weak_from_this();
  return Subscription([weak, entry] {
    auto center = weak.lock();
    if (!center) return;
    std::lock_guard lock(center->mutex_);
    entry->active = false;
    std::erase(center->entries_, entry);
  });
}

Status DistributedNotificationCenter::ListenLocked() {
  if (socket_.valid()) return kNoErr;
  const std::string folder = Folder();
  if (folder.empty()) return kParamErr;
  std::string path =
      folder + "/" + std::to_string(getpid()) + "." + std::to_string(gSocketCounter.fetch_add(1));
  sockaddr_un addr;
  if (!MakeAddress(path, addr)) return kParamErr;
  UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return kInsufficientResourcesErr;
  unlink(path.c_str());  // left by an earlier process with our pid
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return kParamErr;
  std::weak_ptr<DistributedNotificationCenter> weak = weak_from_this();
  watch_ = loop_->AddWatch(fd.get(), kReadable, [weak](unsigned) {
    if (auto center = weak.lock()) center->Receive();
  });
  if (!watch_) {
    unlink(path.c_str());
    return kParamErr;
  }
  socket_ = std::move(fd);
  socket_path_ = std::move(path);
  return kNoErr;
}

void DistributedNotificationCenter::Receive() {
  std::string buffer(kMaxDatagram, '\0');
  for (;;) {
    const ssize_t n = recv(socket_.get(), buffer.data(), buffer.size(), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // EAGAIN: all read
    }
    std::string_view message(buffer.data(), static_cast<std::size_t>(n));
    if (message.substr(0, kMagic.size()) != kMagic) continue;
    std::size_t pos = kMagic.size();
    auto name = wire::ReadString(message, pos);
    if (!name) continue;
    auto info = wire::ReadValue(message, pos);
    if (!info) continue;
    std::vector<std::shared_ptr<Entry>> matching;
    {
      std::lock_guard lock(mutex_);
      for (auto& e : entries_) {
        if (e->name.empty() || e->name == *name) matching.push_back(e);
      }
    }
    for (auto& e : matching) {
      bool active;
      {
        std::lock_guard lock(mutex_);
        active = e->active;
      }
      if (active) e->callback(*name, *info);
    }
  }
}

Status DistributedNotificationCenter::Post(std::string_view name, const values::Value& user_info) {
  std::string message(kMagic);
  wire::AppendString(message, name);
  wire::AppendValue(message, user_info);
  if (message.size() > kMaxDatagram) return kParamErr;
  const std::string folder = Folder();
  if (folder.empty()) return kParamErr;
  UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return kInsufficientResourcesErr;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return kParamErr;
  std::vector<std::string> paths;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    paths.push_back(folder + "/" + entry->d_name);
  }
  closedir(dir);
  for (auto& path : paths) {
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) continue;
    if (sendto(fd.get(), message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr),
               sizeof addr) < 0 &&
        errno == ECONNREFUSED) {
      unlink(path.c_str());  // nobody reads it any more: its process has gone
    }
  }
  return kNoErr;
}

}  // namespace runtime
