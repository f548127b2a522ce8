#pragma once
// Content decoding of HTTP bodies: a gzip body is inflated before it reaches the file.
//
// The request asks for "identity", but a server may send gzip anyway; the bytes on the
// wire are then not the file's bytes, so they cannot be placed by byte ranges, and the
// response's Content-Length is the compressed size, not the file's. A connection that
// decodes therefore fetches the whole file from 0 alone, with the size unknown until the
// body ends (see http_transport.cpp).
//
// `GzipInflater` feeds what arrives in any slices and hands every decoded block to a sink
// in order. Decoding stops at the end of the gzip stream; bytes after it are ignored. A
// corrupt stream is an error with zlib's code, reported once.

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

namespace engine {

class GzipInflater {
 public:
  // Called with each decoded block; return false to stop (the connection ended).
  using Sink = std::function<bool(const char* data, std::size_t size)>;
  enum class Result { kOk, kStreamEnd, kStopped, kError };

  GzipInflater();
  ~GzipInflater();
  GzipInflater(const GzipInflater&) = delete;
  GzipInflater& operator=(const GzipInflater&) = delete;

  // False when zlib could not be set up (no memory).
  bool ok() const { return ok_; }

  // Decodes `input` into `scratch` (any size above 0), block by block, into `sink`.
  Result Feed(std::string_view input, char* scratch, std::size_t scratchSize, const Sink& sink);
  // zlib's code of the failure (Z_DATA_ERROR...), for "zlib error: decompression failed: %d".
  int ErrorCode() const { return error_; }
  bool Finished() const { return finished_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  bool ok_ = false;
  bool finished_ = false;
  int error_ = 0;
};

// True when a Content-Encoding value names gzip ("gzip" or the old "x-gzip", any case).
bool ContentEncodingIsGzip(std::string_view value);

}  // namespace engine
