#pragma once
// A main window made as start-up makes it (services, list, window) over an empty queue, with
// downloads added to My Downloads, for the tests of the window's toolbar and commands.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/queue/adding/start_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/application.h"
#include "platform/values/clock.h"

namespace ui {

// A code from a run-time string of four characters.
inline values::FourCharCode Code(const std::string& s) {
  return values::FourCCFromBytes(static_cast<unsigned char>(s[0]), static_cast<unsigned char>(s[1]),
                                 static_cast<unsigned char>(s[2]), static_cast<unsigned char>(s[3]));
}

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    InstallMainWindowServices();
    InstallMainList();
  }
  void TearDown() override {
    DisposeMainWindow();
    queue::ClearDisplayedViews();
    UninstallMainList();
    UninstallMainWindowServices();
    queue::gActiveDownloads.clear();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  void Create(MainWindowStartState state = {}) {
    CreateMainWindow(state);
    ASSERT_NE(GetMainWindow(), nullptr);
    queue::DisplayViews({queue::kMyDownloadsViewID});
    Pump();
  }
  static void Pump() { toolbox::Application::Shared().ProcessPendingEvents(); }
  queue::WrapperRef Add(const std::string& name, queue::DownloadStatus status, std::int64_t size = 1000) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.filename = name;
    e.status = status;
    e.fileSize = size;
    static std::uint32_t uid = 7000;
    e.uid = ++uid;
    e.urlData =
        values::Array{values::Value(values::Dictionary{{"url", std::string("http://example.org/") + name}})};
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    return w;
  }
  // The names of the downloads the list shows, sorted.
  std::set<std::string> ShownNames() {
    std::set<std::string> names;
    for (const auto& row : GetMainList()->Rows(nullptr))
      if (row.kind == RowKind::kDownload)
        names.insert(row.as<queue::DownloadQueueWrapper>().element().filename);
    return names;
  }
  void Select(const std::vector<queue::WrapperRef>& downloads) {
    std::vector<MainListItem> rows;
    for (const auto& d : downloads) rows.push_back(MakeListItem(RowKind::kDownload, d));
    GetMainList()->SelectRows(rows);
  }
  // Kept under TRUVANE_SCREENSHOT_DIR when set.
  static void Keep(const toolbox::Image& image, const std::string& name) {
    ASSERT_FALSE(image.IsNull()) << name;
    if (const char* dir = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
      std::filesystem::create_directories(dir);
      EXPECT_TRUE(image.SavePng(std::string(dir) + "/" + name + ".png"));
    }
  }
};

}  // namespace ui
