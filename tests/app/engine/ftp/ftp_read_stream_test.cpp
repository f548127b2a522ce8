// The plain-FTP read stream over the command client, against vsftpd and the scripted
// server on loopback.

#include "app/engine/ftp/ftp_read_stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>

#include "app/engine/ftp/ftp_resource_listing.h"
#include "platform/runtime/run_loop.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/test_bytes.h"

namespace engine {
namespace {

using namespace std::chrono_literals;

// Reads a stream to its end or failure on the current thread's loop, `grant` bytes at a
// time per event (a bandwidth limiter hands out small grants).
struct Reader {
  explicit Reader(const std::string& url, std::size_t grant = 65536)
      : stream(*values::Url::Create(url)), grant(grant) {
    stream.SetPassive(true);
    stream.SetClient(net::kEventAll, [this](net::StreamEvent e) {
      events.push_back(e);
      if (e == net::kEventHasBytes) {
        std::string buffer(this->grant, '\0');
        const std::ptrdiff_t n = stream.Read(buffer.data(), buffer.size());
        if (n > 0) {
          if (offset_at_first_bytes < 0) offset_at_first_bytes = stream.FileTransferOffset();
          received.append(buffer.data(), static_cast<std::size_t>(n));
        }
      }
      if (e == net::kEventEnd) ended = true;
      if (e == net::kEventError) error = stream.Error();
    });
  }

  bool Run(std::chrono::milliseconds limit = 10s) {
    if (!stream.Open()) return false;
    auto loop = runtime::RunLoop::Current();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ended && !error) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop->RunFor(std::chrono::milliseconds(20), true);
    }
    return true;
  }

  bool Saw(net::StreamEvent e) const { return std::find(events.begin(), events.end(), e) != events.end(); }

  FTPReadStream stream;
  std::size_t grant;
  std::string received;
  std::vector<net::StreamEvent> events;
  bool ended = false;
  net::StreamError error;
  std::int64_t offset_at_first_bytes = -1;
};

class FTPReadStreamVsftpdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new testservers::VsftpdServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static testservers::VsftpdServer* server_;

  void Login(Reader& reader) {
    reader.stream.SetUser(server_->User());
    reader.stream.SetPassword(server_->Password());
  }
};
testservers::VsftpdServer* FTPReadStreamVsftpdTest::server_ = nullptr;

TEST_F(FTPReadStreamVsftpdTest, WholeFileWithItsSizeAndFromAnOffset) {
  ASSERT_TRUE(server_->ok());
  const std::string file = testsupport::RandomBytes(300000, 7);
  server_->PutFile("whole.bin", file);
  struct Case {
    const char* name;
    std::int64_t offset;
    std::size_t grant;
  };
  for (const Case& c :
       {Case{"from the start", 0, 65536}, Case{"from 123457", 123457, 65536}, Case{"small grants", 0, 700}}) {
    SCOPED_TRACE(c.name);
    Reader reader(server_->Url("ftp", "/whole.bin"), c.grant);
    Login(reader);
    reader.stream.SetFetchResourceInfo(true);
    reader.stream.SetFileTransferOffset(c.offset);
    ASSERT_TRUE(reader.Run());
    EXPECT_FALSE(reader.error) << net::DescribeError(reader.error);
    EXPECT_TRUE(reader.ended);
    ASSERT_FALSE(reader.events.empty());
    EXPECT_EQ(reader.events.front(), net::kEventOpenCompleted);  // also when the data overtakes the 150
    EXPECT_EQ(std::count(reader.events.begin(), reader.events.end(), net::kEventOpenCompleted), 1);
    EXPECT_TRUE(reader.received == file.substr(static_cast<std::size_t>(c.offset)));
    EXPECT_EQ(reader.offset_at_first_bytes, c.offset);
    EXPECT_EQ(reader.stream.ResourceSize(), 300000);
    EXPECT_EQ(reader.stream.Status(), net::StreamStatus::kAtEnd);
  }
}

TEST_F(FTPReadStreamVsftpdTest, SizeIsAskedOnlyWhenWanted) {
  server_->PutFile("nosize.bin", "abc");
  Reader reader(server_->Url("ftp", "/nosize.bin"));
  Login(reader);
  ASSERT_TRUE(reader.Run());
  EXPECT_EQ(reader.received, "abc");
  EXPECT_FALSE(reader.stream.ResourceInfoKnown());
  EXPECT_EQ(reader.stream.ResourceSize(), -1);
}

