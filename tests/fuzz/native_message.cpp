// Messages from the browser extension to its native host: length-prefixed JSON that
// carries what web pages gave the browser (URLs, referers, cookies, URL lists).

#include <string>

#include "plugins/browser_plugin/native_messages.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

// As the host reads its input: bytes arrive in pieces, whole frames are taken off the
// front, a refused frame ends the exchange.
void ReadInput(std::string_view input, std::size_t piece) {
  std::string received;
  while (true) {
    std::size_t used = 0;
    std::string message;
    const auto status = browserplugin::TakeNativeFrame(received, used, message);
    if (status == browserplugin::FrameStatus::kRefused) break;
    if (status == browserplugin::FrameStatus::kMessage) {
      TRUVANE_FUZZ_CHECK(used == message.size() + 4 && used <= received.size());
      TRUVANE_FUZZ_CHECK(message.size() <= browserplugin::kMaxNativeMessageBytes);
      if (auto request = browserplugin::ParseHostRequest(message)) {
        TRUVANE_FUZZ_CHECK(request->kind == browserplugin::HostRequest::Kind::kTypes ||
                           !request->url.empty());
      }
      received.erase(0, used);
      continue;
    }
    if (input.empty()) break;
    const std::size_t n = std::min(piece, input.size());
    received.append(input.substr(0, n));
    input.remove_prefix(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t piece : fuzz::kPieceSizes) ReadInput(fuzz::AsText(data, size), piece);
  return 0;
}
