// Uploads to WebDAV servers, against lighttpd's mod_webdav on loopback.

#include "app/upload/engine/dav_upload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "app/engine/network/accepted_certificates.h"
#include "app/upload/queue/upload_queue.h"
#include "platform/net/certificate.h"
#include "platform/values/digest.h"
#include "tests/app/upload/upload_test_support.h"
#include "tests/servers/dav_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testservers::LighttpdDavServer;
using uploadtest::UploadsFixture;

std::string Digest(const std::string& path) {
  return fs::exists(path) ? values::Sha1Hex(testsupport::ReadFile(path)) : std::string("missing");
}

std::string Log(const upload::UploadItem& item) {
  return upload::LogPlainText(item.log);
}

TEST(DAVUploadURL, NamesAndFoldersAreJoinedWithOneSlashAndEscaped) {
  struct Case {
    std::string host, path, name;
    std::int32_t type;
    std::string url;
  };
  const std::vector<Case> cases = {
      {"dav.example:8080", "/up", "a b.txt", upload::kHostTypeWebDAV, "http://dav.example:8080/up/a%20b.txt"},
      {"dav.example:8080", "/up/", "a b.txt", upload::kHostTypeWebDAV,
       "http://dav.example:8080/up/a%20b.txt"},
      {"dav.example", "/", "line\nbreak\r.txt", upload::kHostTypeSecureWebDAV,
       "https://dav.example/linebreak.txt"},
      {"https://disk.example/member", "/Public", "x#1?.bin", upload::kHostTypeIDisk,
       "https://disk.example/member/Public/x%231%3F.bin"},
      {"dav.example", "/f\xC3\xBCr", "50%.txt", upload::kHostTypeWebDAV,
       "http://dav.example/f%C3%BCr/50%25.txt"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(upload::UploadBuildDestinationURL(c.host, c.path, c.name, c.type), c.url) << c.name;
}

class DAVUploadTest : public UploadsFixture {
 protected:
  void SetUp() override {
    UploadsFixture::SetUp();
    local = testsupport::MakeTempDir("davuploads");
    upload::UploadHooksSlot::Get().queueConflictSheet = [this](const upload::UploadConflictQuestion& q) {
      questions.push_back(q);
    };
  }
  upload::UploadItemRef Queue(const LighttpdDavServer& server, const std::string& path,
                              const std::string& folder, bool secure = false,
                              const std::string& password = LighttpdDavServer::kPassword) {
    return upload::UploadItemCreateAndEnqueue(
        path, server.HostPort(secure), std::nullopt, LighttpdDavServer::kUser, password, folder,
        secure ? upload::kHostTypeSecureWebDAV : upload::kHostTypeWebDAV);
  }
  std::string local;
  std::vector<upload::UploadConflictQuestion> questions;
};

TEST_F(DAVUploadTest, AFileAndAFolderTreeArriveByteExact) {
  for (auto auth : {LighttpdDavServer::Auth::kBasic, LighttpdDavServer::Auth::kDigest}) {
    LighttpdDavServer server(auth);
    ASSERT_TRUE(server.ok());
    fs::create_directories(server.DavDir() + "/in");
    const std::string file = local + "/one file.bin";
    testsupport::WriteFile(file, testsupport::RandomBytes(300001, 3));
    const std::string tree = local + "/Tree";
    testsupport::WriteFile(tree + "/top.bin", testsupport::RandomBytes(150000, 1));
    testsupport::WriteFile(tree + "/empty.txt", "");
    testsupport::WriteFile(tree + "/sub/inner.bin", testsupport::RandomBytes(70001, 2));
    testsupport::WriteFile(tree + "/sub/deeper/leaf name.txt", "leaf");
    fs::create_symlink(file, tree + "/link.bin");
    // A folder of the tree that is there already is no error.
    fs::create_directories(server.DavDir() + "/in/Tree/sub");

    auto single = Queue(server, file, "/in");
    auto folder = Queue(server, tree, "/in/");
    ASSERT_TRUE(single && folder);
    ASSERT_TRUE(upload::StartUpload(single));
    ASSERT_TRUE(RunUntilFinal(single)) << Log(*single);
    EXPECT_EQ(single->stateValue, upload::kUploadFinished) << Log(*single);
    ASSERT_TRUE(upload::StartUpload(folder));
    ASSERT_TRUE(RunUntilFinal(folder)) << Log(*folder);
    EXPECT_EQ(folder->stateValue, upload::kUploadFinished) << Log(*folder);

    const std::string in = server.DavDir() + "/in";
    EXPECT_EQ(Digest(in + "/one file.bin"), Digest(file));
    for (const char* rel : {"/top.bin", "/empty.txt", "/sub/inner.bin", "/sub/deeper/leaf name.txt"})
      EXPECT_EQ(Digest(in + "/Tree" + rel), Digest(tree + rel)) << rel;
    EXPECT_FALSE(fs::exists(in + "/Tree/link.bin")) << "a link is not followed";
    EXPECT_NE(Log(*single).find("PROPFIND"), std::string::npos);
    EXPECT_NE(Log(*folder).find("MKCOL"), std::string::npos);
    EXPECT_TRUE(questions.empty());
    fs::remove_all(local);
    fs::create_directories(local);
  }
}

// Half of the file is on the server (an upload that was stopped): the person is asked, and
// resuming sends only the rest, with a Content-Range, so the file ends byte-exact.
TEST_F(DAVUploadTest, AnInterruptedUploadIsResumedWhereTheServerCopyEnds) {
  LighttpdDavServer server(LighttpdDavServer::Auth::kDigest);
  ASSERT_TRUE(server.ok());
  const std::string content = testsupport::RandomBytes(5000, 9);
  const std::string file = local + "/resume.bin";
  testsupport::WriteFile(file, content);
  testsupport::WriteFile(server.DavDir() + "/resume.bin", content.substr(0, 1000));
  auto item = Queue(server, file, "/");
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntil([&] { return !questions.empty() || !item->controller; }, 30s)) << Log(*item);
  ASSERT_EQ(questions.size(), 1u) << Log(*item);
  EXPECT_EQ(questions[0].remoteSize, 1000);
  EXPECT_EQ(questions[0].localSize, 5000);
  upload::PostUploadConflictAnswer(upload::kConflictResume, item->uidString(), false);
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFinished) << Log(*item);
  EXPECT_EQ(Digest(server.DavDir() + "/resume.bin"), Digest(file));
  const std::string log = Log(*item);
  EXPECT_NE(log.find("Content-Range: bytes 1000-4999/*"), std::string::npos) << log;
  EXPECT_NE(log.find("Content-Length: 4000"), std::string::npos) << log;
}

