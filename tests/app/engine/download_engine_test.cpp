// The engine behind the queue's seam: StartDownloadTask runs a real task, and the
// controller's answers reach it through its own event queue.

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "app/engine/log/transfer_log.h"
#include "app/engine/task/download_task.h"
#include "tests/fakes/fake_transport.h"
#include "tests/support/temp_home.h"

namespace {

using namespace std::chrono_literals;
using values::FourCC;

class DownloadEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testsupport::MakeTempDir("eng");
    table.Register("https", transport);
    engine::GetHostCounts().Clear();
  }
  void TearDown() override {
    // The tasks post into this fixture until they end.
    for (int i = 0; i < 5000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
  }

  std::unique_ptr<engine::DownloadThreadState> State() {
    auto s = std::make_unique<engine::DownloadThreadState>();
    s->uid = 7;
    s->urlEntries.push_back(values::Value(values::Dictionary{{"url", "https://secure.test/x"}}));
    s->dataFile = dir + "/x";
    s->rangesFile = dir + "/downloadInfo";
    std::ofstream(s->dataFile);
    std::ofstream(s->rangesFile);
    s->wantedConnections = 2;
    s->stopSource = std::make_shared<engine::DownloadStopSource>();
    return s;
  }

  engine::DownloadEngine Engine(double questionTimeout = engine::kQuestionTimeout) {
    engine::DownloadRunOptions o;
    o.transports = &table;
    o.questionTimeout = questionTimeout;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      kinds.push_back(e->kind());
      events.push_back(e);
      cv.notify_all();
    };
    o.log = [this](std::string_view line) {
      std::lock_guard lock(mutex);
      log.append(line);
    };
    return engine::DownloadEngine(o);
  }

  runtime::EventRef Finished() {
    std::lock_guard lock(mutex);
    for (const auto& e : events) {
      if (e->kind() == engine::kDownloadEventFinished) return e;
    }
    return nullptr;
  }

  bool WaitForKind(std::uint32_t kind) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, 20s, [&] { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); });
  }

  std::string dir;
  std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
  engine::DownloadTransportTable table;
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::uint32_t> kinds;
  std::vector<runtime::EventRef> events;
  std::string log;
};

TEST_F(DownloadEngineTest, CredentialsFromTheControllerLetTheDownloadGoOn) {
  transport->content.assign(50000, 'a');
  transport->requireUser = "alice";
  auto engine = Engine();
  auto controller = engine.StartDownloadTask(State());
  ASSERT_TRUE(controller);
  ASSERT_TRUE(WaitForKind(engine::kDownloadEventAuthRequired));
  EXPECT_EQ(transport->OpenCount(), 1) << "no connection is added while the user is asked";
  controller->SupplyCredentials("alice", "secret");
  ASSERT_TRUE(WaitForKind(engine::kDownloadEventFinished));
  std::ifstream in(dir + "/x", std::ios::binary);
  const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(got, std::string(50000, 'a'));
  EXPECT_GE(transport->OpenCount(), 2);
}

TEST_F(DownloadEngineTest, StopSourceEndsTheTask) {
  transport->content.assign(50000, 'a');
  transport->stall = true;
  auto engine = Engine();
  auto state = State();
  auto stop = state->stopSource;
  auto controller = engine.StartDownloadTask(std::move(state));
  ASSERT_TRUE(WaitForKind(engine::kDownloadEventStarted));
  stop->Signal();
  ASSERT_TRUE(WaitForKind(engine::kDownloadEventFinished));
  // The controller outlives the task harmlessly.
  controller->SupplyCredentials(std::nullopt, std::nullopt);
  for (int i = 0; i < 1000 && engine::RunningDownloadTaskCount() != 0; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(engine::RunningDownloadTaskCount(), 0);
}

// A certificate question that is refused, or that nobody answers within its time, ends the
// download as failed, naming the host and what is wrong with the certificate, in the
// download's log and in the finished event; nothing waits on.
TEST_F(DownloadEngineTest, RefusedOrUnansweredCertificateQuestionFailsWithTheReason) {
  struct Case {
    const char* name;
    bool refuse;
    double questionTimeout;
  } cases[] = {{"refused", true, engine::kQuestionTimeout}, {"unanswered", false, 0.3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard lock(mutex);
      kinds.clear();
      events.clear();
      log.clear();
    }
    transport = std::make_shared<FakeTransport>();
    table.Register("https", transport);
    transport->content.assign(50000, 'a');
    transport->failures[0] = {0,
                              engine::kStreamError | engine::kStreamUnknownRoot,
                              {net::ErrorDomain::kSsl, net::tls_code::kUnknownRoot}};
    auto engine = Engine(c.questionTimeout);
    auto controller = engine.StartDownloadTask(State());
    ASSERT_TRUE(controller);
    ASSERT_TRUE(WaitForKind(engine::kDownloadEventUnknownRoot));
    if (c.refuse) controller->RefuseCertificate();
    ASSERT_TRUE(WaitForKind(engine::kDownloadEventFinished));
    auto finished = Finished();
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->Get<std::int32_t>(FourCC("Reas")), engine::kFinishFailed);
    const std::string why = finished->Get<std::string>(FourCC("ErrT")).value_or("");
    EXPECT_NE(why.find("The certificate of secure.test is not trusted"), std::string::npos) << why;
    EXPECT_NE(why.find("unknown root certificate"), std::string::npos) << why;
    std::lock_guard lock(mutex);
    EXPECT_NE(log.find("Download failed: The certificate of secure.test is not trusted"), std::string::npos)
        << log;
  }
}

}  // namespace
