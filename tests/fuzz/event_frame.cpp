// Messages arriving on the event socket: any local process may connect and write.

#include <string>

#include "platform/appleevents/event_wire.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

// As the server reads a connection: bytes arrive in pieces, whole frames are taken off
// the front, the first refused frame ends the connection.
void ReadConnection(std::string_view input, std::size_t piece) {
  std::string received;
  while (true) {
    appleevents::WireEvent message;
    std::size_t used = 0;
    if (appleevents::DecodeFrame(received, used, message) != appleevents::kNoErr) break;
    if (used > 0) {
      TRUVANE_FUZZ_CHECK(used <= received.size());
      // What was decoded encodes again and decodes to the same event.
      const std::string again = appleevents::EncodeEvent(message.event, message.wants_reply);
      appleevents::WireEvent second;
      TRUVANE_FUZZ_CHECK(appleevents::DecodeEvent(again, second) == appleevents::kNoErr);
      TRUVANE_FUZZ_CHECK(appleevents::EncodeEvent(second.event, second.wants_reply) == again);
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
  for (std::size_t piece : fuzz::kPieceSizes) ReadConnection(fuzz::AsText(data, size), piece);
  return 0;
}
