// Downloads of ftp, ftps and afp URLs through the real engine: the download task, its
// scheduler and the registered transports, against vsftpd, the scripted FTP server and a
// fake volume mounter. What is checked is what the user gets: the bytes on disk, the
// finished event (reason, error, URL entries) and the transfer log.

#include <netdb.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "app/engine/ftp/ftp_socket_io.h"
#include "app/engine/ftp/ftp_transport.h"
#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/log/transfer_log.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/services/volume_mounter.h"
#include "app/engine/task/builtin_transports.h"
#include "app/engine/task/download_task.h"
#include "app/engine/task/resume_file.h"
#include "app/engine/urls/url_entries.h"
#include "platform/net/reachability.h"
#include "platform/runtime/clock.h"
#include "platform/values/digest.h"
#include "platform/values/fourcc.h"
#include "tests/fakes/fake_volume_mounter.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/event_log.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace engine {
namespace {

using namespace std::chrono_literals;
using values::FourCC;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, std::string_view prefix) {
  std::vector<std::string> out;
  for (const auto& l : lines) {
    if (l.starts_with(prefix)) out.push_back(l);
  }
  return out;
}

using testsupport::EventLog;

// The transfer log the download posted, as one text.
std::string LogOf(EventLog& events) {
  std::string out;
  for (const auto& line : events.Texts(kDownloadEventMessage, FourCC("Mess"))) out += line;
  return out;
}

// What a finished download left behind.
struct Outcome {
  std::int32_t reason = -1;
  std::int32_t errorDomain = 0;
  std::int32_t errorCode = 0;
  values::Value entries;
  std::string file;
  std::string log;
  bool EntryHas(std::string_view key, std::size_t index = 0) const {
    return entries.IsArray() && entries.AsArray()->size() > index &&
           EntryFlag((*entries.AsArray())[index], key);
  }
};

class FTPMainRoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterBuiltInTransports(); }

  void SetUp() override {
    dir_ = testsupport::MakeTempDir("ftpdl");
    GetHostCounts().Clear();
    events_ = std::make_shared<EventLog>();
    DownloadRunOptions options;
    options.post = [events = events_](runtime::EventRef e, runtime::EventPriority) {
      events->Add(std::move(e));
    };
    engine_ = std::make_unique<DownloadEngine>(options);
  }

  void TearDown() override {
    if (stop_) stop_->Signal();
    for (int i = 0; i < 10000 && RunningDownloadTaskCount() != 0; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(RunningDownloadTaskCount(), 0) << "a download task outlived its test";
  }

  // A download as the queue hands it over; `onDisk` bytes of `content` already there.
  std::unique_ptr<DownloadThreadState> State(std::vector<std::string> urls, std::int32_t connections,
                                             std::int64_t knownSize = 0, const std::string& onDisk = {}) {
    auto s = std::make_unique<DownloadThreadState>();
    s->uid = 77;
    for (const auto& u : urls) s->urlEntries.push_back(values::Value(values::Dictionary{{"url", u}}));
    s->dataFile = dir_ + "/file.bin";
    s->rangesFile = dir_ + "/downloadInfo";
    if (!std::filesystem::exists(s->dataFile)) std::ofstream(s->dataFile, std::ios::binary) << onDisk;
    if (!std::filesystem::exists(s->rangesFile)) {
      std::ofstream ranges(s->rangesFile);
      if (!onDisk.empty()) ranges << "0," << onDisk.size() << "\n";
    }
    s->totalSize = knownSize;
    s->sizeKnown = knownSize > 0;
    s->wantedConnections = connections;
    s->stopSource = stop_ = std::make_shared<DownloadStopSource>();
    for (const auto& u : urls) GetHostCounts().IncrementForURL(*values::Url::Create(u), &s->hostCounts);
    return s;
  }

  void Start(std::unique_ptr<DownloadThreadState> state) {
    controller_ = engine_->StartDownloadTask(std::move(state));
    ASSERT_TRUE(controller_);
  }

  // Waits (bounded) for the finished event. The bound only catches a download that never
  // ends: a sanitized build on a loaded machine takes several times as long as usual.
  Outcome Finish(std::chrono::milliseconds limit = 60s) {
    Outcome out;
    const std::size_t before = finishedSeen_;
    if (!events_->WaitFor(kDownloadEventFinished, before + 1, limit)) {
      ADD_FAILURE() << "the download did not finish; log:\n" << LogOf(*events_);
      return out;
    }
    for (int i = 0; i < 5000 && RunningDownloadTaskCount() != 0; ++i) std::this_thread::sleep_for(1ms);
    auto e = events_->Of(kDownloadEventFinished).at(before);
    finishedSeen_ = before + 1;
    out.reason = e->Get<std::int32_t>(FourCC("Reas")).value_or(-1);
    if (const auto* code = e->Find<values::Data>(FourCC("ErrC"))) {
      if (const auto error = StreamErrorFromBytes(code->bytes)) {
        out.errorDomain = static_cast<std::int32_t>(error->domain);
        out.errorCode = error->code;
      }
    }
    out.entries = e->Get<values::Value>(FourCC("UrlD")).value_or(values::Value());
    out.file = ReadAll(dir_ + "/file.bin");
    out.log = LogOf(*events_);
    return out;
  }

  Outcome Run(std::unique_ptr<DownloadThreadState> state, std::chrono::milliseconds limit = 60s) {
    Start(std::move(state));
    return Finish(limit);
  }

  RangeList RangesOnDisk() {
    RangeList list;
    (void)ReadRangesFile(files::FileRef(dir_ + "/downloadInfo"), -1, list);
    return list;
  }

  std::string dir_;
  std::shared_ptr<EventLog> events_;
  std::unique_ptr<DownloadEngine> engine_;
  std::shared_ptr<DownloadTaskController> controller_;
  std::shared_ptr<DownloadStopSource> stop_;
  std::size_t finishedSeen_ = 0;
};

