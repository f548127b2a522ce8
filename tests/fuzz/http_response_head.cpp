// The head of an HTTP response, read as its bytes arrive.

#include <string>

#include "platform/net/http_body_decoder.h"
#include "platform/net/http_message.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

void ReadHead(std::string_view input, std::size_t piece) {
  net::HttpHeadParser parser;
  while (!input.empty() && parser.state() == net::HttpHeadParser::State::kNeedMore) {
    const std::string_view part = input.substr(0, piece);
    const std::size_t taken = parser.Feed(part);
    TRUVANE_FUZZ_CHECK(taken <= part.size());
    // Bytes not taken belong to the body, which only follows a finished head.
    if (taken < part.size()) TRUVANE_FUZZ_CHECK(parser.state() != net::HttpHeadParser::State::kNeedMore);
    input.remove_prefix(taken);
  }
  if (parser.state() == net::HttpHeadParser::State::kDone) {
    const net::HttpResponseHead& head = parser.Head();
    (void)head.StatusCode();
    (void)net::HttpBodyDecoder::ForResponse(head, "GET");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t piece : fuzz::kPieceSizes) ReadHead(fuzz::AsText(data, size), piece);
  return 0;
}
