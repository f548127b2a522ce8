#pragma once
// Native messaging: how the browser extension talks to its host program. Each message
// is a 32-bit length in the machine's byte order (little-endian here) followed by that
// many bytes of UTF-8 JSON, in both directions over the host's standard input and
// output.
//
// What the extension sends comes from web pages (URLs, referers, cookies, a URL list's
// text), so it is read with bounds: a message longer than kMaxNativeMessageBytes ends
// the exchange, as does JSON that does not parse or is nested too deeply.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace browserplugin {

// Room for a URL list of thousands of lines; the browser itself sends at most 4 GB, so
// the bound is ours.
inline constexpr std::size_t kMaxNativeMessageBytes = 4 * 1024 * 1024;
inline constexpr int kMaxNativeMessageDepth = 16;

enum class FrameStatus { kNeedMore, kMessage, kRefused };

// Takes the first framed message off `received`: kMessage with `message` and `used` set;
// kNeedMore when the frame is not whole; kRefused when it is over the bound.
FrameStatus TakeNativeFrame(std::string_view received, std::size_t& used, std::string& message);
std::string FrameNativeMessage(std::string_view json);

// One request of the extension.
struct HostRequest {
  enum class Kind { kTypes, kDownload } kind = Kind::kTypes;
  std::string url;
  std::string referrer;
  std::string cookies;              // the cookie header for the URL
  std::string mimeType;             // as the server gave it
  std::optional<std::string> body;  // a URL list's text
};

// No value when the JSON is malformed, too deep, or not a request.
std::optional<HostRequest> ParseHostRequest(std::string_view json);

// Reads one whole message from a descriptor (blocking). No value at the end of input,
// on a read error or on a refused frame.
std::optional<std::string> ReadNativeMessage(int fd);
bool WriteNativeMessage(int fd, std::string_view json);

}  // namespace browserplugin
