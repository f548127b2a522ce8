#include "platform/files/resource_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>

#include "platform/values/text_encoding.h"

namespace files {
namespace {

constexpr std::size_t kHeaderBytes = 16;
// Writers leave room for a system area after the header; readers use the offsets.
constexpr std::size_t kDataStart = 256;
constexpr std::size_t kMapFixedBytes = 28;

std::uint32_t Read32(std::string_view b, std::size_t at) {
  return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint32_t(std::uint8_t(b[at + 1])) << 16) |
         (std::uint32_t(std::uint8_t(b[at + 2])) << 8) | std::uint32_t(std::uint8_t(b[at + 3]));
}
std::uint16_t Read16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>((std::uint8_t(b[at]) << 8) | std::uint8_t(b[at + 1]));
}
std::uint32_t Read24(std::string_view b, std::size_t at) {
  return (std::uint32_t(std::uint8_t(b[at])) << 16) | (std::uint32_t(std::uint8_t(b[at + 1])) << 8) |
         std::uint32_t(std::uint8_t(b[at + 2]));
}
void Put32(std::string& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<char>((v >> s) & 0xFF));
}
void Put16(std::string& b, std::uint16_t v) {
  b.push_back(static_cast<char>(v >> 8));
  b.push_back(static_cast<char>(v & 0xFF));
}
void Set32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

// Cuts UTF-8 text so that its Mac OS Roman form fits a length byte.
std::string EncodeRoman(std::string_view utf8) {
  const auto roman = values::TextEncoding::MacRoman();
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t n = 1;
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead >= 0xF0)
      n = 4;
    else if (lead >= 0xE0)
      n = 3;
    else if (lead >= 0xC0)
      n = 2;
    if (i + n > utf8.size()) n = utf8.size() - i;
    auto one = values::EncodeText(utf8.substr(i, n), roman, '?');
    const std::string piece = one ? *one : std::string("?");
    if (out.size() + piece.size() > 255) break;
    out += piece;
    i += n;
  }
  return out;
}

}  // namespace

std::optional<std::vector<Resource>> ParseResourceFile(std::string_view b) {
  if (b.size() < kHeaderBytes || b.size() > kMaxResourceFileBytes) return std::nullopt;
  const std::size_t dataOffset = Read32(b, 0), mapOffset = Read32(b, 4);
  const std::size_t dataLength = Read32(b, 8), mapLength = Read32(b, 12);
  if (dataOffset > b.size() || dataLength > b.size() - dataOffset) return std::nullopt;
  if (mapOffset > b.size() || mapLength > b.size() - mapOffset || mapLength < kMapFixedBytes)
    return std::nullopt;
  const std::string_view data = b.substr(dataOffset, dataLength);
  const std::string_view map = b.substr(mapOffset, mapLength);
  const std::size_t typeListOffset = Read16(map, 24);
  if (typeListOffset + 2 > map.size()) return std::nullopt;
  const std::string_view typeList = map.substr(typeListOffset);
  const std::size_t typeCount = static_cast<std::uint16_t>(Read16(typeList, 0) + 1) & 0xFFFF;
  // An empty file stores 0xFFFF (count - 1 of nothing).
  if (Read16(typeList, 0) == 0xFFFF) return std::vector<Resource>{};
  if (2 + typeCount * 8 > typeList.size()) return std::nullopt;
  std::vector<Resource> out;
  for (std::size_t t = 0; t < typeCount; ++t) {
    const std::size_t entry = 2 + t * 8;
    const values::FourCharCode type = Read32(typeList, entry);
    const std::size_t count = std::size_t(Read16(typeList, entry + 4)) + 1;
    const std::size_t refOffset = Read16(typeList, entry + 6);
    if (refOffset > typeList.size() || count * 12 > typeList.size() - refOffset) return std::nullopt;
    for (std::size_t r = 0; r < count; ++r) {
      const std::size_t ref = refOffset + r * 12;
      const auto id = static_cast<std::int16_t>(Read16(typeList, ref));
      const std::size_t at = Read24(typeList, ref + 5);
      if (at > data.size() || data.size() - at < 4) return std::nullopt;
      const std::size_t length = Read32(data, at);
      if (length > data.size() - at - 4) return std::nullopt;
      out.push_back({type, id, std::string(data.substr(at + 4, length))});
    }
  }
  return out;
}

