#include "platform/appleevents/event_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace appleevents {
namespace {

Status MakeOwnFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return kUnsafeFolderErr;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
    return kUnsafeFolderErr;
  if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return kUnsafeFolderErr;
  return kNoErr;
}

}  // namespace

std::string EventFolderPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return std::string(runtime) + "/truvane";
  return "/tmp/truvane-" + std::to_string(::geteuid());
}

Status PrepareEventFolder(std::string& folder) {
  if (folder.empty()) folder = EventFolderPath();
  const auto slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    // The runtime folder itself is the session's; make it only when it is missing.
    const std::string parent = folder.substr(0, slash);
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0 && ::mkdir(parent.c_str(), 0700) != 0) return kUnsafeFolderErr;
  }
  return MakeOwnFolder(folder);
}

std::string EventSocketPath(const std::string& folder) {
  return folder + "/events";
}

}  // namespace appleevents
