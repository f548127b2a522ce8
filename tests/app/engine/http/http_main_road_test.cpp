// Downloads on the main road: the queue's StartDownload hands the download to the real
// engine (task, scheduler, HTTP transport, limiter), which fetches it from real servers on
// loopback: nginx, tinyproxy, and scripted servers for the faults real servers do not make.
// Every file is checked byte for byte by its digest.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/builtin_transports.h"
#include "app/engine/task/download_task.h"
#include "app/engine/task/resume_file.h"
#include "app/queue/events/download_events.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/record/download_files.h"
#include "app/util/files/file_names.h"
#include "app/util/settings/settings_store.h"
#include "platform/net/proxy_settings.h"
#include "platform/net/reachability.h"
#include "platform/prefs/preference_store.h"
#include "platform/runtime/clock.h"
#include "platform/values/digest.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/platform/files/small_tmpfs.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace queue {
namespace {

using namespace std::chrono_literals;
using values::FourCC;

// Bytes without a period: the engine's resume check compares a connection's first 1024
// bytes with the file's start, and a repeating pattern could match at some offset.
std::string Digest(const std::string& bytes) {
  return values::Sha256Hex(bytes);
}

std::string FileDigest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return Digest(bytes);
}

// ranged_fault_server.py on a free port, serving `size` random bytes from its own folder
// (where it also writes requests.log).
class RangedFaultServer {
 public:
  explicit RangedFaultServer(std::size_t size)
      : dir_(testsupport::MakeTempDir("faults")),
        port_(testservers::FreeLoopbackPort()),
        content_(testsupport::RandomBytes(size, static_cast<unsigned>(size))) {
    testsupport::WriteFile(dir_ + "/content.bin", content_);
    const std::string script = std::string(TRUVANE_ENGINE_TEST_DIR) + "/http/ranged_fault_server.py";
    process_ = testservers::ServerProcess(
        {"/bin/sh", "-c", "cd '" + dir_ + "' && exec python3 '" + script + "' " + std::to_string(port_)},
        dir_ + "/stdout.log");
    // Python takes seconds to start on a loaded machine (the default bound allows for it).
    if (!testservers::WaitUntilAccepting(port_)) ADD_FAILURE() << "the fault server did not start";
  }
  std::string Url(const std::string& mode, std::size_t rate = 0) const {
    std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/" + mode + "/file.bin";
    if (rate > 0) url += "?rate=" + std::to_string(rate);
    return url;
  }
  const std::string& Content() const { return content_; }
  std::vector<std::string> Requests() const {
    std::ifstream in(dir_ + "/requests.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string dir_;
  int port_;
  std::string content_;
  testservers::ServerProcess process_;
};

class HttpMainRoadTest : public testing_support::DownloadTest {
 protected:
  static void SetUpTestSuite() { (void)util::GetFileNameCharacterSet(); }

  void SetUp() override {
    DownloadTest::SetUp();
    util::SetSettingsPreferences(&store);
    engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, false);
    limiter = engine::BandwidthLimiter::Start("download limiter");
    ASSERT_TRUE(limiter);
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter->queue());
    engine::LoadAcceptedCertificates(values::Value(), values::Value());

    // As at start-up, with the task's events and log lines caught here instead of on the
    // main queue. Small test files get the connections asked for.
    engine::DownloadRunOptions o;
    o.fitConnectionsToSize = false;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      events.push_back(e);
      cv.notify_all();
    };
    o.log = [this](std::string_view line) {
      std::lock_guard lock(mutex);
      log.append(line);
      log.push_back('\n');
    };
    engine::InstallDownloadEngine(std::move(o));
  }

  void TearDown() override {
    for (const auto& w : started) {
      if (w->element().stopSource) w->element().stopSource->Signal();
    }
    for (int i = 0; i < 10000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, false);
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
    limiter.reset();
    net::SetReachabilityProbe(nullptr);
    util::SetSettingsPreferences(nullptr);
    DownloadTest::TearDown();
  }

  WrapperRef Add(const std::string& url, int connections, std::optional<std::string> user = std::nullopt,
                 std::optional<std::string> password = std::nullopt) {
    AddDownloadRequest r = Request({url});
    r.connections = connections;
    r.destination = MakeAliasBytes(files::FileRef(destination));
    if (user) {
      r.useAuth = true;
      r.user = user;
      r.password = password;
    }
    WrapperRef w = LookUpDownloadWrapper(AddDownload(r));
    EXPECT_TRUE(w);
    return w;
  }

  // Starts the download as the queue does and waits (at most `bound`) for its end;
  // `meanwhile` runs every 10 ms of the wait. Then does what the queue's event handling
  // does for a restart: takes the task's URL entries, data file and size, and marks the
  // download stopped.
  runtime::EventRef Run(const WrapperRef& w, std::chrono::milliseconds bound = 20s,
                        const std::function<void()>& meanwhile = {}) {
    const std::size_t first = EventCount();
    EXPECT_EQ(StartDownload(w), 0);
    started.push_back(w);
    const auto deadline = std::chrono::steady_clock::now() + bound;
    runtime::EventRef finished;
    // `meanwhile` keeps to real time: events wake the wait far more often than 10 ms, and a
    // fake clock moved on at each of them would race ahead of the servers.
    auto nextCall = std::chrono::steady_clock::now() + 10ms;
    while (!finished && std::chrono::steady_clock::now() < deadline) {
      {
        std::unique_lock lock(mutex);
        cv.wait_until(lock, nextCall);
        for (std::size_t i = first; i < events.size(); ++i) {
          if (events[i]->kind() == engine::kDownloadEventFinished) finished = events[i];
        }
      }
      if (!finished && std::chrono::steady_clock::now() >= nextCall) {
        nextCall += 10ms;
        if (meanwhile) meanwhile();
      }
    }
    EXPECT_TRUE(finished) << "the download did not end in time; log:\n" << Log();
    if (!finished) return nullptr;
    for (int i = 0; i < 5000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    DownloadQueueElement& e = w->element();
    {
      std::lock_guard lock(mutex);
      for (std::size_t i = first; i < events.size(); ++i) {
        if (events[i]->kind() != engine::kDownloadEventFileInfo) continue;
        if (auto size = events[i]->Get<std::int64_t>(FourCC("Size")); size && *size > 0) e.fileSize = *size;
        if (auto file = events[i]->Get<runtime::FileRef>(FourCC("Alis")))
          e.fileAlias = MakeAliasBytes(files::FileRef(file->path));
      }
    }
    if (auto entries = finished->Get<values::Value>(FourCC("UrlD")); entries && entries->IsArray()) {
      e.urlData = *entries->AsArray();
    }
    std::erase(gActiveDownloads, e.uid);
    e.controller.reset();
    e.stopSource.reset();
    w->setStatus(kStatusStopped);
    return finished;
  }

  static std::int32_t Reason(const runtime::EventRef& finished) {
    return finished ? finished->Get<std::int32_t>(FourCC("Reas")).value_or(-1) : -1;
  }
  static std::string DataFile(const runtime::EventRef& finished) {
    if (!finished) return {};
    auto file = finished->Get<runtime::FileRef>(FourCC("File"));
    return file ? file->path : std::string();
  }
  std::size_t EventCount() {
    std::lock_guard lock(mutex);
    return events.size();
  }
  std::string Log() {
    std::lock_guard lock(mutex);
    return log;
  }
  bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
  // Waits (bounded) until the running download has written at least `bytes`.
  bool WaitForProgress(std::int64_t bytes, std::chrono::milliseconds bound = 10s) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, bound, [&] {
      for (const auto& e : events) {
        if (e->kind() == engine::kDownloadEventProgress &&
            e->Get<std::int64_t>(FourCC("Tot_")).value_or(0) >= bytes)
          return true;
      }
      return false;
    });
  }
  // The first "Range: bytes=N-" of the log after `offset`; -1 when none.
  std::int64_t FirstRangeStartAfter(std::size_t offset) {
    const std::string text = Log();
    const auto at = text.find("Range: bytes=", offset);
    return at == std::string::npos ? -1 : std::atoll(text.c_str() + at + 13);
  }

  prefs::PreferenceStore store{testsupport::MakeTempDir("prefs")};
  std::unique_ptr<engine::BandwidthLimiter> limiter;
  std::string destination = testsupport::MakeTempDir("downloads");
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<runtime::EventRef> events;
  std::string log;
  std::vector<WrapperRef> started;
};