TEST_F(DAVUploadTest, RefusedCredentialsEndTheUploadAsRefused) {
  LighttpdDavServer server(LighttpdDavServer::Auth::kDigest);
  ASSERT_TRUE(server.ok());
  testsupport::WriteFile(local + "/f.txt", "f");
  auto item = Queue(server, local + "/f.txt", "/", false, "wrong");
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadCredentialsRefused) << Log(*item);
  EXPECT_FALSE(fs::exists(server.DavDir() + "/f.txt"));
}

TEST_F(DAVUploadTest, AMissingFolderFailsTheUpload) {
  LighttpdDavServer server;
  ASSERT_TRUE(server.ok());
  testsupport::WriteFile(local + "/tree/a.txt", "a");
  auto item = Queue(server, local + "/tree", "/no/such/");
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFailed) << Log(*item);
}

TEST_F(DAVUploadTest, SecureWebDAVWithAnAcceptedCertificate) {
  const auto identity = testservers::MakeSelfSigned({});
  LighttpdDavServer server(LighttpdDavServer::Auth::kBasic, &identity);
  ASSERT_TRUE(server.ok());
  auto certificate = net::Certificate::FromPem(identity.certificate_pem);
  ASSERT_TRUE(certificate);
  engine::SaveAcceptedCertificate(*values::Url::Create("https://" + server.HostPort(true)), *certificate,
                                  true);
  const std::string file = local + "/secure.bin";
  testsupport::WriteFile(file, testsupport::RandomBytes(200000, 4));
  auto item = Queue(server, file, "/", true);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFinished) << Log(*item);
  EXPECT_EQ(Digest(server.DavDir() + "/secure.bin"), Digest(file));
}

}  // namespace
