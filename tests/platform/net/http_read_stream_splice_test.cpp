// Plain bodies spliced from the socket into a file, and every answer that sends the reader
// back to Read (TLS, chunked framing, a cut body), checked byte for byte in the file.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "platform/files/file_handle.h"
#include "platform/files/splice_pipe.h"
#include "platform/net/http_read_stream.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace net {
namespace {

using net::testing::RunUntil;

struct SpliceOutcome {
  bool ended = false;
  StreamError error;
  std::size_t spliced = 0;
  std::size_t read = 0;
  std::string file;
};

// Reads the stream into a file as a download does: spliced where the stream lets it,
// read into memory and written where it does not, each piece at the next offset.
SpliceOutcome SpliceToFile(HttpReadStream& stream) {
  SpliceOutcome out;
  auto pipe = files::SplicePipe::Create();
  EXPECT_TRUE(pipe);
  if (!pipe) return out;
  const std::string path = testsupport::MakeTempDir("splice") + "/data";
  auto file = files::FileHandle::Open(files::FileRef(path), files::kOpenReadWrite | files::kOpenCreate);
  EXPECT_TRUE(file.ok());
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> buffer(16384);
  stream.SetClient(kEventAll, [&](StreamEvent e) {
    if (e == kEventHasBytes) {
      // Takes all there is, as a download's growing buffer does: a reader slower than the
      // stream's own reads would keep its buffer from ever running dry, and nothing would
      // be left to splice.
      for (std::ptrdiff_t n = 1; n > 0;) {
        n = stream.SpliceBody(pipe->WriteDescriptor(), pipe->Capacity());
        if (n > 0) {
          pipe->NoteFilled(static_cast<std::size_t>(n));
          EXPECT_TRUE(pipe->MoveToFile(*file, offset, static_cast<std::size_t>(n)).ok());
          out.spliced += static_cast<std::size_t>(n);
        } else if (n == kStreamCannotSplice) {
          n = stream.Read(buffer.data(), buffer.size());
          if (n > 0) {
            EXPECT_TRUE(file->WriteAt(offset, {buffer.data(), static_cast<std::size_t>(n)}).ok());
            out.read += static_cast<std::size_t>(n);
          }
        }
        if (n > 0) offset += static_cast<std::uint64_t>(n);
      }
    } else if (e == kEventEnd) {
      out.ended = true;
    } else if (e == kEventError) {
      out.error = stream.Error();
    }
  });
  EXPECT_TRUE(stream.Open());
  EXPECT_TRUE(RunUntil([&] { return out.ended || out.error; }, std::chrono::milliseconds(20000)));
  out.file = testsupport::ReadFile(path);
  return out;
}

class HttpReadStreamSpliceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nginx_.ok());
    ASSERT_TRUE(scripted_.ok());
    std::ofstream(nginx_.WwwDir() + "/file.bin", std::ios::binary) << File();
  }
  // Far more than the stream buffers ahead of its reader, so a part must be spliced.
  static const std::string& File() {
    static const std::string file = testsupport::RandomBytes(3 * 1024 * 1024 + 777, 11);
    return file;
  }

  testservers::TestIdentity identity_ = testservers::MakeSelfSigned({});
  testservers::NginxServer nginx_{{{"self", identity_}}};
  testservers::ScriptedHttpServer scripted_;
};

TEST_F(HttpReadStreamSpliceTest, PlainBodiesSpliceAndEverythingElseIsRead) {
  const std::string nginx = "127.0.0.1:" + std::to_string(nginx_.HttpPort());
  const std::string tls = "localhost:" + std::to_string(nginx_.HttpsPort("self"));
  const std::string small = testservers::ScriptedHttpServer::Body();
  struct Case {
    std::string url;
    const char* range;  // Range header, or null
    std::string body;   // what the file must hold
    bool mustSplice;    // some bytes cannot have come any other way
    bool maySplice;
    bool complete;  // false: the body is cut short
  };
  const Case cases[] = {
      {"http://" + nginx + "/file.bin", nullptr, File(), true, true, true},
      {"http://" + nginx + "/file.bin", "bytes=1000001-", File().substr(1000001), true, true, true},
      {"http://" + nginx + "/file.bin", "bytes=5-2000004", File().substr(5, 2000000), true, true, true},
      {"https://" + tls + "/file.bin", nullptr, File(), false, false, true},
      {scripted_.Url("/chunked"), nullptr, small, false, false, true},
      {scripted_.Url("/until-close"), nullptr, small, false, true, true},
      {scripted_.Url("/ok"), nullptr, small, false, true, true},
      {scripted_.Url("/cut"), nullptr, small.substr(0, 5000), false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + (c.range ? std::string(" ") + c.range : std::string()));
    HttpRequest request("GET", *values::Url::Create(c.url));
    if (c.range) request.SetHeader("Range", c.range);
    HttpReadStream stream(std::move(request));
    stream.SetProxySettings({});
    stream.SetUseSystemRoots(false);
    stream.SetTrustedCertificates({*Certificate::FromPem(identity_.certificate_pem)});
    const SpliceOutcome out = SpliceToFile(stream);
    if (c.complete) {
      EXPECT_TRUE(out.ended) << DescribeError(out.error);
      EXPECT_FALSE(out.error);
    } else {
      EXPECT_FALSE(out.ended);
      EXPECT_EQ(out.error, (StreamError{ErrorDomain::kHttp, http_code::kBodyCutShort}));
    }
    EXPECT_EQ(out.file.size(), c.body.size());
    EXPECT_TRUE(out.file == c.body);
    EXPECT_EQ(out.spliced + out.read, c.body.size());
    if (c.mustSplice) {
      EXPECT_GT(out.spliced, 0u);
    }
    if (!c.maySplice) {
      EXPECT_EQ(out.spliced, 0u);
    }
  }
}

}  // namespace
}  // namespace net