TEST_F(FTPReadStreamVsftpdTest, RefusedRepliesAreErrorsWithTheirCode) {
  struct Case {
    const char* name;
    std::string path;
    std::string password;
    int code;
  };
  for (const Case& c : {Case{"missing file", "/missing.bin", server_->Password(), 550},
                        Case{"wrong password", "/whole.bin", "wrong", 530},
                        Case{"missing folder", "/no-such-folder/", server_->Password(), 550}}) {
    SCOPED_TRACE(c.name);
    Reader reader(server_->Url("ftp", c.path));
    reader.stream.SetUser(server_->User());
    reader.stream.SetPassword(c.password);
    ASSERT_TRUE(reader.Run());
    EXPECT_FALSE(reader.ended);
    EXPECT_EQ(reader.error, (net::StreamError{net::ErrorDomain::kFtp, c.code}));
    EXPECT_TRUE(reader.received.empty());
  }
}

TEST_F(FTPReadStreamVsftpdTest, FolderUrlGivesTheRawListing) {
  server_->PutFile("one.txt", "1");
  server_->PutFile("two.txt", "22");
  Reader reader(server_->Url("ftp", "/"));
  Login(reader);
  ASSERT_TRUE(reader.Run());
  ASSERT_TRUE(reader.ended) << net::DescribeError(reader.error);
  EXPECT_TRUE(reader.stream.IsFolderListing());
  std::set<std::string> names;
  std::string_view rest = reader.received;
  while (!rest.empty()) {
    std::optional<FTPResource> resource;
    const std::int64_t used = ParseFTPResourceListing(rest, true, resource);
    ASSERT_GT(used, 0);
    if (resource) names.insert(resource->name);
    rest.remove_prefix(static_cast<std::size_t>(used));
  }
  EXPECT_TRUE(names.count("one.txt"));
  EXPECT_TRUE(names.count("two.txt"));
}

TEST(FTPReadStreamScriptedTest, ServerFaults) {
  const std::string file = testservers::ScriptedFtpServer::File();
  struct Case {
    const char* scenario;
    std::int64_t offset;
    std::string received;
    bool ended;
    net::StreamError error;
    std::int64_t used_offset;  // FileTransferOffset() once data came
  };
  const Case cases[] = {
      {"rest-refused", 1000, file, true, {}, 0},
      {"rest-ignored", 1000, file, true, {}, 1000},  // only the bytes tell: the resume check's job
      {"plain", 1000, file.substr(1000), true, {}, 1000},
      {"abort-451", 0, file.substr(0, 1000), false, {net::ErrorDomain::kFtp, 451}, 0},
      {"retr-550", 0, "", false, {net::ErrorDomain::kFtp, 550}, -1},
      {"login-530", 0, "", false, {net::ErrorDomain::kFtp, 530}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    testservers::ScriptedFtpServer server(c.scenario);
    ASSERT_TRUE(server.ok());
    Reader reader(server.Url("/file.bin"));
    reader.stream.SetUser("someone");
    reader.stream.SetPassword("secret");
    reader.stream.SetFileTransferOffset(c.offset);
    ASSERT_TRUE(reader.Run());
    EXPECT_TRUE(reader.received == c.received) << reader.received.size() << " bytes";
    EXPECT_EQ(reader.ended, c.ended);
    EXPECT_EQ(reader.error, c.error) << net::DescribeError(reader.error);
    EXPECT_EQ(reader.offset_at_first_bytes, c.used_offset);
  }
}

TEST(FTPReadStreamTest, ClosingInsideTheEventStopsEverything) {
  testservers::ScriptedFtpServer server("plain");
  ASSERT_TRUE(server.ok());
  FTPReadStream stream(*values::Url::Create(server.Url("/file.bin")));
  stream.SetPassive(true);
  int events_after_close = 0;
  bool closed = false;
  stream.SetClient(net::kEventAll, [&](net::StreamEvent) {
    if (closed) ++events_after_close;
    stream.Close();
    closed = true;
  });
  ASSERT_TRUE(stream.Open());
  auto loop = runtime::RunLoop::Current();
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while (!closed && std::chrono::steady_clock::now() < deadline) loop->RunFor(20ms, true);
  for (int i = 0; i < 5; ++i) loop->RunFor(10ms, false);
  EXPECT_TRUE(closed);
  EXPECT_EQ(events_after_close, 0);
  EXPECT_EQ(stream.Status(), net::StreamStatus::kClosed);
  EXPECT_EQ(stream.Read(nullptr, 0), net::kStreamFailed);
}

TEST(FTPReadStreamTest, OpenWithoutHostFails) {
  FTPReadStream stream(*values::Url::Create("ftp:///file.bin"));
  EXPECT_FALSE(stream.Open());
}

}  // namespace
}  // namespace engine
