// The main window after the scheduler starts the head of the queue: every row still queued
// is painted again with its new place ("Queued (9th)" becomes "Queued (8th)"), and the
// position column is wide enough for a place of three digits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "app/queue/adding/start_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/shell_timers.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/theme/font.h"
#include "platform/values/date_time.h"

namespace {

class SchedulerOrdinalsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    queue::gActiveDownloads.clear();
    toolbox::Application::Shared();
    ui::InstallMainWindowServices();
    ui::InstallMainList();
  }
  void TearDown() override {
    ui::DisposeMainWindow();
    queue::ClearDisplayedViews();
    ui::UninstallMainList();
    ui::UninstallMainWindowServices();
    queue::FinishQueueFileSaves();
    queue::gQueueRunning = false;
    queue::gActiveDownloads.clear();
    shell::SchedulerActionsSlot::RestoreDefaults();
    shell::ShellHooksSlot::Get() = {};
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  static void Pump() {
    for (int i = 0; i < 5; ++i) toolbox::Application::Shared().ProcessPendingEvents();
    ui::GetMainList()->list().FlushPainting();
  }
};

TEST_F(SchedulerOrdinalsTest, QueuedRowsArePaintedWithTheirNewPlacesAfterATickStartsTheHead) {
  constexpr int kQueued = 120;
  for (int i = 1; i <= kQueued; ++i) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.uid = 8000 + static_cast<std::uint32_t>(i);
    e.filename = "file" + std::to_string(i) + ".zip";
    e.status = queue::kStatusQueued;
    e.urlData = values::Array{values::Value(values::Dictionary{{"url", "http://127.0.0.1:9/" + e.filename}})};
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    queue::gQueueOrder.push_back(e.uid);
  }
  queue::RenumberQueue(0, queue::gQueueOrder.size());
  queue::gQueuedCount = kQueued;

  ui::CreateMainWindow({});
  ASSERT_NE(ui::GetMainWindow(), nullptr);
  // Tall enough that every row is on the screen, so that every row can be painted.
  ui::GetMainWindow()->SizeContent(900, 60 + 20 * (kQueued + 4));
  ui::MainList& list = *ui::GetMainList();
  Pump();

  // What each row's status cell showed when it was last painted.
  std::map<std::uint32_t, std::string> painted;
  list.list().SetCellPaintObserver([&](toolbox::ListItemID id, toolbox::ListPropertyID property) {
    const ui::MainListItem* row = list.Row(id);
    if (property != ui::kColStatus || !row || row->kind != ui::RowKind::kDownload) return;
    const auto& e = row->as<queue::DownloadQueueWrapper>().element();
    painted[e.uid] = ui::DownloadStatusText(e, values::Now());
  });

  shell::SchedulerActionsSlot::Get().startDownload = [](const queue::WrapperRef& w) {
    // What a start does to the queue: the download leaves the queue order.
    queue::RemoveFromQueueOrder(w->element().uid);
    w->setStatus(queue::kStatusDownloading);
    queue::gActiveDownloads.push_back(w->element().uid);
    return 0;
  };
  util::ChangeSettings([](util::Settings& s) { s.queueLength = 1; });
  queue::gQueueRunning = true;
  ASSERT_TRUE(shell::SchedulerTick());
  Pump();
  list.list().SetCellPaintObserver(nullptr);

  struct Case {
    std::uint32_t uid;
    std::string text;
  } cases[] = {{8002, "Queued (1st)"},   {8003, "Queued (2nd)"},  {8004, "Queued (3rd)"},
               {8010, "Queued (9th)"},   {8011, "Queued (10th)"}, {8012, "Queued (11th)"},
               {8013, "Queued (12th)"},  {8022, "Queued (21st)"}, {8102, "Queued (101st)"},
               {8112, "Queued (111th)"}, {8120, "Queued (119th)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uid);
    ASSERT_TRUE(painted.count(c.uid)) << "the row was not painted again";
    EXPECT_EQ(painted[c.uid], c.text);
    // The place itself, in the narrow column before the names, fits its column.
    const toolbox::ListItemID row = list.DownloadRow(c.uid);
    const std::string place = list.list().CellText(row, ui::kColQueuePosition);
    EXPECT_EQ(place, c.text.substr(8, c.text.find_first_not_of("0123456789", 8) - 8));
    const auto rect = list.list().CellRect(row, ui::kColQueuePosition);
    ASSERT_TRUE(rect.has_value());
    // The cell draws its text 3 points in from each side.
    const double needed =
        toolbox::MeasureText(place, toolbox::GetThemeFont(toolbox::ListThemeFont())).width + 6;
    EXPECT_GE(rect->width, needed) << place;
  }
}

}  // namespace