// ---- nginx: whole files, HTTPS, a proxy, the limit

class NginxMainRoadTest : public HttpMainRoadTest {
 protected:
  void SetUp() override {
    HttpMainRoadTest::SetUp();
    ASSERT_TRUE(nginx.ok());
    std::ofstream(nginx.WwwDir() + "/file.bin", std::ios::binary) << content;
  }
  std::string Http(const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(nginx.HttpPort()) + "/file.bin";
  }
  std::string Https() const {
    return "https://localhost:" + std::to_string(nginx.HttpsPort("self")) + "/file.bin";
  }

  const std::string content = testsupport::RandomBytes(6 * 1024 * 1024 + 12345, 1);
  testservers::TestIdentity identity = testservers::MakeSelfSigned({});
  testservers::NginxServer nginx{{{"self", identity}}};
};

TEST_F(NginxMainRoadTest, WholeFileWithOneAndWithTenConnections) {
  struct Case {
    int connections;
    bool https;
  };
  engine::SaveAcceptedCertificate(*values::Url::Create(Https()),
                                  *net::Certificate::FromPem(identity.certificate_pem), true);
  for (const Case c : {Case{1, false}, Case{10, false}, Case{10, true}}) {
    SCOPED_TRACE(testing::Message() << c.connections << " connections, https " << c.https);
    const std::size_t logStart = Log().size();
    auto finished = Run(Add(c.https ? Https() : Http(), c.connections));
    ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
    EXPECT_EQ(FileDigest(DataFile(finished)), Digest(content));
    // Every connection logs its request: more than one range was fetched with ten.
    std::size_t requests = 0;
    for (auto at = Log().find("GET /file.bin", logStart); at != std::string::npos;
         at = Log().find("GET /file.bin", at + 1))
      ++requests;
    if (c.connections == 1) {
      EXPECT_EQ(requests, 1u);
    } else {
      EXPECT_GT(requests, 2u);
    }
    EXPECT_EQ(engine::GetHostCounts().Count(c.https ? "localhost" : "127.0.0.1"), 0);
  }
}

