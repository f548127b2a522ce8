// FTP and FTPS uploads through the real upload queue, engine and event handler, against
// vsftpd (a local user; plain and explicit TLS with session reuse required) and the
// scripted FTP server for the replies real servers seldom give.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/upload/queue/upload_queue.h"
#include "platform/net/certificate.h"
#include "platform/values/digest.h"
#include "tests/app/upload/upload_test_support.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using uploadtest::UploadsFixture;

std::string Digest(const std::string& path) {
  return fs::exists(path) ? values::Sha1Hex(testsupport::ReadFile(path)) : std::string("missing");
}

std::string Log(const upload::UploadItem& item) {
  return upload::LogPlainText(item.log);
}

// Trusts the server's certificate for its host and port, as a user who accepted it.
void AcceptCertificate(const testservers::VsftpdServer& server) {
  auto certificate = net::Certificate::FromPem(server.Identity().certificate_pem);
  ASSERT_TRUE(certificate);
  engine::SaveAcceptedCertificate(*values::Url::Create("ftps://127.0.0.1:" + std::to_string(server.Port())),
                                  *certificate, true);
}

std::string Host(const testservers::VsftpdServer& server, bool tls) {
  return std::string(tls ? "ftps://" : "ftp://") + "127.0.0.1:" + std::to_string(server.Port());
}

class FtpUploadTest : public UploadsFixture {
 protected:
  void SetUp() override {
    UploadsFixture::SetUp();
    local = testsupport::MakeTempDir("uploads");
  }
  upload::UploadItemRef Queue(const testservers::VsftpdServer& server, bool tls, const std::string& path,
                              const std::string& remoteFolder) {
    return upload::UploadItemCreateAndEnqueue(path, Host(server, tls), std::nullopt, server.User(),
                                              server.Password(), remoteFolder,
                                              tls ? upload::kHostTypeFTPS : upload::kHostTypeFTP);
  }
  std::string local;
};

// A file and a folder tree, over plain FTP and over FTPS against a server that insists
// on the data channel resuming the control connection's TLS session.
TEST_F(FtpUploadTest, FileAndFolderTreeArriveByteExact) {
  testservers::VsftpdServer server({.require_ssl_reuse = true});
  ASSERT_TRUE(server.ok());
  AcceptCertificate(server);

  const std::string tree = local + "/Tree";
  testsupport::WriteFile(tree + "/top.bin", testsupport::RandomBytes(150000, 1));
  testsupport::WriteFile(tree + "/empty.txt", "");
  testsupport::WriteFile(tree + "/sub/inner.bin", testsupport::RandomBytes(70001, 2));
  testsupport::WriteFile(tree + "/sub/deeper/leaf name.txt", "leaf");
  // A link is never followed: what it points at stays home.
  testsupport::WriteFile(local + "/outside/secret.txt", "secret");
  fs::create_directory_symlink(local + "/outside", tree + "/sub/link");
  testsupport::WriteFile(local + "/single.bin", testsupport::RandomBytes(400000, 3));

  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "FTPS" : "FTP");
    const std::string remote = server.FilesDir() + (tls ? "/tls" : "/plain");
    fs::create_directories(remote);
    // Made by the test (root): open to the server's user.
    fs::permissions(remote, fs::perms::all);

    auto file = Queue(server, tls, local + "/single.bin", remote);
    auto folder = Queue(server, tls, tree, remote);
    ASSERT_TRUE(file && folder);
    ASSERT_TRUE(upload::StartUpload(file));
    ASSERT_TRUE(upload::StartUpload(folder));
    ASSERT_TRUE(RunUntilFinal(file)) << Log(*file);
    ASSERT_TRUE(RunUntilFinal(folder)) << Log(*folder);
    EXPECT_EQ(file->stateValue, upload::kUploadFinished) << Log(*file);
    EXPECT_EQ(folder->stateValue, upload::kUploadFinished) << Log(*folder);
    EXPECT_EQ(file->count, 1);

    EXPECT_EQ(Digest(remote + "/single.bin"), Digest(local + "/single.bin"));
    for (const char* rel : {"top.bin", "empty.txt", "sub/inner.bin", "sub/deeper/leaf name.txt"}) {
      EXPECT_EQ(Digest(remote + "/Tree/" + rel), Digest(tree + "/" + rel)) << rel;
    }
    EXPECT_FALSE(fs::exists(remote + "/Tree/sub/link")) << "a symbolic link was followed";
    if (tls) {
      EXPECT_NE(Log(*file).find("PROT P"), std::string::npos) << Log(*file);
    }
  }
}

