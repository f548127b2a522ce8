#include "platform/net/http_body_decoder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "platform/values/ascii.h"

namespace net {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ContainsChunked(std::string_view te) {
  // The last coding decides; "chunked" anywhere in the list is good enough in practice.
  return values::AsciiLower(te).find("chunked") != std::string::npos;
}

// Only decimal digits, at most 2^63 - 1. Repeated fields arrive joined ("5, 5"); they
// must agree.
std::optional<std::int64_t> ParseContentLength(std::string_view field) {
  std::optional<std::int64_t> length;
  while (true) {
    const std::size_t comma = field.find(',');
    std::string_view v = field.substr(0, comma);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    if (v.empty() || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    std::int64_t n = 0;
    const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
    if (res.ec != std::errc() || res.ptr != v.data() + v.size()) return std::nullopt;
    if (length && *length != n) return std::nullopt;
    length = n;
    if (comma == std::string_view::npos) return length;
    field.remove_prefix(comma + 1);
  }
}

}  // namespace

HttpBodyDecoder::HttpBodyDecoder(Framing framing, std::int64_t length)
    : framing_(framing), state_(State::kBody) {
  if (framing == Framing::kNone || (framing == Framing::kLength && length <= 0)) state_ = State::kDone;
  if (framing == Framing::kLength && length > 0) remaining_ = static_cast<std::uint64_t>(length);
}

HttpBodyDecoder HttpBodyDecoder::ForResponse(const HttpResponseHead& head, std::string_view method) {
  const int code = head.StatusCode();
  if (HeaderNameEquals(method, "HEAD") || (code >= 100 && code < 200) || code == 204 || code == 304)
    return HttpBodyDecoder(Framing::kNone);
  // A successful CONNECT turns the connection into a tunnel: no body of its own.
  if (HeaderNameEquals(method, "CONNECT") && code >= 200 && code < 300)
    return HttpBodyDecoder(Framing::kNone);
  if (auto te = head.Header("Transfer-Encoding"); te && ContainsChunked(*te))
    return HttpBodyDecoder(Framing::kChunked);
  if (auto cl = head.Header("Content-Length")) {
    // A length that cannot be read says nothing about where the body ends; reading to
    // the close instead would take a cut-off body for a whole one.
    const std::optional<std::int64_t> n = ParseContentLength(*cl);
    if (!n) {
      HttpBodyDecoder invalid(Framing::kLength, 0);
      invalid.state_ = State::kError;
      return invalid;
    }
    return HttpBodyDecoder(Framing::kLength, *n);
  }
  return HttpBodyDecoder(Framing::kUntilClose);
}

std::int64_t HttpBodyDecoder::Remaining() const {
  if (framing_ == Framing::kLength) return static_cast<std::int64_t>(remaining_);
  return state_ == State::kDone ? 0 : -1;
}

void HttpBodyDecoder::InputEnded() {
  if (state_ != State::kBody) return;
  state_ = framing_ == Framing::kUntilClose ? State::kDone : State::kError;
}

void HttpBodyDecoder::CountBody(std::size_t count) {
  if (state_ != State::kBody || framing_ != Framing::kLength) return;
  remaining_ -= std::min<std::uint64_t>(remaining_, count);
  if (remaining_ == 0) state_ = State::kDone;
}

HttpBodyDecoder::Step HttpBodyDecoder::Advance(std::string_view in, std::size_t max_body) {
  Step step;
  if (state_ != State::kBody) return step;
  switch (framing_) {
    case Framing::kNone:
      state_ = State::kDone;
      return step;
    case Framing::kUntilClose:
      step.body_size = std::min(in.size(), max_body);
      step.consumed = step.body_size;
      return step;
    case Framing::kLength: {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>({remaining_, in.size(), max_body}));
      step.body_size = n;
      step.consumed = n;
      remaining_ -= n;
      if (remaining_ == 0) state_ = State::kDone;
      return step;
    }
    case Framing::kChunked:
      break;
  }

  std::size_t i = 0;
  while (i < in.size() && state_ == State::kBody) {
    const char c = in[i];
    switch (phase_) {
      case ChunkPhase::kSize: {
        const int h = HexValue(c);
        if (h >= 0) {
          // 15 hex digits keep the size far from overflow and far above any real chunk.
          if (++size_digits_ > 15) {
            state_ = State::kError;
            break;
          }
          remaining_ = remaining_ * 16 + static_cast<std::uint64_t>(h);
          ++i;
        } else if (size_digits_ == 0) {
          state_ = State::kError;
        } else if (c == ';' || c == ' ' || c == '\t') {
          phase_ = ChunkPhase::kSizeExtension;
          ++i;
        } else if (c == '\r') {
          phase_ = ChunkPhase::kSizeLf;
          ++i;
        } else if (c == '\n') {
          phase_ = remaining_ ? ChunkPhase::kData : ChunkPhase::kTrailerLineStart;
          ++i;
        } else {
          state_ = State::kError;
        }
        break;
      }
      case ChunkPhase::kSizeExtension:
        if (c == '\n') phase_ = remaining_ ? ChunkPhase::kData : ChunkPhase::kTrailerLineStart;
        ++i;
        break;
      case ChunkPhase::kSizeLf:
        if (c != '\n') {
          state_ = State::kError;
          break;
        }
        phase_ = remaining_ ? ChunkPhase::kData : ChunkPhase::kTrailerLineStart;
        ++i;
        break;
      case ChunkPhase::kData: {
        // Hand out one run of body bytes per call: the caller copies it and comes back.
        if (max_body == 0) {
          step.consumed = i;
          return step;
        }
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>({remaining_, in.size() - i, max_body}));
        step.body_offset = i;
        step.body_size = n;
        remaining_ -= n;
        i += n;
        if (remaining_ == 0) phase_ = ChunkPhase::kDataCr;
        step.consumed = i;
        return step;
      }
      case ChunkPhase::kDataCr:
        if (c == '\r') {
          phase_ = ChunkPhase::kDataLf;
          ++i;
        } else if (c == '\n') {
          phase_ = ChunkPhase::kSize;
          size_digits_ = 0;
          ++i;
        } else {
          state_ = State::kError;
        }
        break;
      case ChunkPhase::kDataLf:
        if (c != '\n') {
          state_ = State::kError;
          break;
        }
        phase_ = ChunkPhase::kSize;
        size_digits_ = 0;
        ++i;
        break;
      case ChunkPhase::kTrailerLineStart:
        if (c == '\r') {
          phase_ = ChunkPhase::kTrailerLf;
        } else if (c == '\n') {
          state_ = State::kDone;
        } else {
          phase_ = ChunkPhase::kTrailerLine;
        }
        ++i;
        break;
      case ChunkPhase::kTrailerLine:
        if (c == '\n') phase_ = ChunkPhase::kTrailerLineStart;
        ++i;
        break;
      case ChunkPhase::kTrailerLf:
        if (c != '\n') {
          state_ = State::kError;
          break;
        }
        state_ = State::kDone;
        ++i;
        break;
    }
  }
  step.consumed = i;
  return step;
}

}  // namespace net