// An empty body makes no range; the download still ends at once, complete, as an empty
// file, whatever number of connections was asked for.
TEST_F(NginxMainRoadTest, EmptyFileCompletesAtOnce) {
  std::ofstream(nginx.WwwDir() + "/empty.bin", std::ios::binary).flush();
  for (const int connections : {1, 10}) {
    SCOPED_TRACE(testing::Message() << connections << " connections");
    auto finished =
        Run(Add("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/empty.bin", connections));
    ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
    const std::string file = DataFile(finished);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
  }
}

// A full disk ends the download at once with the reason in its log and its finished
// event, and the ranges received so far are saved: a later run on a disk with room goes on
// from them instead of from 0.
TEST_F(NginxMainRoadTest, FullDiskFailsWithTheReasonAndSavesTheRangesReceived) {
  testsupport::SmallTmpfs disk("1m");
  TRUVANE_REQUIRE_TMPFS(disk);
  destination = disk.path();
  auto finished = Run(Add(Http(), 1));
  ASSERT_EQ(Reason(finished), engine::kFinishFailed) << Log();
  EXPECT_TRUE(Logged("Download failed: The disk is full")) << Log();
  EXPECT_NE(finished->Get<std::string>(FourCC("ErrT")).value_or("").find("The disk is full"),
            std::string::npos);
  const std::string data = DataFile(finished);
  const std::string ranges = std::filesystem::path(data).parent_path() / "downloadInfo";
  const std::string text = testsupport::ReadFile(ranges);
  ASSERT_FALSE(text.empty()) << "no ranges saved";
  engine::RangeList saved;
  ASSERT_TRUE(engine::ReadRangesFile(files::FileRef(ranges), -1, saved).ok());
  ASSERT_EQ(saved.size(), 1u) << text;
  EXPECT_EQ(saved[0].location, 0);
  EXPECT_GT(saved[0].length, 0);
  EXPECT_LE(saved[0].length, static_cast<std::int64_t>(std::filesystem::file_size(data)));
  // What the ranges claim is what the server sent.
  const std::string head = testsupport::ReadFile(data).substr(0, static_cast<std::size_t>(saved[0].length));
  EXPECT_EQ(head, content.substr(0, head.size()));
}