TEST_F(FtpUploadTest, StoppedUploadResumesWithAppend) {
  testservers::VsftpdServer server({.log_protocol = true});
  ASSERT_TRUE(server.ok());
  const std::string body = testsupport::RandomBytes(1536 * 1024, 7);
  testsupport::WriteFile(local + "/big.bin", body);
  const std::string remote = server.FilesDir() + "/big.bin";

  // The upload limit keeps the transfer going long enough to stop it midway: a dozen
  // seconds, however late a loaded machine lets this thread see the first 300 KiB.
  auto limiter = engine::BandwidthLimiter::Start("test upload limiter");
  ASSERT_TRUE(limiter);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
  limiter->SetRate(128 * 1024);

  auto item = Queue(server, false, local + "/big.bin", server.FilesDir());
  ASSERT_TRUE(item);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntil([&] { return fs::exists(remote) && fs::file_size(remote) > 300 * 1024; }, 20s));
  upload::CancelUpload(item);
  ASSERT_TRUE(RunUntilFinal(item));
  EXPECT_EQ(item->stateValue, upload::kUploadCancelled);
  const auto partial = fs::file_size(remote);
  ASSERT_LT(partial, body.size());

  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFinished) << Log(*item);
  EXPECT_EQ(Digest(remote), values::Sha1Hex(body));
  bool appended = false;
  for (const auto& command : server.Commands()) appended |= command.rfind("APPE big.bin", 0) == 0;
  EXPECT_TRUE(appended) << "the second attempt did not append to the partial file";

  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
}

// With the limit on, the upload cannot be faster than the rate allows (a lower bound
// only: the machine decides how much slower it is).
TEST_F(FtpUploadTest, UploadLimitHoldsTheRate) {
  testservers::VsftpdServer server;
  ASSERT_TRUE(server.ok());
  const std::size_t size = 1024 * 1024;
  testsupport::WriteFile(local + "/limited.bin", testsupport::RandomBytes(size, 9));
  auto limiter = engine::BandwidthLimiter::Start("test upload limiter");
  ASSERT_TRUE(limiter);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
  const std::int64_t rate = 400 * 1024;
  limiter->SetRate(rate);

  auto item = Queue(server, false, local + "/limited.bin", server.FilesDir());
  ASSERT_TRUE(item);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item, 30s)) << Log(*item);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(item->stateValue, upload::kUploadFinished) << Log(*item);
  EXPECT_EQ(Digest(server.FilesDir() + "/limited.bin"), Digest(local + "/limited.bin"));
  // One tick's allowance may go at once; the rest waits for the refills.
  EXPECT_GE(seconds, static_cast<double>(size) / static_cast<double>(rate) - 0.5);

  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
}

TEST_F(FtpUploadTest, ServerRefusingSpaceEndsWithItsMessage) {
  struct Case {
    const char* scenario;
    const char* reply;
  };
  for (const Case& c : {Case{"stor-452", "452 insufficient storage space"},
                        Case{"stor-552", "552 exceeded storage allocation"}}) {
    SCOPED_TRACE(c.scenario);
    testservers::ScriptedFtpServer server(c.scenario);
    ASSERT_TRUE(server.ok());
    testsupport::WriteFile(local + "/full.bin", testsupport::RandomBytes(200000, 4));
    auto item =
        upload::UploadItemCreateAndEnqueue(local + "/full.bin", "127.0.0.1:" + std::to_string(server.Port()),
                                           std::nullopt, "u", "p", "/", upload::kHostTypeFTP);
    ASSERT_TRUE(item);
    ASSERT_TRUE(upload::StartUpload(item));
    ASSERT_TRUE(RunUntilFinal(item, 20s)) << Log(*item);
    EXPECT_EQ(item->stateValue, upload::kUploadFailed);
    EXPECT_NE(Log(*item).find("Error occured. Server message:"), std::string::npos) << Log(*item);
    EXPECT_NE(Log(*item).find(c.reply), std::string::npos) << Log(*item);
    upload::RemoveFromQueue(item, false);
  }
}

