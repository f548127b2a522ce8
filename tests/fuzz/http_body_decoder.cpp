// A whole HTTP response as it comes off the connection: the head sets the framing of the
// body (chunked, Content-Length, until close), which is stepped over bytes that arrive
// in pieces.

#include <string>

#include "platform/net/http_body_decoder.h"
#include "platform/net/http_message.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using net::HttpBodyDecoder;

void ReadResponse(std::string_view input, std::size_t piece, std::size_t max_body) {
  net::HttpHeadParser parser;
  input.remove_prefix(parser.Feed(input));
  if (parser.state() != net::HttpHeadParser::State::kDone) return;
  HttpBodyDecoder decoder = HttpBodyDecoder::ForResponse(parser.Head(), "GET");
  const std::int64_t declared = decoder.Remaining();
  const bool by_length = decoder.framing() == HttpBodyDecoder::Framing::kLength;
  std::uint64_t body = 0;
  std::string pending;
  while (decoder.state() == HttpBodyDecoder::State::kBody) {
    const HttpBodyDecoder::Step step = decoder.Advance(pending, max_body);
    TRUVANE_FUZZ_CHECK(step.consumed <= pending.size());
    TRUVANE_FUZZ_CHECK(step.body_size <= max_body);
    if (step.body_size > 0) TRUVANE_FUZZ_CHECK(step.body_offset + step.body_size <= step.consumed);
    body += step.body_size;
    pending.erase(0, step.consumed);
    if (step.consumed > 0) continue;
    if (input.empty()) {
      decoder.InputEnded();
      break;
    }
    const std::size_t n = std::min(piece, input.size());
    pending.append(input.substr(0, n));
    input.remove_prefix(n);
  }
  // A length-delimited body ends exactly at its length, never before or after.
  if (by_length && decoder.state() == HttpBodyDecoder::State::kDone) {
    TRUVANE_FUZZ_CHECK(body == static_cast<std::uint64_t>(declared));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t piece : fuzz::kPieceSizes) {
    // Body bytes are handed out in runs of at most max_body (a reader's free buffer).
    ReadResponse(fuzz::AsText(data, size), piece, 5);
    ReadResponse(fuzz::AsText(data, size), piece, 64 * 1024);
  }
  return 0;
}
