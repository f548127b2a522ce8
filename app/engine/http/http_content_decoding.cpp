#include "app/engine/http/http_content_decoding.h"

#include <zlib.h>

#include "app/engine/http/http_header_values.h"

namespace engine {

struct GzipInflater::State {
  z_stream stream{};
};

GzipInflater::GzipInflater() : state_(std::make_unique<State>()) {
  // 15 window bits + 16: a gzip wrapper, not zlib's own.
  ok_ = inflateInit2(&state_->stream, 15 + 16) == Z_OK;
}

GzipInflater::~GzipInflater() {
  if (ok_) inflateEnd(&state_->stream);
}

GzipInflater::Result GzipInflater::Feed(std::string_view input, char* scratch, std::size_t scratchSize,
                                        const Sink& sink) {
  if (!ok_ || error_ != 0) return Result::kError;
  if (finished_) return Result::kStreamEnd;
  z_stream& z = state_->stream;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  z.avail_in = static_cast<uInt>(input.size());
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(scratch);
    z.avail_out = static_cast<uInt>(scratchSize);
    const int rc = inflate(&z, Z_SYNC_FLUSH);
    const std::size_t produced = scratchSize - z.avail_out;
    if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && produced == 0 && z.avail_in == 0)) {
      error_ = rc;
      return Result::kError;
    }
    if (produced > 0 && !sink(scratch, produced)) return Result::kStopped;
    if (rc == Z_STREAM_END) {
      finished_ = true;
      return Result::kStreamEnd;
    }
    // More output may wait inside zlib while the scratch block came back full.
    if (z.avail_in == 0 && z.avail_out != 0) return Result::kOk;
    if (rc == Z_BUF_ERROR) return Result::kOk;
  }
}

bool ContentEncodingIsGzip(std::string_view value) {
  const std::string v = AsciiLower(TrimBlanks(value));
  return v == "gzip" || v == "x-gzip";
}

}  // namespace engine
