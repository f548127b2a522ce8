#include "app/sharing/received/partial_received_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <system_error>
#include <utility>

#include "app/util/files/unique_move.h"
#include "platform/files/file_ref.h"
#include "platform/files/xattr.h"
#include "platform/values/plist.h"
#include "platform/values/text_encoding.h"
#include "platform/values/uuid.h"

namespace sharing {

namespace fs = std::filesystem;

namespace {

constexpr char kFileInfoName[] = "fileInfo";
constexpr char kDataName[] = "data";
constexpr char kRsrcName[] = "rsrc";
constexpr char kResourceForkAttribute[] = "user.com.apple.ResourceFork";
constexpr double kSecondsFrom1970To2001 = 978307200.0;
constexpr std::int64_t kMaxResourceForkAttribute = 64 * 1024;

std::optional<std::string> ReadBounded(const fs::path& path, std::size_t bound) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || out.size() + static_cast<std::size_t>(n) > bound) {
      ::close(fd);
      if (n == 0) return out;
      return std::nullopt;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
}

// Through a temporary file renamed over the old one, so that a crash never leaves half a
// "fileInfo" and with it a package that cannot be resumed.
bool WriteFileInfo(const fs::path& package, const values::Dictionary& dictionary) {
  auto bytes = values::WritePropertyList(values::Value(dictionary), values::PlistFormat::kXml);
  if (!bytes.ok()) return false;
  const fs::path temp = package / ".fileInfo.new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  const auto* p = reinterpret_cast<const char*>(bytes->data());
  std::size_t left = bytes->size();
  bool ok = true;
  while (left > 0 && ok) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) {
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), (package / kFileInfoName).c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool ReadInt64(const values::Value& dict, std::string_view key, std::int64_t& out) {
  const values::Value* v = dict.Find(key);
  if (!v || !v->AsNumber()) return false;
  out = v->AsNumber()->AsInt64();
  return true;
}

void ApplyMetadata(const fs::path& file, const values::Dictionary& info) {
  const values::Value dict(info);
  if (const values::Value* mode = dict.Find("mode"); mode && mode->AsNumber()) {
    // Permission bits only: a peer never makes a set-user-ID or set-group-ID file here, nor
    // one its owner cannot read and write, nor one that others may change.
    const auto sent = static_cast<mode_t>(mode->AsNumber()->AsInt64());
    ::chmod(file.c_str(), ((sent & 0777) & ~mode_t{022}) | mode_t{0600});
  }
  if (const values::Value* modified = dict.Find("modified"); modified && modified->AsNumber()) {
    const double unixTime = modified->AsNumber()->AsDouble() + kSecondsFrom1970To2001;
    if (std::isfinite(unixTime) && unixTime >= 0 && unixTime < 1e12) {
      timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_OMIT;
      times[1].tv_sec = static_cast<time_t>(unixTime);
      times[1].tv_nsec = static_cast<long>((unixTime - std::floor(unixTime)) * 1e9);
      ::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
  }
}

}  // namespace

std::optional<PartialFileInfo> ParsePartialFileInfo(std::string_view bytes) {
  if (bytes.size() > kMaxFileInfoBytes) return std::nullopt;
  auto read = values::ReadPropertyList(bytes);
  if (!read.ok() || !read->AsDictionary()) return std::nullopt;
  PartialFileInfo info;
  const values::Value& dict = *read;
  if (!ReadInt64(dict, "file size", info.dataSize) || !ReadInt64(dict, "downloaded bytes", info.downloaded)) {
    return std::nullopt;
  }
  ReadInt64(dict, "rfile size", info.rsrcSize);
  if (const values::Value* s = dict.Find("seconds"); s && s->AsNumber())
    info.seconds = s->AsNumber()->AsDouble();
  if (!std::isfinite(info.seconds) || info.seconds < 0) info.seconds = 0;
  if (info.dataSize < 0 || info.rsrcSize < 0 || info.dataSize > kMaxReceivedFileSize ||
      info.rsrcSize > kMaxReceivedFileSize - info.dataSize || info.downloaded < 0 ||
      info.downloaded > info.total()) {
    return std::nullopt;
  }
  info.name = dict.Find("name") ? dict.Find("name")->StringOr("") : "";
  info.dictionary = *dict.AsDictionary();
  return info;
}

bool IsPlainPathComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string ReceivedFileNameFrom(std::string_view name) {
  std::string out;
  // A peer's name is stored as text (the uploads file): bytes that are not UTF-8 are read
  // as Latin-1.
  for (char c : values::DecodeUtf8OrLatin1(name)) {
    if (c == '\r' || c == '\n' || c == '\0') continue;
    out += c == '/' ? ':' : c;
  }
  // A name made only of dots would name the folder itself or its parent.
  if (out.find_first_not_of('.') == std::string::npos) return "Untitled";
  if (out.size() > 255) {
    // The last 255 bytes, starting at a character: a cut through one would leave text
    // that is not UTF-8.
    std::size_t from = out.size() - 255;
    while (from < out.size() && (static_cast<unsigned char>(out[from]) & 0xC0) == 0x80) ++from;
    out.erase(0, from);
  }
  return out;
}

std::optional<fs::path> PartialFolderPath(const fs::path& receivedFolder, const std::string& user,
                                          const std::string& uuid) {
  const auto parsed = values::Uuid::Parse(uuid);
  if (!IsPlainPathComponent(user) || !parsed) return std::nullopt;
  return receivedFolder / user / (parsed->ToString() + ".partial");
}

bool CreatePartialReceivedFile(const fs::path& receivedFolder, const std::string& user,
                               const std::string& uuid, const std::string& name, std::int64_t dataSize,
                               std::int64_t rsrcSize, const values::Dictionary& metadata) {
  const auto package = PartialFolderPath(receivedFolder, user, uuid);
  if (!package || dataSize < 0 || rsrcSize < 0 || dataSize > kMaxReceivedFileSize ||
      rsrcSize > kMaxReceivedFileSize - dataSize) {
    return false;
  }
  std::error_code ec;
  fs::create_directories(receivedFolder, ec);
  if (ec) return false;
  // The user's folder is made, or taken only when it is a folder itself: a link planted in
  // its place would carry the peer's file out of the received-files folder.
  const fs::path userFolder = package->parent_path();
  if (::mkdir(userFolder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(userFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  // mkdir fails on an existing package: two requests for one UUID never share one.
  if (::mkdir(package->c_str(), 0755) != 0) return false;
  values::Dictionary info = metadata;
  info["name"] = values::Value(name);
  info["file size"] = values::Value(values::Number::Int64(dataSize));
  info["downloaded bytes"] = values::Value(values::Number::Int64(0));
  info["rfile size"] = values::Value(values::Number::Int64(rsrcSize));
  info["seconds"] = values::Value(0.0);
  if (WriteFileInfo(*package, info)) return true;
  fs::remove_all(*package, ec);
  return false;
}

std::optional<PartialFileInfo> ReadPartialFileInfo(const fs::path& receivedFolder, const std::string& user,
                                                   const std::string& uuid) {
  const auto package = PartialFolderPath(receivedFolder, user, uuid);
  if (!package) return std::nullopt;
  const auto bytes = ReadBounded(*package / kFileInfoName, kMaxFileInfoBytes);
  if (!bytes) return std::nullopt;
  return ParsePartialFileInfo(*bytes);
}

bool UpdatePartialFileInfo(const fs::path& receivedFolder, const std::string& user, const std::string& uuid,
                           const PartialFileInfo& info) {
  const auto package = PartialFolderPath(receivedFolder, user, uuid);
  if (!package) return false;
  values::Dictionary dict = info.dictionary;
  dict["downloaded bytes"] = values::Value(values::Number::Int64(info.downloaded));
  dict["seconds"] = values::Value(info.seconds);
  return WriteFileInfo(*package, dict);
}

ForkPosition ForkPositionOf(const PartialFileInfo& info, std::int64_t offset) {
  if (offset >= info.rsrcSize) return {true, offset - info.rsrcSize};
  return {false, offset};
}

PartialFileWriter::PartialFileWriter(fs::path package, const PartialFileInfo& info)
    : package_(std::move(package)), rsrcSize_(info.rsrcSize), total_(info.total()) {}

PartialFileWriter::~PartialFileWriter() {
  if (data_ >= 0) ::close(data_);
  if (rsrc_ >= 0) ::close(rsrc_);
}

bool PartialFileWriter::Open(std::int64_t offset) {
  if (offset < 0 || offset > total_) return false;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
  data_ = ::open((package_ / kDataName).c_str(), flags, 0644);
  if (rsrcSize_ > 0) rsrc_ = ::open((package_ / kRsrcName).c_str(), flags, 0644);
  if (data_ < 0 || (rsrcSize_ > 0 && rsrc_ < 0)) return false;
  position_ = offset;
  return true;
}

std::int64_t PartialFileWriter::Write(const char* bytes, std::size_t length) {
  std::int64_t taken = 0;
  while (length > 0 && position_ < total_) {
    const bool inData = position_ >= rsrcSize_;
    const std::int64_t end = inData ? total_ : rsrcSize_;
    const std::size_t step = static_cast<std::size_t>(std::min<std::int64_t>(end - position_, length));
    const int fd = inData ? data_ : rsrc_;
    const off_t at = static_cast<off_t>(inData ? position_ - rsrcSize_ : position_);
    const ssize_t n = ::pwrite(fd, bytes, step, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return taken > 0 ? taken : -1;
    bytes += n;
    length -= static_cast<std::size_t>(n);
    position_ += n;
    taken += n;
  }
  return taken;
}

std::optional<fs::path> CompletePartialReceivedFile(const fs::path& receivedFolder, const std::string& user,
                                                    const std::string& uuid, const PartialFileInfo& info) {
  const auto package = PartialFolderPath(receivedFolder, user, uuid);
  if (!package) return std::nullopt;
  const fs::path data = *package / kDataName;
  // A file with no data fork has no "data" yet.
  if (::access(data.c_str(), F_OK) != 0) {
    const int fd = ::open(data.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return std::nullopt;
    ::close(fd);
  }
  // The data fork is exactly as long as announced, even when a peer wrote a hole.
  if (::truncate(data.c_str(), static_cast<off_t>(info.dataSize)) != 0) return std::nullopt;
  files::FileRef moved;
  if (util::MoveAndRenameUnique(files::FileRef(data.string()),
                                files::FileRef(package->parent_path().string()),
                                ReceivedFileNameFrom(info.name), &moved) != 0) {
    return std::nullopt;
  }
  const fs::path result = moved.Path();
  ApplyMetadata(result, info.dictionary);
  if (info.rsrcSize > 0 && info.rsrcSize <= kMaxResourceForkAttribute) {
    if (auto fork = ReadBounded(*package / kRsrcName, static_cast<std::size_t>(kMaxResourceForkAttribute))) {
      files::SetAttribute(moved, kResourceForkAttribute,
                          std::span(reinterpret_cast<const std::uint8_t*>(fork->data()), fork->size()));
    }
  }
  std::error_code ec;
  fs::remove_all(*package, ec);
  return result;
}

}  // namespace sharing