// Loopback names never go through a proxy, so the server is named "127.1". The proxy
// wants credentials: its challenge in the log shows that the download went through it.
TEST_F(NginxMainRoadTest, ThroughAProxy) {
  testservers::TinyproxyServer proxy("puser", "ppass");
  ASSERT_TRUE(proxy.ok());
  net::ProxySettingsSource::Shared().SetPreferenceDictionary(
      values::Dictionary{{"HTTPEnable", values::Value(1)},
                         {"HTTPProxy", values::Value("127.0.0.1")},
                         {"HTTPPort", values::Value(proxy.Port())}});
  engine::SetHTTPProxyCredentials("puser", "ppass");
  auto finished = Run(Add(Http("127.1"), 3));
  net::ProxySettingsSource::Shared().SetPreferenceDictionary(std::nullopt);
  engine::SetHTTPProxyCredentials(std::nullopt, std::nullopt);
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(content));
  EXPECT_TRUE(Logged("407")) << Log();
}

// A spent budget makes a request wait inside the limiter; that must hold the download back,
// never let it read unlimited. Only a lower bound on the time is
// asserted: a loaded machine makes a download slower, never faster. The file is four
// seconds' worth; at most half a second's budget can be saved up before the start.
TEST_F(NginxMainRoadTest, HoldsTheBandwidthLimit) {
  struct Case {
    std::int32_t limit;
    int connections;
  };
  const Case cases[] = {{20 * 1024, 1},   {20 * 1024, 10},      {200 * 1024, 1},
                        {200 * 1024, 10}, {2 * 1024 * 1024, 1}, {2 * 1024 * 1024, 10}};
  constexpr double kSecondsOfData = 4;
  for (const Case c : cases) {
    SCOPED_TRACE(testing::Message() << c.limit << " B/s, " << c.connections << " connections");
    const std::string body = testsupport::RandomBytes(static_cast<std::size_t>(c.limit * kSecondsOfData),
                                                      static_cast<unsigned>(c.limit));
    const std::string name =
        "limited-" + std::to_string(c.limit) + "-" + std::to_string(c.connections) + ".bin";
    std::ofstream(nginx.WwwDir() + "/" + name, std::ios::binary) << body;
    engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, true);
    engine::SetDownloadBandwidthLimit(true, c.limit);
    const auto start = std::chrono::steady_clock::now();
    auto finished =
        Run(Add("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/" + name, c.connections), 60s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
    EXPECT_EQ(FileDigest(DataFile(finished)), Digest(body));
    EXPECT_GE(seconds, kSecondsOfData - 1) << "the limit did not hold";
  }
}

// ---- Stopping, killing and resuming

TEST_F(HttpMainRoadTest, ResumesAfterTheTaskIsStopped) {
  constexpr std::size_t kSize = 3 * 1024 * 1024;
  RangedFaultServer server(kSize);
  WrapperRef w = Add(server.Url("plain", 1024 * 1024), 3);
  // Stopped as soon as a progress report shows bytes on disk.
  bool stopAsked = false;
  auto stopped = Run(w, 20s, [&] {
    if (!stopAsked && WaitForProgress(1, 0ms)) {
      stopAsked = true;
      StopDownload(w);
    }
  });
  ASSERT_EQ(Reason(stopped), engine::kFinishStopped) << Log();

  const std::size_t logStart = Log().size();
  auto finished = Run(w);
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(server.Content()));
  EXPECT_GT(FirstRangeStartAfter(logStart), 0) << "the restart asked from where the first run stopped";
}

