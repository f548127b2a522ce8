#include "platform/files/create_items.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

#include "platform/runtime/unique_fd.h"

namespace files {

Status CreateFile(const FileRef& file, mode_t mode) {
  if (file.empty()) return Status(paramErr);
  int fd;
  do {
    fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::FromErrno(errno);
  runtime::UniqueFd owned(fd);
  return Status();
}

Status CreateFolder(const FileRef& folder, bool parents, mode_t mode) {
  if (folder.empty()) return Status(paramErr);
  if (::mkdir(folder.c_str(), mode) == 0) return Status();
  const int error = errno;
  if (!parents) return Status::FromErrno(error);
  if (error == EEXIST) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Status();
    return Status::FromErrno(EEXIST);
  }
  if (error != ENOENT || folder.IsRoot()) return Status::FromErrno(error);
  if (Status up = CreateFolder(folder.Parent(), true, mode); !up.ok()) return up;
  // Another thread may have made it meanwhile: that is the same success.
  if (::mkdir(folder.c_str(), mode) == 0) return Status();
  if (errno == EEXIST) return CreateFolder(folder, true, mode);
  return Status::FromErrno(errno);
}

}  // namespace files
