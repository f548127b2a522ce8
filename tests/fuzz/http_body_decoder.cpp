// A whole HTTP response as it comes off the connection: the head sets the framing of the
// body (chunked, Content-Length, until close), which is stepped over bytes that arrive
// in pieces. Length-delimited and until-close bodies may also be taken past the decoder
// (spliced into a file) whenever nothing is pending, as the HTTP stream does.

#include <algorithm>
#include <string>

#include "platform/net/http_body_decoder.h"
#include "platform/net/http_message.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using net::HttpBodyDecoder;

void ReadResponse(std::string_view input, std::size_t piece, std::size_t max_body, bool splice) {
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
    const bool direct = decoder.framing() == HttpBodyDecoder::Framing::kLength ||
                        decoder.framing() == HttpBodyDecoder::Framing::kUntilClose;
    if (splice && direct && pending.empty() && !input.empty()) {
      std::size_t n = std::min({piece, input.size(), max_body});
      if (decoder.Remaining() >= 0)
        n = std::min<std::uint64_t>(n, static_cast<std::uint64_t>(decoder.Remaining()));
      decoder.CountBody(n);
      body += n;
      input.remove_prefix(n);
      continue;
    }
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
    for (bool splice : {false, true}) {
      ReadResponse(fuzz::AsText(data, size), piece, 5, splice);
      ReadResponse(fuzz::AsText(data, size), piece, 64 * 1024, splice);
    }
  }
  return 0;
}
