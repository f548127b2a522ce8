#include "platform/prefs/preference_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/values/plist.h"

namespace prefs {

namespace {

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

FileIdentity IdentityFromStat(const struct stat& st) {
  FileIdentity id;
  id.exists = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Renames an unreadable file out of the way without replacing anything already there.
std::string MoveAside(const std::string& path) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  struct tm utc {};
  ::gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  const std::string base = path + ".unreadable-" + stamp;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string target = attempt == 0 ? base : base + "-" + std::to_string(attempt);
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return target;
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) return "";
    // A file system without RENAME_NOREPLACE: check first (we hold the domain's lock).
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) continue;
    return ::rename(path.c_str(), target.c_str()) == 0 ? target : "";
  }
  return "";
}

}  // namespace

FileIdentity IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return IdentityFromStat(st);
}

DomainFile ReadDomainFile(const std::string& path) {
  DomainFile result;
  // Non-blocking: a FIFO in the file's place must be refused below, not waited on.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno != ENOENT) {
      result.state = DomainFile::State::kFailed;
      result.error = ErrnoText(path);
    }
    return result;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    result.state = DomainFile::State::kFailed;
    result.error = ErrnoText(path);
    return result;
  }
  if (!S_ISREG(st.st_mode)) {
    result.state = DomainFile::State::kFailed;
    result.error = path + ": not a regular file";
    return result;
  }
  result.identity = IdentityFromStat(st);
  if (static_cast<std::uint64_t>(st.st_size) > values::kMaxPlistFileSize) {
    result.error = "file too large";
  } else {
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
      const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result.state = DomainFile::State::kFailed;
        result.error = ErrnoText(path);
        return result;
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    auto parsed = values::ReadPropertyList(bytes);
    if (parsed && parsed->IsDictionary()) {
      result.state = DomainFile::State::kRead;
      result.values = std::move(*std::move(parsed).value().AsDictionary());
      return result;
    }
    result.error = parsed ? "the property list is not a dictionary" : parsed.error();
  }
  result.movedTo = MoveAside(path);
  if (result.movedTo.empty()) {
    // Still in place: whoever replaced it would destroy it.
    result.state = DomainFile::State::kFailed;
    result.error = path + " is unreadable (" + result.error + ") and could not be moved aside";
    return result;
  }
  result.state = DomainFile::State::kUnreadable;
  result.identity = {};  // nothing is at `path` any more
  return result;
}

std::string MakeFolders(const std::string& path) {
  if (path.empty()) return "no folder";
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? "" : path + ": not a folder";
  const std::string parent = ParentOf(path);
  if (parent != path) {
    if (auto error = MakeFolders(parent); !error.empty()) return error;
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return ErrnoText(path);
  return "";
}

std::string WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string folder = ParentOf(path);
  if (auto error = MakeFolders(folder); !error.empty()) return error;
  const std::string name = path.substr(path.rfind('/') + 1);
  std::string temp = folder + "/." + name + ".XXXXXX";
  Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC));  // mode 0600
  if (fd.get() < 0) return ErrnoText(temp);
  const bool written = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  const int closed = ::close(fd.release());
  if (!written || closed != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string error = ErrnoText(path);
    ::unlink(temp.c_str());
    return error;
  }
  // The rename is durable only once the folder's entry is on disk.
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0 || ::fsync(dir.get()) != 0) return ErrnoText(folder);
  return "";
}

FileLock::FileLock(const std::string& lockPath) {
  if (auto error = MakeFolders(ParentOf(lockPath)); !error.empty()) {
    error_ = error;
    return;
  }
  fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    error_ = ErrnoText(lockPath);
    return;
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    error_ = ErrnoText(lockPath);
    ::close(fd_);
    fd_ = -1;
    return;
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace prefs