// A server that refuses the file while it arrives is heard at once, throttled or not:
// the upload ends failed with the server's words instead of sending the rest for nothing.
TEST_F(FtpUploadTest, ARefusalDuringTheTransferEndsAThrottledUpload) {
  testservers::ScriptedFtpServer server("stor-552-midway");
  ASSERT_TRUE(server.ok());
  testsupport::WriteFile(local + "/quota.bin", testsupport::RandomBytes(8 * 1024 * 1024, 6));
  // At this rate the whole file would take two minutes.
  auto limiter = engine::BandwidthLimiter::Start("test upload limiter");
  ASSERT_TRUE(limiter);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
  limiter->SetRate(64 * 1024);
  auto item =
      upload::UploadItemCreateAndEnqueue(local + "/quota.bin", "127.0.0.1:" + std::to_string(server.Port()),
                                         std::nullopt, "u", "p", "/", upload::kHostTypeFTP);
  ASSERT_TRUE(item);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item, 40s)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFailed);
  EXPECT_NE(Log(*item).find("552 exceeded storage allocation"), std::string::npos) << Log(*item);
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
}

TEST_F(FtpUploadTest, NameWithLineBreakIsRefusedBeforeAnythingIsSent) {
  testservers::ScriptedFtpServer server("plain");
  ASSERT_TRUE(server.ok());
  for (const char* name : {"evil\r\nDELE x", "line\nbreak"}) {
    testsupport::WriteFile(local + "/" + name, "data");
    auto item =
        upload::UploadItemCreateAndEnqueue(local + "/" + name, "127.0.0.1:" + std::to_string(server.Port()),
                                           std::nullopt, "u", "p", "/", upload::kHostTypeFTP);
    ASSERT_TRUE(item);
    upload::StartUpload(item);
    ASSERT_TRUE(RunUntilFinal(item, 10s));
    EXPECT_EQ(item->stateValue, upload::kUploadFailed);
    EXPECT_NE(Log(*item).find("line break"), std::string::npos) << Log(*item);
  }
  RunFor(200ms);
  EXPECT_TRUE(server.Commands().empty()) << "the server was contacted";
}

// A stop asked for before the worker's first report (which carries its event queue) is
// kept by the controller and ends the upload all the same.
TEST_F(FtpUploadTest, StopBeforeTheWorkerReportsIsNotLost) {
  // A server that fails every upload at its end: only the stop can make it "cancelled".
  testservers::ScriptedFtpServer server("stor-552");
  ASSERT_TRUE(server.ok());
  testsupport::WriteFile(local + "/early.bin", testsupport::RandomBytes(8 * 1024 * 1024, 5));
  // Limited, the upload cannot reach that end before the stop, however long a loaded
  // machine keeps this thread from asking for it (unlimited, it sometimes did).
  auto limiter = engine::BandwidthLimiter::Start("test upload limiter");
  ASSERT_TRUE(limiter);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
  limiter->SetRate(256 * 1024);
  auto item =
      upload::UploadItemCreateAndEnqueue(local + "/early.bin", "127.0.0.1:" + std::to_string(server.Port()),
                                         std::nullopt, "u", "p", "/", upload::kHostTypeFTP);
  ASSERT_TRUE(item);
  ASSERT_TRUE(upload::StartUpload(item));
  upload::CancelUpload(item);  // no event of the worker handled yet
  ASSERT_TRUE(RunUntilFinal(item, 20s));
  EXPECT_EQ(item->stateValue, upload::kUploadCancelled);
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
}

// Destinations without a family in this program end at once, failed, saying why.
TEST_F(FtpUploadTest, UnavailableDestinationEndsAsFailedWithALogLine) {
  testsupport::WriteFile(local + "/dav.bin", "x");
  for (const std::int32_t type : {upload::kHostTypeFileHosting}) {
    auto item = upload::UploadItemCreateAndEnqueue(local + "/dav.bin", "127.0.0.1:1", std::nullopt, "u", "p",
                                                   "/", type);
    ASSERT_TRUE(item);
    ASSERT_TRUE(upload::StartUpload(item));
    ASSERT_TRUE(RunUntilFinal(item, 10s));
    EXPECT_EQ(item->stateValue, upload::kUploadFailed) << type;
    EXPECT_NE(Log(*item).find("not available"), std::string::npos) << Log(*item);
  }
}

}  // namespace
