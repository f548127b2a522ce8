// The add-URL window on the main road: Add makes a new download that the real engine
// (task, scheduler, HTTP transport, limiter) then fetches from nginx on loopback, byte for
// byte.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/download_task.h"
#include "app/ui/small_windows/add_url_window.h"
#include "app/util/files/file_names.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/digest.h"
#include "tests/app/queue/download_test_support.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace queue {
namespace {

using namespace std::chrono_literals;
using values::FourCC;

std::string FileSha256(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return values::Sha256Hex(std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
}

class AddURLWindowDownloadTest : public testing_support::DownloadTest {
 protected:
  void SetUp() override {
    DownloadTest::SetUp();
    (void)util::GetFileNameCharacterSet();
    util::SetSettingsPreferences(&store);
    engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, false);
    limiter = engine::BandwidthLimiter::Start("download limiter");
    ASSERT_TRUE(limiter);
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter->queue());
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    engine::DownloadRunOptions o;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      events.push_back(e);
      cv.notify_all();
    };
    engine::InstallDownloadEngine(std::move(o));
    ASSERT_TRUE(nginx.ok());
    std::ofstream(nginx.WwwDir() + "/file.bin", std::ios::binary) << content;
  }
  void TearDown() override {
    for (const auto& [uid, w] : gQueueItems)
      if (w->element().stopSource) w->element().stopSource->Signal();
    for (int i = 0; i < 10000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
    limiter.reset();
    util::SetSettingsPreferences(nullptr);
    DownloadTest::TearDown();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/file.bin"; }

  // The finished event of the download, waited for within a bound.
  runtime::EventRef WaitForFinish(std::chrono::seconds bound = 30s) {
    std::unique_lock lock(mutex);
    runtime::EventRef finished;
    cv.wait_for(lock, bound, [&] {
      for (const auto& e : events)
        if (e->kind() == engine::kDownloadEventFinished) finished = e;
      return finished != nullptr;
    });
    return finished;
  }

  prefs::PreferenceStore store{testsupport::MakeTempDir("prefs")};
  std::unique_ptr<engine::BandwidthLimiter> limiter;
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<runtime::EventRef> events;
  const std::string content = testsupport::RandomBytes(3 * 1024 * 1024 + 77, 5);
  testservers::NginxServer nginx;
};

TEST_F(AddURLWindowDownloadTest, AddMakesADownloadThatTheEngineCompletesByteExact) {
  toolbox::Window* window = ui::ShowAddURLWindow({values::Value(values::Dictionary{{"url", Url()}})});
  ASSERT_EQ(window->FindControl(toolbox::kApplicationSignature, ui::kAddURLPopUpID)->Value(), 1);
  window->FindControl(toolbox::kApplicationSignature, 4)->Click();  // Add
  EXPECT_TRUE(window->IsReleased());
  ASSERT_EQ(gQueueItems.size(), 1u);
  WrapperRef w = gQueueItems.begin()->second;
  EXPECT_EQ(w->url(), Url());
  EXPECT_TRUE(gQueueChanged);

  ASSERT_EQ(StartDownload(w), 0);
  runtime::EventRef finished = WaitForFinish();
  ASSERT_TRUE(finished) << "the download did not end in time";
  EXPECT_EQ(finished->Get<std::int32_t>(FourCC("Reas")).value_or(-1), engine::kFinishComplete);
  auto file = finished->Get<runtime::FileRef>(FourCC("File"));
  ASSERT_TRUE(file);
  EXPECT_EQ(FileSha256(file->path), values::Sha256Hex(content));
}

}  // namespace
}  // namespace queue
