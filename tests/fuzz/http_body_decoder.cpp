// The framing of an HTTP response body (chunked, Content-Length, until close), stepped
// over bytes that arrive in pieces.

#include <cstring>
#include <string>

#include "platform/net/http_body_decoder.h"
#include "platform/net/http_message.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using net::HttpBodyDecoder;

// The framing: from a response head at the start of the input (mode 0), or chosen
// directly so that the fuzzer reaches the body without spelling a head.
HttpBodyDecoder MakeDecoder(unsigned mode, std::string_view& input) {
  switch (mode % 4) {
    case 0: {
      net::HttpHeadParser parser;
      input.remove_prefix(parser.Feed(input));
      if (parser.state() != net::HttpHeadParser::State::kDone)
        return HttpBodyDecoder(HttpBodyDecoder::Framing::kNone);
      return HttpBodyDecoder::ForResponse(parser.Head(), "GET");
    }
    case 1:
      return HttpBodyDecoder(HttpBodyDecoder::Framing::kChunked);
    case 2: {
      std::int64_t length = 0;
      const std::size_t n = std::min<std::size_t>(sizeof length, input.size());
      std::memcpy(&length, input.data(), n);
      input.remove_prefix(n);
      return HttpBodyDecoder(HttpBodyDecoder::Framing::kLength, length);
    }
    default:
      return HttpBodyDecoder(HttpBodyDecoder::Framing::kUntilClose);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  const unsigned mode = fuzz::TakeByte(input);
  const std::size_t piece = fuzz::TakeByte(input) % 64 + 1;
  const std::size_t max_body = fuzz::TakeByte(input) % 128 + 1;
  HttpBodyDecoder decoder = MakeDecoder(mode, input);
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
  return 0;
}
