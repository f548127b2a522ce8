#include "platform/values/plist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/values/plist_binary.h"
#include "platform/values/plist_xml.h"

namespace values {

PlistResult<Value> ReadPropertyList(std::span<const std::uint8_t> bytes, PlistFormat* format) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.starts_with("bplist")) {
    if (format) *format = PlistFormat::kBinary;
    if (!text.starts_with(kBinaryPlistSignature)) {
      return PlistResult<Value>::Failure("unsupported binary property list version \"" +
                                         std::string(text.substr(0, 8)) + "\"");
    }
    return ReadBinaryPropertyList(bytes);
  }
  if (format) *format = PlistFormat::kXml;
  return ReadXmlPropertyList(text);
}

PlistResult<Value> ReadPropertyList(std::string_view bytes, PlistFormat* format) {
  return ReadPropertyList(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                          format);
}

PlistResult<Value> ReadPropertyListFile(const std::string& path, PlistFormat* format) {
  using Result = PlistResult<Value>;
  // Non-blocking: a FIFO in the file's place must be refused below, not waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Result::Failure(path + ": " + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return Result::Failure(path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return Result::Failure(path + ": not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxPlistFileSize)
    return Result::Failure(path + ": file too large");
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t filled = 0;
  for (;;) {
    // The file may grow between fstat and read; read until the end, within the cap.
    if (filled == bytes.size()) {
      if (bytes.size() >= kMaxPlistFileSize) return Result::Failure(path + ": file too large");
      bytes.resize(std::min(kMaxPlistFileSize, bytes.size() + 4096));
    }
    const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Result::Failure(path + ": " + std::strerror(errno));
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  auto result = ReadPropertyList(bytes, format);
  if (!result) return Result::Failure(path + ": " + result.error());
  return result;
}

PlistResult<Bytes> WritePropertyList(const Value& value, PlistFormat format) {
  if (format == PlistFormat::kBinary) return WriteBinaryPropertyList(value);
  auto text = WriteXmlPropertyList(value);
  if (!text) return PlistResult<Bytes>::Failure(text.error());
  return Bytes(text->begin(), text->end());
}

Value MakeUid(std::uint32_t uid) {
  return Value{{std::string(kUidKey), Value(Number::Int64(uid))}};
}

std::optional<std::uint32_t> GetUid(const Value& value) {
  const Dictionary* dict = value.AsDictionary();
  if (!dict || dict->size() != 1) return std::nullopt;
  const Value* inner = value.Find(kUidKey);
  const Number* n = inner ? inner->AsNumber() : nullptr;
  if (!n || n->IsReal() || n->kind == Number::Kind::kUInt64) return std::nullopt;
  if (n->i < 0 || n->i > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(n->i);
}

}  // namespace values