std::string BuildResourceFile(const std::vector<Resource>& resources) {
  // Types in order of first appearance, resources of a type in the order given.
  std::vector<values::FourCharCode> types;
  std::map<values::FourCharCode, std::vector<const Resource*>> byType;
  for (const Resource& r : resources) {
    if (!byType.count(r.type)) types.push_back(r.type);
    byType[r.type].push_back(&r);
  }
  std::string data;
  std::map<const Resource*, std::uint32_t> dataAt;
  for (values::FourCharCode t : types) {
    for (const Resource* r : byType[t]) {
      dataAt[r] = static_cast<std::uint32_t>(data.size());
      Put32(data, static_cast<std::uint32_t>(r->data.size()));
      data += r->data;
    }
  }
  std::string typeList;
  Put16(typeList, static_cast<std::uint16_t>(types.size() - 1));  // 0xFFFF when empty
  std::size_t refAt = 2 + types.size() * 8;
  for (values::FourCharCode t : types) {
    Put32(typeList, t);
    Put16(typeList, static_cast<std::uint16_t>(byType[t].size() - 1));
    Put16(typeList, static_cast<std::uint16_t>(refAt));
    refAt += byType[t].size() * 12;
  }
  for (values::FourCharCode t : types) {
    for (const Resource* r : byType[t]) {
      Put16(typeList, static_cast<std::uint16_t>(r->id));
      Put16(typeList, 0xFFFF);
      const std::uint32_t at = dataAt[r];
      typeList.push_back(0);  // attributes
      typeList.push_back(static_cast<char>((at >> 16) & 0xFF));
      typeList.push_back(static_cast<char>((at >> 8) & 0xFF));
      typeList.push_back(static_cast<char>(at & 0xFF));
      Put32(typeList, 0);
    }
  }
  std::string map(kMapFixedBytes, '\0');
  map[24] = 0;
  map[25] = static_cast<char>(kMapFixedBytes);
  const std::size_t nameListOffset = kMapFixedBytes + typeList.size();
  map[26] = static_cast<char>((nameListOffset >> 8) & 0xFF);
  map[27] = static_cast<char>(nameListOffset & 0xFF);
  map += typeList;

  std::string out(kDataStart, '\0');
  const std::uint32_t mapOffset = static_cast<std::uint32_t>(kDataStart + data.size());
  for (std::string* header : {&out, &map}) {
    Set32(*header, 0, static_cast<std::uint32_t>(kDataStart));
    Set32(*header, 4, mapOffset);
    Set32(*header, 8, static_cast<std::uint32_t>(data.size()));
    Set32(*header, 12, static_cast<std::uint32_t>(map.size()));
  }
  return out + data + map;
}

std::optional<std::vector<Resource>> ReadResourceFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::string bytes;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && std::size_t(st.st_size) <= kMaxResourceFileBytes;
  char buf[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes.append(buf, static_cast<std::size_t>(n));
    ok = bytes.size() <= kMaxResourceFileBytes;
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return ParseResourceFile(bytes);
}

bool WriteResourceFile(const std::string& path, const std::vector<Resource>& resources) {
  const std::string bytes = BuildResourceFile(resources);
  const std::string temp = path + ".tmp";
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string_view rest = bytes;
  bool ok = true;
  while (ok && !rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) rest.remove_prefix(static_cast<std::size_t>(n));
  }
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

std::optional<std::vector<std::string>> ParseStringList(std::string_view data) {
  if (data.size() < 2) return std::nullopt;
  const std::size_t count = Read16(data, 0);
  std::vector<std::string> out;
  std::size_t at = 2;
  const auto roman = values::TextEncoding::MacRoman();
  for (std::size_t i = 0; i < count; ++i) {
    if (at >= data.size()) return std::nullopt;
    const std::size_t n = std::uint8_t(data[at]);
    if (n > data.size() - at - 1) return std::nullopt;
    auto text = values::DecodeText(data.substr(at + 1, n), roman);
    out.push_back(text ? *text : std::string(data.substr(at + 1, n)));
    at += 1 + n;
  }
  return out;
}

std::string BuildStringList(const std::vector<std::string>& strings) {
  std::string out;
  Put16(out, static_cast<std::uint16_t>(std::min<std::size_t>(strings.size(), 0xFFFF)));
  for (std::size_t i = 0; i < strings.size() && i < 0xFFFF; ++i) {
    const std::string roman = EncodeRoman(strings[i]);
    out.push_back(static_cast<char>(roman.size()));
    out += roman;
  }
  return out;
}

const Resource* FindResource(const std::vector<Resource>& resources, values::FourCharCode type,
                             std::int16_t id) {
  for (const Resource& r : resources) {
    if (r.type == type && r.id == id) return &r;
  }
  return nullptr;
}

}  // namespace files