// The child's half of the next test: runs a download and waits to be killed.
TEST(HttpMainRoadChild, RunsADownloadUntilKilled) {
  const char* desc = std::getenv("TRUVANE_MAIN_ROAD_CHILD");
  if (desc == nullptr) GTEST_SKIP() << "only run as the child of KilledProcessResumesByteExact";
  const std::string text = desc;
  const auto bar1 = text.find('|');
  const auto bar2 = text.find('|', bar1 + 1);
  engine::DownloadRunOptions o;
  o.post = [](runtime::EventRef, runtime::EventPriority) {};
  o.log = [](std::string_view) {};
  // What survives a kill is what was last saved; saving often makes that a good part.
  o.saveInterval = 0.2;
  engine::InstallDownloadEngine(std::move(o));
  auto state = std::make_unique<engine::DownloadThreadState>();
  state->uid = 7;
  state->urlEntries.push_back(values::Value(values::Dictionary{{"url", text.substr(0, bar1)}}));
  state->dataFile = text.substr(bar1 + 1, bar2 - bar1 - 1);
  state->rangesFile = text.substr(bar2 + 1);
  state->wantedConnections = 3;
  state->stopSource = std::make_shared<engine::DownloadStopSource>();
  ASSERT_TRUE(engine::DownloadEngineServicesSlot::Get().StartDownloadTask(std::move(state)));
  std::this_thread::sleep_for(60s);  // the parent kills this process long before
}

TEST_F(HttpMainRoadTest, KilledProcessResumesByteExact) {
  constexpr std::size_t kSize = 4 * 1024 * 1024;
  RangedFaultServer server(kSize);
  const std::string url = server.Url("plain", 512 * 1024);
  WrapperRef w = Add(url, 3);
  // The queue makes the package (a start stopped at once); the child downloads into it as
  // the program would.
  ASSERT_EQ(Reason(Run(w, 20s, [&] { StopDownload(w); })), engine::kFinishStopped);
  const auto data = ResolveAliasField(w->element().fileAlias);
  ASSERT_TRUE(data);
  const std::string rangesPath = data->Parent().Child("downloadInfo").Path();

  // Everything the child needs is made before the fork: between fork and exec only
  // async-signal-safe calls.
  std::vector<std::string> environment{"TRUVANE_MAIN_ROAD_CHILD=" + url + "|" + data->Path() + "|" +
                                       rangesPath};
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execle("/proc/self/exe", "child", "--gtest_filter=HttpMainRoadChild.RunsADownloadUntilKilled", nullptr,
             envp.data());
    ::_exit(127);
  }
  // Killed once a save shows a good part on disk, well before the end.
  engine::RangeList saved;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    saved.clear();
    if (engine::ReadRangesFile(files::FileRef(rangesPath), kSize, saved).ok() &&
        engine::SumRangeLengths(saved) > 512 * 1024)
      break;
    std::this_thread::sleep_for(20ms);
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_GT(engine::SumRangeLengths(saved), 512 * 1024) << "the child saved nothing in time";
  ASSERT_LT(engine::SumRangeLengths(saved), static_cast<std::int64_t>(kSize));

  const std::size_t logStart = Log().size();
  auto finished = Run(w, 30s);
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(server.Content()));
  EXPECT_GT(FirstRangeStartAfter(logStart), 0) << "the restart resumed from the saved ranges";
}

// ---- Reachability of the mirror's host

class SwitchableReachability : public net::ReachabilityProbe {
 public:
  unsigned FlagsForHost(std::string_view) override {
    return reachable.load() ? net::kReachabilityReachable : 0u;
  }
  std::atomic<bool> reachable{true};
};

TEST_F(HttpMainRoadTest, AHostGoingAwayAndComingBackIsLoggedAndTheDownloadGoesOn) {
  auto probe = std::make_shared<SwitchableReachability>();
  net::SetReachabilityProbe(probe);
  constexpr std::size_t kSize = 1024 * 1024;
  RangedFaultServer server(kSize);
  int step = 0;
  auto finished = Run(Add(server.Url("plain", 1024 * 1024), 1), 20s, [&] {
    if (step == 0 && Logged("200 OK")) {
      probe->reachable = false;
      net::ReachabilityTarget::AnnounceChange();
      step = 1;
    } else if (step == 1 && Logged("Host has become unreachable")) {
      probe->reachable = true;
      net::ReachabilityTarget::AnnounceChange();
      step = 2;
    }
  });
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  EXPECT_TRUE(Logged("Host has become unreachable"));
  EXPECT_TRUE(Logged("Host has become reachable, spawning connections"));
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(server.Content()));
}

