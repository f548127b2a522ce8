// The queue's StartDownload with the real engine behind its seam: the package the queue
// made is filled by a real task over the fake transport.

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "app/engine/task/download_task.h"
#include "app/queue/record/download_files.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/fakes/fake_transport.h"

namespace queue {
namespace {

using namespace std::chrono_literals;

class MainRoadTest : public testing_support::DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    table.Register("http", transport);
    engine::DownloadRunOptions o;
    o.transports = &table;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      if (e->kind() == engine::kDownloadEventFinished) finished = e;
      cv.notify_all();
    };
    engine::DownloadEngineServicesSlot::Set(std::make_unique<engine::DownloadEngine>(o));
  }
  void TearDown() override {
    for (int i = 0; i < 5000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    DownloadTest::TearDown();
  }

  std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
  engine::DownloadTransportTable table;
  std::mutex mutex;
  std::condition_variable cv;
  runtime::EventRef finished;
};

TEST_F(MainRoadTest, StartDownloadFillsThePackagesDataFile) {
  transport->content.resize(700000);
  for (std::size_t i = 0; i < transport->content.size(); ++i) {
    transport->content[i] = static_cast<std::uint8_t>(i * 31 + i / 977);
  }
  const std::string dir = testsupport::MakeTempDir();
  AddDownloadRequest r = Request({"http://road.test/big.bin"});
  r.destination = MakeAliasBytes(files::FileRef(dir));
  WrapperRef w = LookUpDownloadWrapper(AddDownload(r));
  ASSERT_TRUE(w);
  ASSERT_EQ(StartDownload(w), 0);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, 20s, [&] { return finished != nullptr; }));
  }
  EXPECT_EQ(finished->Get<std::int32_t>(values::FourCC("Reas")).value_or(-1), engine::kFinishComplete);
  std::ifstream in(dir + "/big.bin.partial/big.bin", std::ios::binary);
  const std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(got == transport->content);
  EXPECT_EQ(engine::GetHostCounts().Count("road.test"), 0);
}

}  // namespace
}  // namespace queue
