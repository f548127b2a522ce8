// The command client on real sockets against vsftpd and a scripted server, on loopback.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "app/engine/ftp/ftp_connection.h"
#include "app/engine/ftp/ftp_request_queue.h"
#include "app/engine/ftp/ftp_resource_listing.h"
#include "app/engine/ftp/ftp_socket_io.h"
#include "platform/runtime/run_loop.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/test_bytes.h"

namespace engine {
namespace {

using namespace std::chrono_literals;

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One connection on the current thread's run loop that downloads into `received`, uploads
// `to_send`, or lists, and remembers how it ended.
class Transfer {
 public:
  Transfer(const std::string& url, const std::string& user, const std::string& password,
           FTPSocketOptions options, bool passive = true) {
    const values::Url parsed = *values::Url::Create(url);
    connection =
        FTPConnectionCreate(parsed, user, password, CreateFTPSocketIO(parsed, std::move(options)), passive);
    connection->callback = [this](FTPConnectionParam& c, FTPMessage m, const std::optional<std::string>& text,
                                  bool& stop) {
      if (m == FTPMessage::kCommandSent) commands += text.value_or("");
      if (m == FTPMessage::kTransferAnswered && !to_send.empty()) Pump(c);
      if (m == FTPMessage::kFailed || m == FTPMessage::kTransferFailed ||
          m == FTPMessage::kTransferComplete) {
        outcome = m;
        error = c.error;
      }
      if (on_message) on_message(c, m, stop);
    };
    connection->data_callback = [this](FTPConnectionParam& c, FTPDataEvent event) {
      switch (event) {
        case FTPDataEvent::kHasBytes:
          Drain(c);
          break;
        case FTPDataEvent::kCanWrite:
          Pump(c);
          break;
        case FTPDataEvent::kEnd:  // an upload went out whole
          FTPConnectionCloseDataConnection(c);
          break;
        case FTPDataEvent::kError:
          outcome = FTPMessage::kFailed;
          error = c.error;
          break;
      }
    };
  }

  // Runs the loop until the transfer ended (or `limit` passed); true when it ended.
  bool Run(std::chrono::milliseconds limit = 10s) {
    FTPConnectionOpen(*connection);
    auto loop = runtime::RunLoop::Current();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!outcome && !(until && until())) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop->RunFor(std::chrono::milliseconds(20), true);
    }
    return true;
  }

  std::unique_ptr<FTPConnectionParam> connection;
  std::string received;
  std::string to_send;
  std::string commands;
  std::optional<FTPMessage> outcome;
  net::StreamError error;
  std::function<void(FTPConnectionParam&, FTPMessage, bool&)> on_message;
  std::function<bool()> until;

 private:
  void Drain(FTPConnectionParam& c) {
    char buffer[65536];
    while (true) {
      std::size_t got = 0;
      switch (FTPConnectionReadData(c, buffer, sizeof buffer, got)) {
        case FTPDataResult::kOk:
          received.append(buffer, got);
          continue;
        case FTPDataResult::kWouldBlock:
          return;
        case FTPDataResult::kEnd:
          FTPConnectionCloseDataConnection(c);
          return;
        case FTPDataResult::kError:
          outcome = FTPMessage::kFailed;
          error = c.error;
          return;
      }
    }
  }

  void Pump(FTPConnectionParam& c) {
    if (to_send.empty()) return;  // a download: room to write means nothing
    while (sent_ < to_send.size()) {
      std::size_t written = 0;
      const FTPDataResult result =
          FTPConnectionWriteData(c, to_send.data() + sent_, to_send.size() - sent_, written);
      sent_ += written;
      if (result != FTPDataResult::kOk) return;
    }
    FTPConnectionFinishDataWrites(c);
  }

  std::size_t sent_ = 0;
};

FTPSocketOptions TrustServer(const testservers::VsftpdServer& server) {
  FTPSocketOptions options;
  options.trusted_roots = {*net::Certificate::FromPem(server.Identity().certificate_pem)};
  options.use_system_roots = false;
  return options;
}

class VsftpdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    file = testsupport::RandomBytes(300 * 1024 + 17, 42);
    server.PutFile("data.bin", file);
  }
  testservers::VsftpdServer server;
  std::string file;
};