// ---- Faults of servers, through the whole engine

struct FaultCase {
  const char* mode;
  int connections;
  const char* logged;  // a line the transfer log must hold; "" for none
  // A retry timer or the silence limit must pass: the fake clock moves while the server has
  // seen one request and the log holds this ("" for at once); nullptr for no fake clock.
  const char* clockFrom;
};

// Retry timers (4 to 60 s) and the silence limits (30 and 55 s) run on a fake clock that
// the wait moves on by a second every 10 ms, but only while the engine waits for one of
// them: from the first request on for a server silent on purpose, from the logged retry
// for a cut body or a refusal. Before and after that the clock stands still, so a loaded
// machine that pauses the server for however long never reads as a silence.
constexpr auto kClockStep = std::chrono::seconds(1);
constexpr const char* kRetryLogged = ", retrying in ";

class FaultMainRoadTest : public HttpMainRoadTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(FaultMainRoadTest, EndsWithTheWholeFile) {
  const FaultCase& c = GetParam();
  constexpr std::size_t kSize = 2 * 1024 * 1024 + 777;
  RangedFaultServer server(kSize);
  std::optional<runtime::ScopedFakeClock> clock;
  if (c.clockFrom) clock.emplace();
  auto finished = Run(Add(server.Url(c.mode), c.connections), 30s, [&] {
    if (clock && server.Requests().size() == 1 && Logged(c.clockFrom)) clock->Advance(kClockStep);
  });
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(server.Content()));
  if (*c.logged) {
    EXPECT_TRUE(Logged(c.logged)) << Log();
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMainRoadTest,
                         testing::Values(FaultCase{"wrong-range", 4, "Content-Range: bytes 0-", nullptr},
                                         FaultCase{"ignore-range", 4, "", nullptr},
                                         FaultCase{"multipart", 4, "The server answered with several ranges",
                                                   nullptr},
                                         FaultCase{"cut-once", 1, "", kRetryLogged},
                                         FaultCase{"busy-once", 1, "503 Service Unavailable", kRetryLogged},
                                         FaultCase{"silent-once", 1, "Timing out connection", ""}),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                           std::string name = info.param.mode;
                           std::erase(name, '-');
                           return name;
                         });

// A download that fails says why, in its own log and in the finished event the queue
// shows and logs: the server's status line, or what went wrong with the redirects.
TEST_F(HttpMainRoadTest, FailureSaysWhyInTheLogAndTheFinishedEvent) {
  RangedFaultServer server(1000);
  struct Case {
    const char* mode;
    const char* why;
  } cases[] = {{"missing", "HTTP/1.1 404 Not Found"}, {"redirect-loop", "too many redirects"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    const std::size_t logStart = Log().size();
    auto finished = Run(Add(server.Url(c.mode), 1));
    ASSERT_EQ(Reason(finished), engine::kFinishFailed) << Log();
    const std::string text = finished->Get<std::string>(FourCC("ErrT")).value_or("");
    EXPECT_NE(text.find(c.why), std::string::npos) << text;
    EXPECT_NE(Log().find("Download failed: " + text, logStart), std::string::npos) << Log();
  }
}

TEST_F(HttpMainRoadTest, CutOffBodyKeepsWhatCameAndFetchesOnlyTheRest) {
  constexpr std::size_t kSize = 1024 * 1024;
  RangedFaultServer server(kSize);
  runtime::ScopedFakeClock clock;
  auto finished = Run(Add(server.Url("cut-once"), 1), 30s, [&] {
    if (server.Requests().size() == 1 && Logged(kRetryLogged)) clock.Advance(kClockStep);
  });
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  const auto requests = server.Requests();
  std::string all;
  for (const auto& r : requests) all += r + "\n";
  ASSERT_EQ(requests.size(), 2u) << all << Log();
  EXPECT_NE(requests[1].find("range=bytes=" + std::to_string(kSize * 4 / 10) + "-"), std::string::npos)
      << requests[1];
  // The rest landed right behind what the cut body left: the file is whole.
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(server.Content()));
}

