// A download driven from the main window's commands alone, through the real queue, the
// scheduler's tick, the engine and its limiter, from nginx on loopback: the queue switch
// starts it, switching the queue off stops it, the bandwidth menu lifts the limit, it ends
// byte for byte, and the list's Remove command takes it out of the queue and the list.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/download_task.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/download_events.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/folders/tr_folder.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/shell_timers.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/bandwidth_menu.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/command.h"
#include "tests/fakes/scripted_confirmations.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

using namespace std::chrono_literals;
using values::FourCC;

class WindowCommandsRoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }

  void SetUp() override {
    ASSERT_TRUE(nginx.ok());
    testsupport::WriteFile(nginx.WwwDir() + "/file.bin", content);
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    queue::gActiveDownloads.clear();
    // A slow limit first, so that the download is still running when it is stopped.
    limiter = engine::BandwidthLimiter::Start("download limiter");
    ASSERT_TRUE(limiter);
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter->queue());
    util::ChangeSettings([](util::Settings& s) {
      s.downloadBandwidth = {32768, true};
      s.downloadsStopWithQueue = true;
    });
    engine::SetDownloadBandwidthLimit(true, 32768);
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    engine::InstallDownloadEngine();
    events = queue::InstallDownloadEventHandler(*runtime::EventTarget::Application());
    toolbox::Application::Shared();
    ui::InstallMainWindowServices();
    ui::InstallMainList();
    ui::CreateMainWindow({});
    ASSERT_NE(ui::GetMainWindow(), nullptr);
    queue::DisplayViews({queue::kMyDownloadsViewID});
    queue::gQueueReady = true;
  }

  void TearDown() override {
    if (queue::gQueueRunning) queue::StopQueue(true);
    WaitFor([] { return engine::RunningDownloadTaskCount() == 0; }, 10s);
    queue::gQueueRunning = false;
    queue::gQueueReady = false;
    ui::DisposeMainWindow();
    queue::ClearDisplayedViews();
    ui::UninstallMainList();
    ui::UninstallMainWindowServices();
    events->Remove();
    engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, false);
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
    limiter.reset();
    queue::gActiveDownloads.clear();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }

  // Pumps the main loop and the scheduler's tick until `done` holds (at most `bound`).
  static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      toolbox::Application::Shared().ProcessPendingEvents();
      shell::SchedulerTick();
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  static runtime::Status Send(runtime::EventTarget& target, const char (&command)[5]) {
    auto event =
        toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{FourCC(command), 0, 0});
    return target.Send(*event);
  }
  static runtime::EventTarget& Window() { return *ui::GetMainWindow()->target(); }
  static runtime::EventTarget& List() { return *ui::FindMainControl(ui::mainwindow::kListArea)->target(); }

  testservers::NginxServer nginx;
  std::string content = testsupport::RandomBytes(768 * 1024, 31);
  std::string destination = testsupport::MakeTempDir("downloads");
  std::unique_ptr<engine::BandwidthLimiter> limiter;
  runtime::HandlerRef events;
};

TEST_F(WindowCommandsRoadTest, StartStopFinishAndRemoveFromTheWindow) {
  queue::AddDownloadRequest request;
  request.urlEntries.push_back(values::Value(values::Dictionary{
      {"url", values::Value("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/file.bin")}}));
  request.destination = queue::MakeAliasBytes(files::FileRef(destination));
  const queue::DownloadUID uid = queue::AddDownload(request);
  const queue::WrapperRef download = queue::LookUpDownloadWrapper(uid);
  ASSERT_TRUE(download);
  queue::RefillMainList();
  ASSERT_NE(ui::GetMainList()->DownloadRow(uid), 0u);
  auto& e = download->element();

  // The queue switch starts the queue; the scheduler starts the download.
  ASSERT_EQ(Send(Window(), "QTog"), runtime::kNoErr);
  EXPECT_TRUE(queue::gQueueRunning);
  ASSERT_TRUE(WaitFor([&] { return e.status == queue::kStatusDownloading && e.progress > 0; }, 20s))
      << "status " << e.status;

  // Off again: with "Downloads stop with queue" the running download stops.
  ASSERT_EQ(Send(Window(), "QTog"), runtime::kNoErr);
  EXPECT_FALSE(queue::gQueueRunning);
  ASSERT_TRUE(WaitFor(
      [&] { return (e.status & queue::kRunningMask) == 0 && engine::RunningDownloadTaskCount() == 0; }, 20s))
      << "status " << e.status;
  EXPECT_LT(e.progress, static_cast<std::int64_t>(content.size())) << "stopped before its end";

  // The bandwidth menu lifts the limit; the queue switch resumes it to its end.
  ASSERT_EQ(Send(Window(), "BWOf"), runtime::kNoErr);
  EXPECT_FALSE(engine::IsBandwidthLimitOn(engine::TransferDirection::kDownload));
  // Started by the scheduler, it went back into the queue when it stopped.
  EXPECT_EQ(e.status, queue::kStatusQueued);
  if (e.status != queue::kStatusQueued) queue::EnqueueElement(download);
  ASSERT_EQ(Send(Window(), "QTog"), runtime::kNoErr);
  ASSERT_TRUE(WaitFor([&] { return e.status == queue::kStatusCompleted; }, 30s)) << "status " << e.status;
  const auto file = queue::GetDownloadFileRef(download);
  ASSERT_TRUE(file);
  std::ifstream in(file->Path(), std::ios::binary);
  const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(got == content) << "the finished file differs (" << got.size() << " bytes)";

  // The list's Remove command takes it out of the list and the queue, keeping its file.
  fakes::ScopedConfirmations confirm;
  confirm->answers.push_back(ui::kConfirmationKeepFiles);
  ui::GetMainList()->SelectRows({ui::MakeListItem(ui::RowKind::kDownload, download)});
  ASSERT_EQ(Send(List(), "Remo"), runtime::kNoErr);
  // (A history entry may keep the record itself in the queue's table.)
  const auto inMyDownloads = [&] {
    const queue::FolderRef folder = queue::LookUpFolder(queue::kMyDownloadsViewID);
    if (!folder) return false;
    std::lock_guard lock(folder->itemsLock());
    return folder->items().count(uid) > 0;
  };
  WaitFor([&] { return ui::GetMainList()->DownloadRow(uid) == 0 && !inMyDownloads(); }, 5s);
  EXPECT_EQ(ui::GetMainList()->DownloadRow(uid), 0u);
  EXPECT_FALSE(inMyDownloads());
  EXPECT_TRUE(std::ifstream(file->Path()).good()) << "the file stays";
}

}  // namespace
