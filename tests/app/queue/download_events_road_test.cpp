// The real download task's events, applied by the queue's handler: the formats the task
// posts are the ones the handler reads, down to the file filed in its folder.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "app/engine/task/download_task.h"
#include "app/queue/events/completion.h"
#include "app/queue/events/download_events.h"
#include "app/queue/record/download_files.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/fake_notifier.h"
#include "tests/fakes/fake_transport.h"

namespace queue {
namespace {

using namespace std::chrono_literals;

class DownloadEventsRoadTest : public testing_support::DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    table.Register("http", transport);
    engine::DownloadRunOptions o;
    o.transports = &table;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      events.push_back(e);
      cv.notify_all();
    };
    engine::DownloadEngineServicesSlot::Set(std::make_unique<engine::DownloadEngine>(o));
  }
  void TearDown() override {
    for (int i = 0; i < 5000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    CancelWhenDoneCheck();
    DownloadTest::TearDown();
  }

  std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
  engine::DownloadTransportTable table;
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<runtime::EventRef> events;
  fakes::ScopedFakeNotifier notifier;
};

TEST_F(DownloadEventsRoadTest, TheTasksEventsCompleteTheDownload) {
  transport->content.assign(300000, 7);
  const std::string dir = testsupport::MakeTempDir();
  AddDownloadRequest r = Request({"http://road.test/data.bin"});
  r.destination = MakeAliasBytes(files::FileRef(dir));
  WrapperRef w = LookUpDownloadWrapper(AddDownload(r));
  ASSERT_TRUE(w);
  ASSERT_EQ(StartDownload(w), 0);
  // The start is announced on the desktop.
  ASSERT_FALSE(notifier->posted.empty());
  EXPECT_EQ(notifier->posted.front().name, "Download is starting");
  EXPECT_EQ(notifier->posted.front().title, "Download started");
  EXPECT_EQ(notifier->posted.front().description, "http://road.test/data.bin");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(
        lock, 20s, [&] { return !events.empty() && events.back()->kind() == kDownloadEventFinished; }));
  }
  std::vector<runtime::EventRef> got;
  {
    std::lock_guard lock(mutex);
    got = events;
  }
  for (const auto& e : got) EXPECT_EQ(HandleDownloadThreadEvent(*e), runtime::kNoErr);

  EXPECT_EQ(w->status(), kStatusCompleted);
  EXPECT_EQ(w->element().progress, 300000);
  EXPECT_TRUE(gActiveDownloads.empty());
  EXPECT_EQ(std::filesystem::file_size(dir + "/data.bin"), 300000u);
  EXPECT_FALSE(std::filesystem::exists(dir + "/data.bin.partial"));
  ASSERT_FALSE(notifier->posted.empty());
  EXPECT_EQ(notifier->posted.back().clickContext, std::optional<std::string>(dir + "/data.bin"));
}

}  // namespace
}  // namespace queue