// ---- vsftpd: plain and explicit-TLS downloads

// One server for the suite: data TLS must resume the control session (vsftpd's default),
// and each session is held to 1 MB/s so that a file split among connections really is
// fetched side by side, and a download can be stopped half-way.
class VsftpdRoadTest : public FTPMainRoadTest {
 protected:
  static constexpr int kRate = 1 << 20;

  static void SetUpTestSuite() {
    FTPMainRoadTest::SetUpTestSuite();
    server_ = new testservers::VsftpdServer(testservers::VsftpdServer::Options{
        .require_ssl_reuse = true, .max_rate = kRate, .log_protocol = true});
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void TearDown() override {
    FTPMainRoadTest::TearDown();
    LoadAcceptedCertificates(values::Value(), values::Value());  // the acceptance ends with the test
  }
  void SetUp() override {
    FTPMainRoadTest::SetUp();
    ASSERT_TRUE(server_->ok());
    // The user accepted the server's self-signed certificate for this session.
    SaveAcceptedCertificate(*values::Url::Create(server_->Url("ftps", "/")),
                            *net::Certificate::FromPem(server_->Identity().certificate_pem), true);
  }

  static std::string Url(const std::string& scheme, const std::string& name,
                         const std::string& password = {}) {
    return scheme + "://" + server_->User() + ":" + (password.empty() ? server_->Password() : password) +
           "@127.0.0.1:" + std::to_string(server_->Port()) + "/" + name;
  }
  // The nonzero restart offsets the server was asked for since `from`.
  static std::vector<std::string> Restarts(std::size_t from = 0) {
    auto all = server_->Commands();
    std::vector<std::string> out;
    for (std::size_t i = from; i < all.size(); ++i) {
      if (all[i].starts_with("REST ") && all[i] != "REST 0") out.push_back(all[i]);
    }
    return out;
  }

  static testservers::VsftpdServer* server_;
};
testservers::VsftpdServer* VsftpdRoadTest::server_ = nullptr;

TEST_F(VsftpdRoadTest, ByteExactWithOneAndSeveralConnections) {
  struct Case {
    const char* scheme;
    std::int32_t connections;
    std::size_t size;
  };
  int seed = 1;
  for (const Case& c :
       {Case{"ftp", 1, 300000}, Case{"ftp", 3, 3000000}, Case{"ftps", 1, 300000}, Case{"ftps", 3, 3000000}}) {
    SCOPED_TRACE(std::string(c.scheme) + " with " + std::to_string(c.connections));
    const std::string name = "file" + std::to_string(seed) + ".bin";
    const std::string content = testsupport::RandomBytes(c.size, seed++);
    server_->PutFile(name, content);
    std::filesystem::remove(dir_ + "/file.bin");
    std::filesystem::remove(dir_ + "/downloadInfo");
    const std::size_t commandsBefore = server_->Commands().size();

    const Outcome out = Run(State({Url(c.scheme, name)}, c.connections));
    EXPECT_EQ(out.reason, kFinishComplete) << out.log;
    EXPECT_EQ(testsupport::Sha1Of(out.file), testsupport::Sha1Of(content));
    EXPECT_TRUE(out.EntryHas(kEntryValidated));
    EXPECT_FALSE(out.EntryHas(kEntryNoRestarts));
    // Split: every further connection resumed at its own piece. A connection that ends
    // early may take over half of a slower one's rest, which is one more restart.
    const std::size_t restarts = Restarts(commandsBefore).size();
    if (c.connections == 1) {
      EXPECT_EQ(restarts, 0u) << out.log;
    } else {
      EXPECT_GE(restarts, static_cast<std::size_t>(c.connections - 1)) << out.log;
    }
    EXPECT_EQ(GetHostCounts().Count("127.0.0.1"), 0);
    if (std::string(c.scheme) == "ftps") {
      EXPECT_NE(out.log.find("PROT P"), std::string::npos);
      EXPECT_EQ(out.log.find(server_->Password()), std::string::npos) << "the password reached the log";
    }
  }
}

TEST_F(VsftpdRoadTest, StoppedDownloadResumesWhereItStopped) {
  const std::string content = testsupport::RandomBytes(4000000, 42);
  server_->PutFile("resume.bin", content);
  Outcome stopped;
  {
    // The engine's own limit keeps the first run far from its end when the stop comes,
    // however late a loaded machine lets this thread send it (the server's rate alone let
    // the download finish first).
    auto limiter = BandwidthLimiter::Start("test limiter");
    ASSERT_TRUE(limiter);
    limiter->SetRate(256 * 1024);
    SetLimiterQueue(TransferDirection::kDownload, limiter->queue());
    SetBandwidthLimitOn(TransferDirection::kDownload, true);
    struct LimitOff {
      ~LimitOff() {
        SetBandwidthLimitOn(TransferDirection::kDownload, false);
        SetLimiterQueue(TransferDirection::kDownload, 0);
      }
    } limitOff;
    Start(State({Url("ftp", "resume.bin")}, 3));
    // Stopped once a progress report shows bytes on disk.
    bool someOnDisk = false;
    for (std::size_t ticks = 1; !someOnDisk && ticks < 100; ++ticks) {
      ASSERT_TRUE(events_->WaitFor(kDownloadEventProgress, ticks, 10s));
      someOnDisk =
          events_->Of(kDownloadEventProgress).back()->Get<std::int64_t>(FourCC("Tot_")).value_or(0) > 0;
    }
    ASSERT_TRUE(someOnDisk);
    stop_->Signal();
    stopped = Finish();
  }
  ASSERT_EQ(stopped.reason, kFinishStopped) << stopped.log;
  const RangeList saved = RangesOnDisk();
  ASSERT_FALSE(saved.empty());
  const std::int64_t had = SumRangeLengths(saved);
  EXPECT_GT(had, 0);
  EXPECT_LT(had, static_cast<std::int64_t>(content.size()));

  const std::size_t commandsBefore = server_->Commands().size();
  const Outcome done = Run(State({Url("ftp", "resume.bin")}, 3, static_cast<std::int64_t>(content.size())));
  EXPECT_EQ(done.reason, kFinishComplete) << done.log;
  EXPECT_EQ(testsupport::Sha1Of(done.file), testsupport::Sha1Of(content));
  // The restart asked only for what was missing: the first connection at the end of the
  // first saved range, none from 0.
  const auto restarts = Restarts(commandsBefore);
  ASSERT_FALSE(restarts.empty());
  EXPECT_EQ(restarts.front(),
            "REST " + std::to_string(saved.front().location == 0 ? saved.front().length : 0));
  const auto commands = server_->Commands();
  const auto retrs =
      Matching(std::vector<std::string>(commands.begin() + static_cast<std::ptrdiff_t>(commandsBefore),
                                        commands.end()),
               "RETR");
  EXPECT_EQ(retrs.size(), restarts.size()) << "a connection fetched from the file's start";
}

TEST_F(VsftpdRoadTest, RefusedLoginAsksForCredentialsAndGoesOnWithThem) {
  const std::string content = testsupport::RandomBytes(50000, 9);
  server_->PutFile("login.bin", content);
  Start(State({Url("ftp", "login.bin", "wrong-password")}, 1));
  ASSERT_TRUE(events_->WaitFor(kDownloadEventAuthRequired, 1, 10s)) << LogOf(*events_);
  controller_->SupplyCredentials(server_->User(), server_->Password());
  const Outcome out = Finish();
  EXPECT_EQ(out.reason, kFinishComplete) << out.log;
  EXPECT_EQ(testsupport::Sha1Of(out.file), testsupport::Sha1Of(content));
}

// ---- A mirror whose name does not resolve

class UnresolvedNameRoadTest : public FTPMainRoadTest {
 protected:
  void SetUp() override {
    FTPMainRoadTest::SetUp();
    // The lookup fails here, without asking any name server.
    FTPTransportOptions options;
    options.ftps_io = [](const values::Url& url) {
      FTPSocketOptions socket;
      socket.resolver = [](const std::string&, int, std::vector<net::SocketAddress>&) { return EAI_NONAME; };
      return CreateFTPSocketIO(url, socket);
    };
    DownloadTransports().Register("ftps", std::make_shared<FTPSTransport>(options));
  }
  void TearDown() override {
    FTPMainRoadTest::TearDown();
    net::SetReachabilityProbe(nullptr);
    RegisterBuiltInTransports();
  }

