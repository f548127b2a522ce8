// Uploads to another copy against this program's own file server over loopback: stopped
// midway and resumed from "uploadStatus", enciphered, byte-exact in the receiver's folder;
// refused credentials and a receiver that holds the whole file already.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

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
#include "platform/values/plist.h"
#include "tests/app/upload/upload_test_support.h"
#include "tests/fakes/fake_ui_services.h"
#include "tests/servers/zeroconf_test_network.h"
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
  explicit LoopbackSessions(std::string trusted = "127.0.0.1") : trusted_(std::move(trusted)) {}
  engine::PeerKey AcceptPeerKey(const std::string& keyText, const std::string& host) override {
    keysSeen += 1;
    if (host != trusted_) return nullptr;
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

 private:
  std::string trusted_;
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

// A throttled upload still reads its socket: the receiver's abort ends it as aborted by the
// peer, instead of going unheard while the rest is sent and then retried.
TEST_F(PeerUploadTest, AThrottledUploadHearsTheReceiverAbort) {
  testsupport::WriteFile(local_ + "/slow.bin", testsupport::RandomBytes(4 * 1024 * 1024, 12));
  auto limiter = engine::BandwidthLimiter::Start("test upload limiter");
  ASSERT_TRUE(limiter);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
  limiter->SetRate(128 * 1024);
  auto item = Queue("slow.bin", "pw");
  ASSERT_TRUE(item);
  ASSERT_TRUE(upload::StartUpload(item));
  ASSERT_TRUE(RunUntil([&] { return server_->runningReceptions() > 0 && item->bytes > 200 * 1024; }, 20s))
      << Log(*item);
  server_->CancelReceptions();
  ASSERT_TRUE(RunUntilFinal(item, 20s)) << Log(*item);
  EXPECT_EQ(item->stateValue, upload::kUploadAbortedByPeer) << Log(*item);
  engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, false);
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
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

// A copy found by Bonjour: its service name is resolved in a network of the test's own,
// where the real program shares, and the file goes to that copy's file server; a name
// that nobody on the network has fails the upload with the message that says so.
class BonjourPeerUploadTest : public UploadsFixture {};

TEST_F(BonjourPeerUploadTest, ACopyFoundByItsServiceNameReceivesTheFile) {
  testservers::ZeroconfNetwork net;
  if (!net.ok()) GTEST_SKIP() << "Bonjour uploads not tested: " << net.why();
  const std::string home = testsupport::MakeTempDir("bonjour-receiver");
  const int port = 20000 + static_cast<int>(::getpid() % 12000);
  const values::Dictionary guest{{"auth", values::Data{}},
                                 {"access", values::Value(values::Array{})},
                                 {"dlAccess", values::Value(values::Array{})},
                                 {"canUpload", values::Value(true)}};
  const values::Dictionary prefs{
      {"Share Folders", values::Value(true)},
      {"Share port", values::Value(values::Number::Int64(port))},
      {"advertise rendezvous", values::Value(true)},
      {"Users", values::Value(values::Dictionary{{"Guest", values::Value(guest)}})}};
  auto bytes = values::WritePropertyList(values::Value(prefs), values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(home + "/.config/Truvane/com.orbenix.Truvane.plist",
                         std::string(bytes->begin(), bytes->end()));
  fs::create_directories(home + "/run");
  fs::permissions(home + "/run", fs::perms::owner_all);
  testservers::ServerProcess program = net.Exec(0, {TRUVANE_PATH},
                                                {{"HOME", home},
                                                 {"XDG_CONFIG_HOME", home + "/.config"},
                                                 {"XDG_DATA_HOME", home + "/.local/share"},
                                                 {"XDG_STATE_HOME", home + "/.local/state"},
                                                 {"XDG_CACHE_HOME", home + "/.cache"},
                                                 {"XDG_RUNTIME_DIR", home + "/run"},
                                                 {"QT_QPA_PLATFORM", "offscreen"}},
                                                home + "/program.log");
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", net.BusAddress(1).c_str(), 1);
  ASSERT_TRUE(net.EnterNamespace(1));
  engine::PeerSessionServiceSlot::Set(std::make_unique<LoopbackSessions>(net.Address(0)));
  fakes::ScopedFakeUi shown;

  const std::string local = testsupport::MakeTempDir("bonjour-sender");
  const std::string body = testsupport::RandomBytes(300 * 1024, 21);
  testsupport::WriteFile(local + "/to-peer.bin", body);
  // The program advertises once it runs: until then its name is not found.
  std::optional<fs::path> arrived;
  for (auto deadline = std::chrono::steady_clock::now() + 60s;
       !arrived && std::chrono::steady_clock::now() < deadline;) {
    auto item =
        upload::UploadItemCreateAndEnqueue(local + "/to-peer.bin", net.HostName(0), std::string("local."),
                                           "Guest", "", "/", upload::kHostTypeBonjourPeer);
    ASSERT_TRUE(item);
    ASSERT_TRUE(upload::StartUpload(item));
    ASSERT_TRUE(RunUntil(
        [&] { return !item->resolving && !item->controller && item->stateValue != upload::kUploadUploading; },
        40s));
    if (item->stateValue != upload::kUploadFinished) continue;
    EXPECT_EQ(item->hostName, net.HostName(0)) << "the item keeps the service name";
    for (const auto& e : fs::recursive_directory_iterator(home)) {
      if (e.path().filename() == "to-peer.bin") arrived = e.path();
    }
  }
  ASSERT_TRUE(arrived) << testsupport::ReadFile(home + "/program.log");
  EXPECT_EQ(testsupport::ReadFile(arrived->string()), body);

  // Nobody of that name: the upload fails and says why.
  shown->alerts.clear();
  auto lost =
      upload::UploadItemCreateAndEnqueue(local + "/to-peer.bin", "no-such-copy", std::string("local."),
                                         "Guest", "", "/", upload::kHostTypeBonjourPeer);
  ASSERT_TRUE(lost);
  ASSERT_TRUE(upload::StartUpload(lost));
  ASSERT_TRUE(RunUntil([&] { return !lost->resolving; }, 40s));
  EXPECT_EQ(lost->stateValue, upload::kUploadFailed);
  ASSERT_FALSE(shown->alerts.empty());
  EXPECT_EQ(shown->alerts.back().message,
            "The computer named no-such-copy could not be found on the network.");

  engine::PeerSessionServiceSlot::Set(nullptr);
  program.Stop();
  net.LeaveNamespace();
}

}  // namespace