TEST_F(VsftpdTest, DownloadsPassiveAndActive) {
  for (bool passive : {true, false}) {
    Transfer t(server.Url("ftp", "/data.bin"), server.User(), server.Password(), {}, passive);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete) << t.commands << net::DescribeError(t.error);
    EXPECT_TRUE(t.received == file) << "passive " << passive << ": " << t.received.size() << " bytes";
    EXPECT_NE(t.commands.find(passive ? "PASV\r\n" : "EPRT |1|127.0.0.1|"), std::string::npos) << t.commands;
  }
}

TEST_F(VsftpdTest, ResumesFromOffsetWithSize) {
  Transfer t(server.Url("ftp", "/data.bin"), server.User(), server.Password(), {});
  t.connection->restart_offset = 100000;
  t.connection->size_wanted = true;
  ASSERT_TRUE(t.Run());
  EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete);
  EXPECT_EQ(t.connection->remote_size, static_cast<std::int64_t>(file.size()));
  EXPECT_EQ(t.connection->restart_offset, 100000);
  EXPECT_TRUE(t.received == file.substr(100000));
}

TEST_F(VsftpdTest, ExplicitTlsProtectsData) {
  Transfer t(server.Url("ftps", "/data.bin"), server.User(), server.Password(), TrustServer(server));
  t.connection->tls_level = kFTPTlsRequired;
  ASSERT_TRUE(t.Run());
  EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete) << t.commands << net::DescribeError(t.error);
  EXPECT_TRUE(t.connection->data_protected);
  EXPECT_TRUE(t.received == file) << t.received.size();
  EXPECT_NE(t.commands.find("PROT P\r\n"), std::string::npos);
}

TEST(VsftpdReuseTest, ServerThatRequiresSessionReuseAcceptsData) {
  testservers::VsftpdServer server({.require_ssl_reuse = true});
  ASSERT_TRUE(server.ok());
  const std::string file = testsupport::RandomBytes(70000, 42);
  server.PutFile("r.bin", file);
  Transfer t(server.Url("ftps", "/r.bin"), server.User(), server.Password(), TrustServer(server));
  t.connection->tls_level = kFTPTlsRequired;
  ASSERT_TRUE(t.Run());
  EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete) << t.commands << net::DescribeError(t.error);
  EXPECT_TRUE(t.received == file) << t.received.size();
}

// Every data connection of one login resumes a session the server still takes: under
// TLS 1.3 each ticket is good for one connection, so the second listing offers the
// ticket the first one received.
TEST(VsftpdReuseTest, SecondProtectedDataConnectionIsAcceptedToo) {
  testservers::VsftpdServer server({.require_ssl_reuse = true});
  ASSERT_TRUE(server.ok());
  server.PutFile("a.txt", "a");
  Transfer t(server.Url("ftps", "/"), server.User(), server.Password(), TrustServer(server));
  t.connection->tls_level = kFTPTlsRequired;
  t.connection->queue_mode = true;
  int listed = 0;
  t.on_message = [&](FTPConnectionParam& c, FTPMessage m, bool&) {
    if (m == FTPMessage::kIdle) {
      FTPConnectionQueueListFolder(c, server.FilesDir());
      FTPConnectionQueueListFolder(c, server.FilesDir());
    }
    if (m == FTPMessage::kTransferComplete) {
      ++listed;
      if (listed < 2) t.outcome.reset();  // the first of two: go on
      FTPConnectionFinishRequest(c);
    }
  };
  t.until = [&] { return listed == 2; };
  ASSERT_TRUE(t.Run());
  EXPECT_EQ(listed, 2) << t.commands << net::DescribeError(t.error);
}

TEST_F(VsftpdTest, UntrustedCertificateStopsBeforeLogin) {
  FTPSocketOptions options;
  options.use_system_roots = false;  // nothing trusts the test certificate
  Transfer t(server.Url("ftps", "/data.bin"), server.User(), server.Password(), options);
  t.connection->tls_level = kFTPTlsRequired;
  ASSERT_TRUE(t.Run());
  EXPECT_EQ(t.outcome, FTPMessage::kFailed);
  EXPECT_EQ(t.error.domain, net::ErrorDomain::kSsl) << net::DescribeError(t.error);
  EXPECT_EQ(t.commands.find("PASS"), std::string::npos);
}

