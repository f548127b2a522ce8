// "Clear List" from the real main window over My Downloads: with finished files on disk the
// question offers keeping or trashing them, and Cancel leaves everything; the rows leave
// the list (the downloads leave My Downloads) and, when asked, their files go to the Trash
// in one batch. With no file on disk nothing is asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/shell/application_commands.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/application.h"
#include "platform/values/url.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/scripted_confirmations.h"
#include "tests/support/temp_home.h"

namespace {

using values::FourCC;

class ClearListCommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("QT_QPA_PLATFORM", "offscreen", 0); }
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    toolbox::Application::Shared();
    ui::InstallMainWindowServices();
    ui::InstallMainList();
    ui::CreateMainWindow({});
    ASSERT_NE(ui::GetMainWindow(), nullptr);
    dir_ = testsupport::MakeTempDir("clear");
  }
  void TearDown() override {
    ui::DisposeMainWindow();
    queue::ClearDisplayedViews();
    ui::UninstallMainList();
    ui::UninstallMainWindowServices();
    queue::TruvaneUndo::Shared().RemoveAllActions();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  void Add(const std::string& name, bool finished) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.filename = name;
    e.uid = ++uid_;
    e.status = finished ? queue::kStatusCompleted : queue::kStatusQueued;
    if (finished) {
      testsupport::WriteFile(dir_ + "/" + name, "done");
      e.completeURL = values::FileUrlFromPath(dir_ + "/" + name, false);
    }
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
  }
  std::size_t Rows() { return ui::GetMainList()->Rows(nullptr).size(); }

  std::string dir_;
  std::uint32_t uid_ = 9300;
};

TEST_F(ClearListCommandTest, FilesOnDiskAreAskedAboutAndKeptOrTrashed) {
  struct Case {
    const char* name;
    bool withFiles;
    int answer;
    std::vector<std::pair<int, bool>> asked;
    std::size_t rowsLeft;
    std::vector<std::string> trashed;
  } cases[] = {
      {"cancel", true, ui::kConfirmationCancel, {{8, true}}, 3, {}},
      {"keep the files", true, ui::kConfirmationKeepFiles, {{8, true}}, 0, {}},
      {"trash the files", true, ui::kConfirmationMoveToTrash, {{8, true}}, 0, {"a.bin", "b.bin"}},
      {"nothing on disk", false, ui::kConfirmationCancel, {}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    Add("a.bin", c.withFiles);
    Add("b.bin", c.withFiles);
    Add("waiting.bin", false);
    queue::DisplayViews({queue::kMyDownloadsViewID});
    toolbox::Application::Shared().ProcessPendingEvents();
    ASSERT_EQ(Rows(), 3u);

    fakes::ScopedConfirmations confirmations;
    confirmations->answers.push_back(c.answer);
    fakes::ScopedFakeWorkspace workspace;
    shell::ProcessApplicationCommand(FourCC("ClrQ"));
    toolbox::Application::Shared().ProcessPendingEvents();

    EXPECT_EQ(confirmations->asked, c.asked);
    EXPECT_EQ(Rows(), c.rowsLeft);
    std::vector<std::string> trashed;
    for (const auto& recycle : workspace->recycles) {
      EXPECT_EQ(recycle.folder, dir_);
      trashed.insert(trashed.end(), recycle.names.begin(), recycle.names.end());
    }
    std::sort(trashed.begin(), trashed.end());
    EXPECT_EQ(trashed, c.trashed);
    queue::ClearDisplayedViews();
  }
}

}  // namespace
