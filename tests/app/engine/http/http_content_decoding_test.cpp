// Gzip bodies decoded slice by slice, as they come off the wire.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "app/engine/http/http_content_decoding.h"

namespace engine {
namespace {

std::string Gzip(const std::string& text) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, text.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Pattern(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((i * 7 + i / 251) & 0xff));
  return s;
}

TEST(GzipInflater, DecodesInAnySlicesIntoSmallBlocks) {
  const std::string plain = Pattern(300000);
  const std::string packed = Gzip(plain);
  for (std::size_t slice : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, packed.size()}) {
    GzipInflater inflater;
    ASSERT_TRUE(inflater.ok());
    std::string out;
    char scratch[1000];
    GzipInflater::Result last = GzipInflater::Result::kOk;
    for (std::size_t at = 0; at < packed.size(); at += slice) {
      last = inflater.Feed(std::string_view(packed).substr(at, slice), scratch, sizeof scratch,
                           [&](const char* d, std::size_t n) {
                             out.append(d, n);
                             return true;
                           });
      ASSERT_NE(last, GzipInflater::Result::kError) << slice;
    }
    EXPECT_EQ(last, GzipInflater::Result::kStreamEnd) << slice;
    EXPECT_TRUE(inflater.Finished());
    EXPECT_EQ(out, plain) << slice;
  }
}

TEST(GzipInflater, CorruptDataIsAnErrorWithZlibsCode) {
  std::string packed = Gzip(Pattern(50000));
  for (std::size_t i = 20; i < 60; ++i) packed[i] = static_cast<char>(packed[i] ^ 0x5a);
  GzipInflater inflater;
  char scratch[4096];
  const auto result =
      inflater.Feed(packed, scratch, sizeof scratch, [](const char*, std::size_t) { return true; });
  EXPECT_EQ(result, GzipInflater::Result::kError);
  EXPECT_EQ(inflater.ErrorCode(), Z_DATA_ERROR);
}

TEST(GzipInflater, ASinkThatStopsStopsDecoding) {
  const std::string packed = Gzip(Pattern(100000));
  GzipInflater inflater;
  char scratch[1024];
  int calls = 0;
  const auto result =
      inflater.Feed(packed, scratch, sizeof scratch, [&](const char*, std::size_t) { return ++calls < 3; });
  EXPECT_EQ(result, GzipInflater::Result::kStopped);
  EXPECT_EQ(calls, 3);
}

}  // namespace
}  // namespace engine
