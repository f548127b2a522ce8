#include "platform/files/xattr.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <cerrno>

namespace files {

namespace {

bool IsUserName(std::string_view name) {
  return name.size() > 5 && name.substr(0, 5) == "user.";
}

}  // namespace

Result<values::Bytes> GetAttribute(const FileRef& item, std::string_view name) {
  if (item.empty() || !IsUserName(name)) return Status(paramErr);
  const std::string key(name);
  // The value may change size between the two calls: retry until it fits.
  for (int attempt = 0; attempt < 4; ++attempt) {
    const ssize_t size = ::lgetxattr(item.c_str(), key.c_str(), nullptr, 0);
    if (size < 0) return Status::FromErrno(errno);
    values::Bytes value(static_cast<std::size_t>(size));
    const ssize_t got = ::lgetxattr(item.c_str(), key.c_str(), value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<std::size_t>(got));
      return value;
    }
    if (errno != ERANGE) return Status::FromErrno(errno);
  }
  return Status::FromErrno(ERANGE);
}

Status SetAttribute(const FileRef& item, std::string_view name, std::span<const std::uint8_t> value) {
  if (item.empty() || !IsUserName(name)) return Status(paramErr);
  const std::string key(name);
  if (::lsetxattr(item.c_str(), key.c_str(), value.data(), value.size(), 0) != 0) {
    // Links cannot carry user attributes (EPERM): that is "not supported here", not a
    // permission problem the user could fix.
    const int error = errno;
    struct stat st;
    if (error == EPERM && ::lstat(item.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      return Status(unimpErr, error);
    return Status::FromErrno(error);
  }
  return Status();
}

Status RemoveAttribute(const FileRef& item, std::string_view name) {
  if (item.empty() || !IsUserName(name)) return Status(paramErr);
  const std::string key(name);
  if (::lremovexattr(item.c_str(), key.c_str()) != 0) return Status::FromErrno(errno);
  return Status();
}

Result<std::vector<std::string>> ListAttributes(const FileRef& item) {
  if (item.empty()) return Status(paramErr);
  std::string buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const ssize_t size = ::llistxattr(item.c_str(), nullptr, 0);
    if (size < 0) return Status::FromErrno(errno);
    buffer.assign(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::llistxattr(item.c_str(), buffer.data(), buffer.size());
    if (got >= 0) {
      buffer.resize(static_cast<std::size_t>(got));
      std::vector<std::string> names;
      std::size_t pos = 0;
      while (pos < buffer.size()) {
        std::string name = buffer.c_str() + pos;
        pos += name.size() + 1;
        if (IsUserName(name)) names.push_back(std::move(name));
      }
      return names;
    }
    if (errno != ERANGE) return Status::FromErrno(errno);
  }
  return Status::FromErrno(ERANGE);
}

Result<std::string> GetStringAttribute(const FileRef& item, std::string_view name) {
  auto bytes = GetAttribute(item, name);
  if (!bytes.ok()) return bytes.status();
  return std::string(bytes->begin(), bytes->end());
}

Status SetStringAttribute(const FileRef& item, std::string_view name, std::string_view value) {
  return SetAttribute(item, name,
                      std::span(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
}

bool IsAttributeMissing(const Status& status) {
  return status.code() == fnfErr && status.sys_errno() == ENODATA;
}

}  // namespace files
