#include "platform/files/file_ref.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>

#include <vector>

namespace files {

namespace {

std::string CurrentFolder() {
  std::string buffer(PATH_MAX, '\0');
  if (!getcwd(buffer.data(), buffer.size())) return "/";
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

// Lexical normalisation only: ".." removes the previous component even when it is a
// symbolic link, which is what a caller who wrote the path means.
std::string Normalise(std::string_view path) {
  std::string full;
  if (path.empty()) return full;
  if (path.front() != '/') {
    full = CurrentFolder();
    full += '/';
  }
  full.append(path);
  std::vector<std::string_view> parts;
  std::string_view rest(full);
  while (!rest.empty()) {
    const auto slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (auto part : parts) {
    out += '/';
    out.append(part);
  }
  return out.empty() ? "/" : out;
}

}  // namespace

FileRef::FileRef(std::string_view path) : path_(Normalise(path)) {}

std::string FileRef::Name() const {
  if (path_.empty() || IsRoot()) return path_;
  return path_.substr(path_.rfind('/') + 1);
}

FileRef FileRef::Parent() const {
  if (path_.empty() || IsRoot()) return *this;
  const auto slash = path_.rfind('/');
  return FileRef(slash == 0 ? std::string_view("/") : std::string_view(path_).substr(0, slash));
}

FileRef FileRef::Child(std::string_view name) const {
  return FileRef(path_ + "/" + std::string(name));
}

bool FileRef::Contains(const FileRef& other) const {
  if (empty() || other.empty()) return false;
  if (IsRoot()) return true;
  return other.path_ == path_ ||
         (other.path_.size() > path_.size() && other.path_.compare(0, path_.size(), path_) == 0 &&
          other.path_[path_.size()] == '/');
}

Result<FileRef> MakeExistingRef(std::string_view path) {
  if (path.empty()) return Status(fnfErr);
  FileRef ref(path);
  struct stat st;
  if (lstat(ref.c_str(), &st) != 0) return Status::FromErrno(errno);
  return ref;
}

Status ValidateItemName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > NAME_MAX ||
      name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    return Status(bdNamErr);
  }
  return Status();
}

}  // namespace files