TEST_F(VsftpdTest, UploadsPlainAndProtected) {
  for (const std::string scheme : {"ftp", "ftps"}) {
    const std::string name = scheme + "-up.bin";
    Transfer t(server.Url(scheme, "/" + name), server.User(), server.Password(), TrustServer(server));
    if (scheme == "ftps") t.connection->tls_level = kFTPTlsRequired;
    t.connection->upload_mode = true;
    t.to_send = testsupport::RandomBytes(200000, 42);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete) << t.commands << net::DescribeError(t.error);
    EXPECT_NE(t.commands.find("STOR " + name + "\r\n"), std::string::npos) << t.commands;
    EXPECT_TRUE(ReadWholeFile(server.FilesDir() + "/" + name) == t.to_send) << scheme;
  }
}

TEST_F(VsftpdTest, QueueListsFolder) {
  server.PutFile("second file.txt", "x");
  Transfer t(server.Url("ftp", "/"), server.User(), server.Password(), {});
  t.connection->queue_mode = true;
  bool listed = false;
  t.on_message = [&](FTPConnectionParam& c, FTPMessage m, bool&) {
    // Request paths are absolute: the login directory is the user's home.
    if (m == FTPMessage::kIdle) FTPConnectionQueueListFolder(c, server.FilesDir());
    if (m == FTPMessage::kTransferComplete) {
      listed = true;
      FTPConnectionFinishRequest(c);
    }
  };
  t.until = [&] { return listed; };
  ASSERT_TRUE(t.Run());
  ASSERT_TRUE(listed) << t.commands << net::DescribeError(t.error);
  std::vector<std::string> names;
  std::string_view rest = t.received;
  while (!rest.empty()) {
    std::optional<FTPResource> resource;
    const std::int64_t used = ParseFTPResourceListing(rest, true, resource);
    ASSERT_GT(used, 0);
    if (resource) names.push_back(resource->name);
    rest.remove_prefix(static_cast<std::size_t>(used));
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "data.bin"), names.end()) << t.received;
  EXPECT_NE(std::find(names.begin(), names.end(), "second file.txt"), names.end()) << t.received;
  EXPECT_EQ(t.connection->state, kFTPStateIdle);
}

// Replies real servers do not give.

TEST(ScriptedFtpTest, PassiveReplyNamingAnotherHostStillReachesServer) {
  testservers::ScriptedFtpServer server("pasv-elsewhere");
  ASSERT_TRUE(server.ok());
  Transfer t(server.Url("/f.bin"), "u", "p", {});
  ASSERT_TRUE(t.Run(5s));
  EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete) << t.commands << net::DescribeError(t.error);
  EXPECT_TRUE(t.received == testservers::ScriptedFtpServer::File());
}

TEST(ScriptedFtpTest, RefusedRestartSendsWholeFileFromZero) {
  testservers::ScriptedFtpServer server("rest-refused");
  ASSERT_TRUE(server.ok());
  Transfer t(server.Url("/f.bin"), "u", "p", {});
  t.connection->restart_offset = 4000;
  ASSERT_TRUE(t.Run(5s));
  EXPECT_EQ(t.outcome, FTPMessage::kTransferComplete);
  EXPECT_EQ(t.connection->restart_offset, 0);
  EXPECT_TRUE(t.received == testservers::ScriptedFtpServer::File());
}

TEST(ScriptedFtpTest, BrokenTransferReportsItsCode) {
  testservers::ScriptedFtpServer server("abort-451");
  ASSERT_TRUE(server.ok());
  Transfer t(server.Url("/f.bin"), "u", "p", {});
  ASSERT_TRUE(t.Run(5s));
  EXPECT_EQ(t.outcome, FTPMessage::kTransferFailed);
  EXPECT_EQ(t.error, (net::StreamError{net::ErrorDomain::kFtp, 451}));
}

TEST(ScriptedFtpTest, StalledTlsHandshakeEndsAtDeadline) {
  testservers::ScriptedFtpServer server("tls-stall");
  ASSERT_TRUE(server.ok());
  FTPSocketOptions options;
  options.tls_handshake_limit = 300ms;
  Transfer t(server.Url("/f.bin"), "u", "p", options);
  t.connection->tls_level = kFTPTlsRequired;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(t.Run(5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(t.outcome, FTPMessage::kFailed);
  EXPECT_EQ(t.error, (net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kTimedOut}));
}

}  // namespace
}  // namespace engine