  struct NoNetwork final : net::ReachabilityProbe {
    unsigned FlagsForHost(std::string_view) override { return 0; }
  };
};

TEST_F(UnresolvedNameRoadTest, WithTheNetworkUpTheMirrorFailsForGood) {
  const Outcome out = Run(State({"ftps://no-such-host.test/f.bin"}, 1));
  EXPECT_EQ(out.reason, kFinishFailed) << out.log;
  EXPECT_EQ(out.errorDomain, static_cast<std::int32_t>(net::ErrorDomain::kNetDb));
  EXPECT_TRUE(out.EntryHas(kEntryFatalError));
}

TEST_F(UnresolvedNameRoadTest, WithoutANetworkTheDownloadWaitsToRetry) {
  runtime::ScopedFakeClock clock;
  net::SetReachabilityProbe(std::make_shared<NoNetwork>());
  Start(State({"ftps://no-such-host.test/f.bin"}, 1));
  EXPECT_FALSE(events_->WaitFor(kDownloadEventFinished, 1, 500ms)) << LogOf(*events_);
  stop_->Signal();
  EXPECT_EQ(Finish().reason, kFinishStopped);
}

// ---- The scripted server: replies real servers do not give

class ScriptedRoadTest : public FTPMainRoadTest {};

TEST_F(ScriptedRoadTest, RestartOffsetsTheServerDoesNotHonour) {
  struct Case {
    const char* scenario;
    bool norestarts;
    bool compatibilityMode;
  };
  const std::string file = testservers::ScriptedFtpServer::File();
  const std::string onDisk = file.substr(0, 4000);
  for (const Case& c :
       {Case{"plain", false, false}, Case{"rest-refused", true, false}, Case{"rest-ignored", true, true}}) {
    SCOPED_TRACE(c.scenario);
    std::filesystem::remove(dir_ + "/file.bin");
    std::filesystem::remove(dir_ + "/downloadInfo");
    testservers::ScriptedFtpServer server(c.scenario);
    ASSERT_TRUE(server.ok());
    const Outcome out = Run(State({server.Url("/f.bin")}, 2, static_cast<std::int64_t>(file.size()), onDisk));
    EXPECT_EQ(out.reason, kFinishComplete) << out.log;
    EXPECT_TRUE(out.file == file) << "the file on disk differs from the server's";
    EXPECT_EQ(out.EntryHas(kEntryNoRestarts), c.norestarts);
    EXPECT_EQ(out.log.find("\rServer resume error detected, switching to compatibility mode\r") !=
                  std::string::npos,
              c.compatibilityMode)
        << out.log;
    const auto commands = server.Commands();
    EXPECT_EQ(Matching(commands, "REST").front(), "REST 4000");
    EXPECT_EQ(Matching(commands, "RETR").size(), 1u) << "the whole-file reader is the same connection";
  }
}

TEST_F(ScriptedRoadTest, RefusalsEndTheDownloadWithTheServersCode) {
  struct Case {
    const char* scenario;
    bool resumed;
    std::int32_t code;
    bool norestarts;
  };
  const std::string file = testservers::ScriptedFtpServer::File();
  for (const Case& c : {Case{"retr-550", false, 550, false}, Case{"retr-550", true, 550, true}}) {
    SCOPED_TRACE(std::string(c.scenario) + (c.resumed ? " resumed" : " fresh"));
    std::filesystem::remove(dir_ + "/file.bin");
    std::filesystem::remove(dir_ + "/downloadInfo");
    testservers::ScriptedFtpServer server(c.scenario);
    ASSERT_TRUE(server.ok());
    auto state = c.resumed ? State({server.Url("/f.bin")}, 1, static_cast<std::int64_t>(file.size()),
                                   file.substr(0, 4000))
                           : State({server.Url("/f.bin")}, 1);
    const Outcome out = Run(std::move(state));
    EXPECT_EQ(out.reason, kFinishFailed) << out.log;
    EXPECT_EQ(out.errorDomain, static_cast<std::int32_t>(net::ErrorDomain::kFtp));
    EXPECT_EQ(out.errorCode, c.code);
    EXPECT_EQ(out.EntryHas(kEntryNoRestarts), c.norestarts);
    EXPECT_LE(Matching(server.Commands(), "RETR").size(), 2u) << "the server was asked again and again";
  }
}

// A server that breaks every transfer off after 1000 bytes: the ranged attempt turns the
// mirror into a whole-file one, and the whole-file reader that fails too waits for the
// next retry instead of asking again at once.
TEST_F(ScriptedRoadTest, BrokenOffTransfersAreRetriedLaterNotInALoop) {
  runtime::ScopedFakeClock clock;
  testservers::ScriptedFtpServer server("abort-451");
  ASSERT_TRUE(server.ok());
  const auto retrs = [&] { return Matching(server.Commands(), "RETR").size(); };
  const auto settled = [&](std::size_t count) {
    for (int i = 0; i < 5000 && retrs() < count; ++i) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(300ms);  // time for a (wrong) immediate retry to show
    return retrs();
  };
  Start(State({server.Url("/f.bin")}, 1));
  EXPECT_EQ(settled(1), 1u) << LogOf(*events_);
  // The retry resumes after the 1000 bytes; refused again, the file is fetched from its
  // start once, and then the download waits.
  clock.Advance(61s);
  EXPECT_EQ(settled(3), 3u) << LogOf(*events_);
  const auto commands = server.Commands();
  EXPECT_EQ(Matching(commands, "REST"), std::vector<std::string>{"REST 1000"});
  stop_->Signal();
  const Outcome out = Finish();
  EXPECT_EQ(out.reason, kFinishStopped);
  EXPECT_TRUE(out.EntryHas(kEntryNoRestarts));
  EXPECT_TRUE(out.file.substr(0, 1000) == testservers::ScriptedFtpServer::File().substr(0, 1000));
}

TEST_F(ScriptedRoadTest, RefusedLoginAsksAgainAfterEachAnswer) {
  testservers::ScriptedFtpServer server("login-530");
  ASSERT_TRUE(server.ok());
  Start(State({server.Url("/f.bin")}, 1));
  ASSERT_TRUE(events_->WaitFor(kDownloadEventAuthRequired, 1, 10s)) << LogOf(*events_);
  auto asked = events_->Of(kDownloadEventAuthRequired).front();
  EXPECT_EQ(asked->Get<std::string>(FourCC("URL_")).value_or(""), server.Url("/f.bin"));
  controller_->SupplyCredentials(std::string("someone"), std::string("secret"));
  ASSERT_TRUE(events_->WaitFor(kDownloadEventAuthRequired, 2, 10s)) << LogOf(*events_);
  EXPECT_EQ(Matching(server.Commands(), "USER someone").size(), 1u);
  stop_->Signal();
  EXPECT_EQ(Finish().reason, kFinishStopped);
}

// ---- AFP

class AFPRoadTest : public FTPMainRoadTest {
 protected:
  void SetUp() override {
    FTPMainRoadTest::SetUp();
    volume_ = testsupport::MakeTempDir("volume");
    std::filesystem::create_directories(volume_ + "/folder");
    content_ = testsupport::RandomBytes(700000, 3);
    std::ofstream(volume_ + "/folder/file.bin", std::ios::binary) << content_;
    ownedMounter_ = std::make_unique<fakes::FakeVolumeMounter>();
    mounter_ = ownedMounter_.get();
    mounter_->AddVolume("Share", volume_);
  }
  void TearDown() override {
    FTPMainRoadTest::TearDown();
    VolumeMounterSlot::Set(nullptr);
  }

