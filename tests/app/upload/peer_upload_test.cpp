// Uploads to another copy against this program's own file server over loopback: stopped
// midway and resumed from "uploadStatus", enciphered, byte-exact in the receiver's folder;
// refused credentials and a receiver that holds the whole file already.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/services/peer_session_service.h"
#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/server_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/services/received_files_service.h"
#include "app/upload/engine/peer_upload.h"
#include "app/upload/queue/upload_queue.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_password_scramble.h"
#include "app/util/settings/sharing_users.h"
#include "tests/app/upload/upload_test_support.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

using namespace std::chrono_literals;
using uploadtest::UploadsFixture;

namespace {

namespace fs = std::filesystem;

std::string Log(const upload::UploadItem& item) {
  return upload::LogPlainText(item.log);
}

class Folder : public sharing::ReceivedFilesService {
 public:
  explicit Folder(fs::path p) : p_(std::move(p)) {}
  std::optional<fs::path> GetReceivedFilesFolder(bool) override { return p_; }

 private:
  fs::path p_;
};

// The receiver's key is taken without asking for the loopback host only.
class LoopbackSessions : public engine::PeerSessionService {
  class Cipher : public engine::PeerSessionCipher {
   public:
    explicit Cipher(sharing::SessionCipherPtr c) : c_(std::move(c)) {}
    void Apply(std::uint8_t* bytes, std::size_t length) override {
      sharing::SessionCipherApply(*c_, bytes, length);
    }

   private:
    sharing::SessionCipherPtr c_;
  };

 public:
  engine::PeerKey AcceptPeerKey(const std::string& keyText, const std::string& host) override {
    keysSeen += 1;
    if (host != "127.0.0.1") return nullptr;
    return std::shared_ptr<const sharing::RSAKey>(sharing::RSAKey::FromPublicKeyString(keyText, "65537"));
  }
  std::unique_ptr<engine::PeerSessionCipher> CreateSession(const engine::PeerKey& key,
                                                           std::string& header) override {
    sessions += 1;
    auto c = sharing::CreateSessionKey(*std::static_pointer_cast<const sharing::RSAKey>(key), header);
    return c ? std::make_unique<Cipher>(std::move(c)) : nullptr;
  }
  int keysSeen = 0;
  int sessions = 0;
};

class PeerUploadTest : public UploadsFixture {
 protected:
  void SetUp() override {
    UploadsFixture::SetUp();
    local_ = testsupport::MakeTempDir("peer-upload");
    received_ = fs::path(testsupport::MakeTempDir("peer-received"));
    ASSERT_TRUE(sharing::CopyOrCreateServerKey());
    {
      runtime::RegionGuard inside(util::SharingUsersRegion());
      oldUsers_ = util::SharingUsers();
      util::SharingUserRecord bob;
      bob.passwordData = util::EncodeSharingPassword("pw", "bob");
      bob.canUpload = true;
      util::SharingUsers() = {{"bob", bob}};
    }
    util::ChangeSettings([](util::Settings& s) { s.requireSecureTransfer = true; });
    sharing::ReceivedFilesServiceSlot::Set(std::make_unique<Folder>(received_));
    auto sessions = std::make_unique<LoopbackSessions>();
    sessions_ = sessions.get();
    engine::PeerSessionServiceSlot::Set(std::move(sessions));
    sharing::FileTransferServerOptions options;
    options.port = 0;
    options.loopbackOnly = true;
    server_ = sharing::FileTransferServer::Start(options);
    ASSERT_TRUE(server_);
  }
  void TearDown() override {
    UploadsFixture::TearDown();
    server_.reset();
    engine::PeerSessionServiceSlot::Set(nullptr);
    sharing::ReceivedFilesServiceSlot::Set(nullptr);
    util::ChangeSettings([](util::Settings& s) { s.requireSecureTransfer = false; });
    runtime::RegionGuard inside(util::SharingUsersRegion());
    util::SharingUsers() = oldUsers_;
  }
  upload::UploadItemRef Queue(const std::string& name, const std::string& password) {
    return upload::UploadItemCreateAndEnqueue(local_ + "/" + name,
                                              "127.0.0.1:" + std::to_string(server_->port()), std::nullopt,
                                              "bob", password, "/", upload::kHostTypePeerAddress);
  }

  std::string local_;
  fs::path received_;
  LoopbackSessions* sessions_ = nullptr;
  std::unique_ptr<sharing::FileTransferServer> server_;
  util::SharingUsersTable oldUsers_;
};

TEST_F(PeerUploadTest, StoppedMidwayResumesFromUploadStatusEncipheredByteExact) {
  const std::string body = testsupport::RandomBytes(1536 * 1024, 11);
  testsupport::WriteFile(local_ + "/big.bin", body);
  // The upload limit keeps the transfer going long enough to stop it midway.
  auto limiter = engine::BandwidthLimiter::Start("test upload limiter");
  ASSERT_TRUE(limiter);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
  limiter->SetRate(512 * 1024);

  auto item = Queue("big.bin", "pw");
  ASSERT_TRUE(item);
  ASSERT_TRUE(upload::StartUpload(item));
  const auto arrived = [&] {
    std::uintmax_t size = 0;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(received_ / "bob", ec)) {
      if (e.path().filename() == "data") size = e.file_size(ec);
    }
    return size;
  };
  ASSERT_TRUE(RunUntil([&] { return arrived() > 300 * 1024; }, 20s)) << Log(*item);
  upload::CancelUpload(item);
  ASSERT_TRUE(RunUntilFinal(item));
  EXPECT_EQ(item->stateValue, upload::kUploadCancelled);
  ASSERT_LT(arrived(), body.size());

  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFinished) << Log(*item);
  const fs::path done = received_ / "bob" / "big.bin";
  ASSERT_TRUE(RunUntil([&] { return fs::exists(done); }, 10s));
  EXPECT_TRUE(testsupport::ReadFile(done.string()) == body);
  // The second attempt went on from what the receiver held, not from byte 0.
  EXPECT_EQ(Log(*item).find("X-Content-Range: 0-0/"), std::string::npos) << Log(*item);
  EXPECT_GE(sessions_->sessions, 2);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);

  // Sent again when the receiver holds it all: nothing to send, finished at once.
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFinished) << Log(*item);
}

TEST_F(PeerUploadTest, RefusedCredentialsEndTheUploadAsFailed) {
  testsupport::WriteFile(local_ + "/small.bin", "hello");
  auto item = Queue("small.bin", "wrong");
  ASSERT_TRUE(item);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntilFinal(item, 20s)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadFailed) << Log(*item);
  EXPECT_FALSE(fs::exists(received_ / "bob" / "small.bin"));
}

TEST(PeerUploadReplies, ResumeOffsetAndName) {
  const struct {
    const char* text;
    std::optional<std::int64_t> offset;
  } ranges[] = {{"0-1234/5000", 1234},  {"0-0/5", 0},
                {"0--7/5", 0},          {"5-9/10", std::nullopt},
                {"junk", std::nullopt}, {"0-99999999999999999999999999999999/1", 0}};
  for (const auto& r : ranges) EXPECT_EQ(upload::PeerResumeOffset(r.text), r.offset) << r.text;
  EXPECT_EQ(upload::PeerFileName("a\rb\nc"), "abc");
}

}  // namespace
