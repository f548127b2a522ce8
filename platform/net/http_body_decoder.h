#pragma once
// The framing of an HTTP/1.1 response body as a state machine over the bytes that
// follow the head: chunked, delimited by Content-Length, or running to the end of the
// connection. Content encodings are never undone here: the caller sees the bytes as
// the server sent them (it asked for identity, and inflates gzip by itself).
//
// `Advance` looks at the received bytes and points at the next run of body bytes inside
// them, so a length-delimited body is never copied; chunk sizes and trailers are
// stepped over. A body that ends early (the connection closes before Content-Length
// bytes or before the last chunk) is an error, never a quiet end. So is a Content-Length
// that is not a plain decimal number below 2^63 (or repeated with different values): the
// decoder starts in kError and the connection is not used further.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net/http_message.h"

namespace net {

class HttpBodyDecoder {
 public:
  enum class Framing { kNone, kLength, kChunked, kUntilClose };
  enum class State { kBody, kDone, kError };

  struct Step {
    std::size_t consumed = 0;     // bytes of the input used up (body and framing)
    std::size_t body_offset = 0;  // body bytes found: input[body_offset, body_offset + body_size)
    std::size_t body_size = 0;
  };

  // The framing of the response to a request with `method`.
  static HttpBodyDecoder ForResponse(const HttpResponseHead& head, std::string_view method);
  explicit HttpBodyDecoder(Framing framing, std::int64_t length = 0);

  // Finds at most `max_body` body bytes at the start of `input` (after framing bytes).
  Step Advance(std::string_view input, std::size_t max_body);
  // `count` body bytes of a length-delimited or until-close body were taken past this
  // decoder (spliced into a file): counts them as Advance would. `count` is at most
  // Remaining() for a length-delimited body.
  void CountBody(std::size_t count);
  // The connection ended: kDone for a body that runs to the end, kError otherwise.
  void InputEnded();

  State state() const { return state_; }
  Framing framing() const { return framing_; }
  // Body bytes still expected from a length-delimited body (-1 when unknown).
  std::int64_t Remaining() const;
  // The connection can carry another response after this one.
  bool ConnectionReusable() const { return state_ == State::kDone && framing_ != Framing::kUntilClose; }

 private:
  enum class ChunkPhase {
    kSize,
    kSizeExtension,
    kSizeLf,
    kData,
    kDataCr,
    kDataLf,
    kTrailerLineStart,
    kTrailerLine,
    kTrailerLf
  };

  Framing framing_;
  State state_;
  std::uint64_t remaining_ = 0;  // of the length-delimited body or the current chunk
  ChunkPhase phase_ = ChunkPhase::kSize;
  int size_digits_ = 0;
};

}  // namespace net