  std::string volume_;
  std::string content_;
  std::unique_ptr<fakes::FakeVolumeMounter> ownedMounter_;  // until a test installs it
  fakes::FakeVolumeMounter* mounter_ = nullptr;
};

TEST_F(AFPRoadTest, FileComesFromTheMountedVolumeAndTheVolumeIsLetGo) {
  VolumeMounterSlot::Set(std::move(ownedMounter_));
  const Outcome out = Run(State({"afp://server.test/Share/folder/file.bin"}, 4));
  EXPECT_EQ(out.reason, kFinishComplete) << out.log;
  EXPECT_EQ(testsupport::Sha1Of(out.file), testsupport::Sha1Of(content_));
  EXPECT_EQ(mounter_->calls.size(), 1u) << "afp downloads run on one connection";
  EXPECT_EQ(mounter_->mounted, 0);
  EXPECT_NE(out.log.find("Starting Volume Mount\r"), std::string::npos);
  EXPECT_NE(out.log.find("opening stream...\r"), std::string::npos);
}

TEST_F(AFPRoadTest, MountOutcomes) {
  struct Case {
    const char* name;
    int completeWith;
    const char* url;
    std::int32_t reason;
    std::int32_t code;
    const char* logged;
  };
  VolumeMounterSlot::Set(std::move(ownedMounter_));
  for (const Case& c :
       {Case{"no volume name", 0, "afp://server.test/Share", kFinishFailed, -50, "URL has no volume name\r"},
        Case{"mount failed", -5016, "afp://server.test/Share/folder/file.bin", kFinishFailed, -5016,
             "Volume Mount completed with status -5016"},
        Case{"user cancelled", -128, "afp://server.test/Share/folder/file.bin", kFinishStopped, 0,
             "user cancelled"}}) {
    SCOPED_TRACE(c.name);
    mounter_->complete_with = c.completeWith;
    const Outcome out = Run(State({c.url}, 1));
    EXPECT_EQ(out.reason, c.reason) << out.log;
    EXPECT_EQ(out.errorCode, c.code);
    EXPECT_NE(out.log.find(c.logged), std::string::npos) << out.log;
  }
}

TEST_F(AFPRoadTest, WithoutAnAFPClientTheDownloadFailsSayingSo) {
  VolumeMounterSlot::Set(nullptr);
  const Outcome out = Run(State({"afp://server.test/Share/folder/file.bin"}, 1));
  EXPECT_EQ(out.reason, kFinishFailed);
  EXPECT_EQ(out.errorDomain, static_cast<std::int32_t>(net::ErrorDomain::kMacOsStatus));
  EXPECT_EQ(out.errorCode, kVolumeMountUnsupported);
  EXPECT_NE(out.log.find("AFP volumes cannot be mounted on this system\r"), std::string::npos) << out.log;
  EXPECT_NE(out.log.find("Volume Mount failed instantly: -4\r"), std::string::npos);
}

}  // namespace
}  // namespace engine
