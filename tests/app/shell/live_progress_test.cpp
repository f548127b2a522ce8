// A download's progress moves in the main window while it runs: the real engine fetches a
// file from nginx on loopback at 64 KB/s, its progress events go through the queue's
// handler and the windowed download views to the main list, and each list refresh paints
// the row again with its new figures. What the row showed is read when it is painted,
// not asked afresh, so a row left unpainted shows as unchanged.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/limits/limit_settings.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/download_run.h"
#include "app/engine/task/download_task.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/download_events.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/certificate_questions.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/ui/services/download_event_views.h"
#include "app/util/files/file_names.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/application.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

using namespace std::chrono_literals;

class LiveProgressTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::FinishQueueFileSaves();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    queue::gActiveDownloads.clear();
    (void)util::GetFileNameCharacterSet();
    util::SetSettingsPreferences(&store);
    toolbox::Application::Shared();
    ui::InstallMainWindowServices();
    ui::InstallMainList();
    ui::DownloadEventViewsSlot::Set(std::make_unique<shell::WindowedDownloadEventViews>());
    engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, false);
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    engine::DownloadRunOptions o;
    o.post = [this](runtime::EventRef e, runtime::EventPriority) {
      std::lock_guard lock(mutex);
      events.push_back(e);
      cv.notify_all();
    };
    engine::InstallDownloadEngine(std::move(o));
    ASSERT_TRUE(nginx.ok());
    std::filesystem::create_directories(nginx.WwwDir() + "/slow");
    std::ofstream(nginx.WwwDir() + "/slow/file.bin", std::ios::binary) << content;
    ui::CreateMainWindow({});
    ASSERT_NE(ui::GetMainWindow(), nullptr);
    ui::GetMainWindow()->SizeContent(1000, 500);
  }
  void TearDown() override {
    for (const auto& [uid, w] : queue::gQueueItems)
      if (w->element().stopSource) w->element().stopSource->Signal();
    for (int i = 0; i < 10000 && engine::RunningDownloadTaskCount() != 0; ++i)
      std::this_thread::sleep_for(1ms);
    ui::DisposeMainWindow();
    queue::ClearDisplayedViews();
    ui::DownloadEventViewsSlot::Set(nullptr);
    ui::UninstallMainList();
    ui::UninstallMainWindowServices();
    engine::DownloadEngineServicesSlot::Set(nullptr);
    util::SetSettingsPreferences(nullptr);
    queue::FinishQueueFileSaves();
    queue::gActiveDownloads.clear();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  // The engine's events so far, handled on this (the main) thread as the application does.
  bool HandleEvents() {
    std::vector<runtime::EventRef> now;
    {
      std::unique_lock lock(mutex);
      cv.wait_for(lock, 100ms, [&] { return !events.empty(); });
      now.swap(events);
    }
    bool finished = false;
    for (const auto& e : now) {
      queue::HandleDownloadThreadEvent(*e);
      finished = finished || e->kind() == engine::kDownloadEventFinished;
    }
    return finished;
  }

  prefs::PreferenceStore store{testsupport::MakeTempDir("prefs")};
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<runtime::EventRef> events;
  // Some seconds at 64 KB/s a connection.
  const std::string content = testsupport::RandomBytes(1200 * 1024, 9);
  testservers::NginxServer nginx;
};

TEST_F(LiveProgressTest, TheRowIsPaintedWithNewFiguresWhileTheDownloadRuns) {
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/slow/file.bin";
  queue::AddDownloadRequest request;
  request.urlEntries.push_back(values::Value(values::Dictionary{{"url", url}}));
  const queue::DownloadUID uid = queue::AddDownload(request);
  queue::WrapperRef w = queue::LookUpDownloadWrapper(uid);
  ASSERT_NE(w, nullptr);
  ui::MainList& list = *ui::GetMainList();
  queue::DisplayViews({queue::kMyDownloadsViewID});
  toolbox::Application::Shared().ProcessPendingEvents();
  list.list().FlushPainting();
  const toolbox::ListItemID row = list.DownloadRow(uid);
  ASSERT_NE(row, 0u);

  // The figures of the row each time its size cell is painted: received of total, speed,
  // time left.
  std::vector<std::string> painted;
  list.list().SetCellPaintObserver([&](toolbox::ListItemID id, toolbox::ListPropertyID property) {
    if (id != row || property != ui::kColSize) return;
    std::string figures;
    for (std::uint32_t p : {ui::kColSize, ui::kColSpeed, ui::kColEstimatedTime})
      figures += list.list().CellText(row, p) + " | ";
    if (painted.empty() || painted.back() != figures) painted.push_back(figures);
  });

  ASSERT_EQ(queue::StartDownload(w), 0);
  // The list-refresh timer's work, about as often as the timer runs; no other repaint is
  // asked for.
  bool finished = false;
  for (auto deadline = std::chrono::steady_clock::now() + 60s;
       !finished && std::chrono::steady_clock::now() < deadline;) {
    const auto pass = std::chrono::steady_clock::now() + 600ms;
    while (!finished && std::chrono::steady_clock::now() < pass) finished = HandleEvents();
    list.RefreshChangedRows();
    toolbox::Application::Shared().ProcessPendingEvents();
    list.list().FlushPainting();
  }
  list.list().SetCellPaintObserver(nullptr);
  ASSERT_TRUE(finished) << "the download did not end in time";
  EXPECT_EQ(w->status(), queue::kStatusCompleted) << w->element().failureReason;
  // Painted at least three times with different figures: the row moved at least twice
  // while the download ran.
  std::set<std::string> distinct(painted.begin(), painted.end());
  EXPECT_GE(distinct.size(), 3u) << ::testing::PrintToString(painted);
}

}  // namespace
