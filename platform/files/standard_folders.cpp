#include "platform/files/standard_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/files/create_items.h"
#include "platform/files/file_handle.h"
#include "platform/files/user_dirs.h"

namespace files {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomePath() {
  std::string home = Env("HOME");
  if (!home.empty() && home.front() == '/') return home;
  std::vector<char> buffer(16384);
  struct passwd pw;
  struct passwd* result = nullptr;
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir) {
    return result->pw_dir;
  }
  return "/";
}

// An XDG base folder: the variable when it holds an absolute path, else HOME + fallback.
std::string BaseFolder(const char* variable, std::string_view fallback_under_home) {
  std::string value = Env(variable);
  if (!value.empty() && value.front() == '/') return value;
  return HomePath() + "/" + std::string(fallback_under_home);
}

std::string UserDir(const char* key, const char* fallback_name) {
  const std::string home = HomePath();
  const FileRef file = FileRef(BaseFolder("XDG_CONFIG_HOME", ".config")).Child("user-dirs.dirs");
  if (auto bytes = ReadFileContents(file, 64 * 1024); bytes.ok()) {
    const auto dirs =
        ParseUserDirs(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), home);
    if (auto it = dirs.find(key); it != dirs.end()) return it->second;
  }
  std::string value = Env(key);
  if (!value.empty() && value.front() == '/') return value;
  return home + "/" + fallback_name;
}

bool IsProgramFolder(StandardFolder which) {
  switch (which) {
    case StandardFolder::kApplicationSupport:
    case StandardFolder::kPreferences:
    case StandardFolder::kLogs:
    case StandardFolder::kCaches:
    case StandardFolder::kTrash:
      return true;
    default:
      return false;
  }
}

}  // namespace

FileRef StandardFolderRef(StandardFolder which) {
  switch (which) {
    case StandardFolder::kApplicationSupport:
      return FileRef(BaseFolder("XDG_DATA_HOME", ".local/share")).Child(kApplicationFolderName);
    case StandardFolder::kPreferences:
      return FileRef(BaseFolder("XDG_CONFIG_HOME", ".config")).Child(kApplicationFolderName);
    case StandardFolder::kLogs:
      return FileRef(BaseFolder("XDG_STATE_HOME", ".local/state")).Child(kApplicationFolderName);
    case StandardFolder::kCaches:
      return FileRef(BaseFolder("XDG_CACHE_HOME", ".cache")).Child(kApplicationFolderName);
    case StandardFolder::kDownloads:
      return FileRef(UserDir("XDG_DOWNLOAD_DIR", "Downloads"));
    case StandardFolder::kDocuments:
      return FileRef(UserDir("XDG_DOCUMENTS_DIR", "Documents"));
    case StandardFolder::kDesktop:
      return FileRef(UserDir("XDG_DESKTOP_DIR", "Desktop"));
    case StandardFolder::kHome:
      return FileRef(HomePath());
    case StandardFolder::kTemporary: {
      std::string tmp = Env("TMPDIR");
      return FileRef(!tmp.empty() && tmp.front() == '/' ? tmp : "/tmp");
    }
    case StandardFolder::kTrash:
      return FileRef(BaseFolder("XDG_DATA_HOME", ".local/share")).Child("Trash");
  }
  return FileRef();
}

Result<FileRef> FindStandardFolder(StandardFolder which, bool create) {
  const FileRef folder = StandardFolderRef(which);
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return Status(dirNFErr, ENOTDIR);
    return folder;
  }
  if (!create) return Status::FromErrno(errno);
  if (Status s = CreateFolder(folder, true, IsProgramFolder(which) ? 0700 : 0777); !s.ok()) return s;
  return folder;
}

}  // namespace files