// A server that ignores ranges and cuts every body short: each retry timer brings a
// bounded few requests (a ranged one, once more with If-Range, then the mirror is fetched
// whole from 0), never a stream of reconnections while the clock stands still.
TEST_F(HttpMainRoadTest, ServerIgnoringRangesAndCuttingEveryBodyIsNotAskedAgainAtOnce) {
  RangedFaultServer server(512 * 1024);
  runtime::ScopedFakeClock clock;
  WrapperRef w = Add(server.Url("ignore-range-cut"), 4);
  ASSERT_EQ(StartDownload(w), 0);
  started.push_back(w);
  // The clock stands still, so no retry timer fires: the requests must stop coming.
  auto settle = [&] {
    std::size_t last = 0;
    for (int i = 0; i < 50; ++i) {
      std::this_thread::sleep_for(100ms);
      const std::size_t now = server.Requests().size();
      if (now != 0 && now == last) break;
      last = now;
    }
    return last;
  };
  auto all = [&] {
    std::string text;
    for (const auto& r : server.Requests()) text += r + "\n";
    return text;
  };
  std::size_t count = settle();
  EXPECT_GE(count, 1u) << all();
  EXPECT_LE(count, 5u) << all();
  for (int round = 0; round < 3; ++round) {
    clock.Advance(61s);
    for (int i = 0; i < 500 && server.Requests().size() == count; ++i) std::this_thread::sleep_for(10ms);
    const std::size_t now = settle();
    EXPECT_GE(now, count + 1) << all();
    EXPECT_LE(now, count + 3) << all();
    count = now;
  }
  // By now the mirror is known not to resume: the retry asks for the whole file.
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_TRUE(requests.back().ends_with("range=")) << all();
}

// A failure reaches the queue with its code in the form the queue's event handler reads.
TEST_F(HttpMainRoadTest, AMissingFileFailsWithTheStatusTheQueueReads) {
  testservers::ScriptedHttpServer server;
  ASSERT_TRUE(server.ok());
  auto finished = Run(Add(server.Url("/no-such-route"), 1));
  ASSERT_EQ(Reason(finished), engine::kFinishFailed) << Log();
  EXPECT_EQ(DecodeStreamError(*finished, FourCC("ErrC")), (StreamErrorParam{kHTTPErrorDomain, 404}));
}

// The scripted server's answers: authentication, redirects, content encoding.
struct ScriptedCase {
  const char* path;
  bool credentials;
};

class ScriptedMainRoadTest : public HttpMainRoadTest, public testing::WithParamInterface<ScriptedCase> {};

TEST_P(ScriptedMainRoadTest, EndsWithTheBody) {
  testservers::ScriptedHttpServer server;
  ASSERT_TRUE(server.ok());
  const ScriptedCase& c = GetParam();
  WrapperRef w = c.credentials ? Add(server.Url(c.path), 1, testservers::ScriptedHttpServer::kUser,
                                     testservers::ScriptedHttpServer::kPassword)
                               : Add(server.Url(c.path), 1);
  auto finished = Run(w);
  ASSERT_EQ(Reason(finished), engine::kFinishComplete) << Log();
  EXPECT_EQ(FileDigest(DataFile(finished)), Digest(testservers::ScriptedHttpServer::Body()));
}

INSTANTIATE_TEST_SUITE_P(Answers, ScriptedMainRoadTest,
                         testing::Values(ScriptedCase{"/basic", true}, ScriptedCase{"/digest", true},
                                         ScriptedCase{"/digest-stale", true},
                                         ScriptedCase{"/dir/redirect-relative", false},
                                         ScriptedCase{"/gzip", false}, ScriptedCase{"/chunked", false},
                                         ScriptedCase{"/until-close", false}),
                         [](const testing::TestParamInfo<ScriptedCase>& info) {
                           std::string name = info.param.path;
                           std::erase_if(
                               name, [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); });
                           return name;
                         });

}  // namespace
}  // namespace queue
