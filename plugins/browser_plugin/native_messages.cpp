#include "plugins/browser_plugin/native_messages.h"

#include <json/json.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

namespace browserplugin {
namespace {

std::uint32_t LengthOf(std::string_view four) {
  std::uint32_t n = 0;
  std::memcpy(&n, four.data(), 4);
  return n;
}

bool ReadExactly(int fd, std::string& out, std::size_t n) {
  while (out.size() < n) {
    char buf[65536];
    const ssize_t got = ::read(fd, buf, std::min(sizeof buf, n - out.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out.append(buf, static_cast<std::size_t>(got));
  }
  return true;
}

std::string StringMember(const Json::Value& v, const char* name) {
  const Json::Value& m = v[name];
  return m.isString() ? m.asString() : std::string();
}

}  // namespace

FrameStatus TakeNativeFrame(std::string_view received, std::size_t& used, std::string& message) {
  used = 0;
  if (received.size() < 4) return FrameStatus::kNeedMore;
  const std::uint32_t length = LengthOf(received);
  if (length > kMaxNativeMessageBytes) return FrameStatus::kRefused;
  if (received.size() - 4 < length) return FrameStatus::kNeedMore;
  message.assign(received.substr(4, length));
  used = 4 + length;
  return FrameStatus::kMessage;
}

std::string FrameNativeMessage(std::string_view json) {
  const auto length = static_cast<std::uint32_t>(json.size());
  std::string out(4, '\0');
  std::memcpy(out.data(), &length, 4);
  out.append(json);
  return out;
}

std::optional<HostRequest> ParseHostRequest(std::string_view json) {
  Json::CharReaderBuilder builder;
  builder["stackLimit"] = kMaxNativeMessageDepth;
  builder["failIfExtra"] = true;
  builder["rejectDupKeys"] = false;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    if (!reader->parse(json.data(), json.data() + json.size(), &root, &errors)) return std::nullopt;
  } catch (const std::exception&) {
    // jsoncpp reports a nesting past the stack limit by throwing.
    return std::nullopt;
  }
  if (!root.isObject()) return std::nullopt;
  HostRequest request;
  const std::string type = StringMember(root, "type");
  if (type == "types") return request;
  if (type != "download") return std::nullopt;
  request.kind = HostRequest::Kind::kDownload;
  request.url = StringMember(root, "url");
  if (request.url.empty()) return std::nullopt;
  request.referrer = StringMember(root, "referrer");
  request.cookies = StringMember(root, "cookies");
  request.mimeType = StringMember(root, "mime");
  if (root["body"].isString()) request.body = root["body"].asString();
  return request;
}

std::optional<std::string> ReadNativeMessage(int fd) {
  std::string header;
  if (!ReadExactly(fd, header, 4)) return std::nullopt;
  const std::uint32_t length = LengthOf(header);
  if (length > kMaxNativeMessageBytes) return std::nullopt;
  std::string body;
  if (!ReadExactly(fd, body, length)) return std::nullopt;
  return body;
}

bool WriteNativeMessage(int fd, std::string_view json) {
  const std::string framed = FrameNativeMessage(json);
  std::string_view rest = framed;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace browserplugin
