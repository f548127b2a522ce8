// The source list's meaning: which rows may be selected together, the views a selection
// shows, folder rows sorted and removed, drags onto rows, and each row's menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/browser/services/favourite_connections_service.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/services/folder_dialog_service.h"
#include "app/ui/services/local_pane_hosts.h"
#include "app/ui/services/row_command_windows.h"
#include "app/ui/sharing_windows/folder_sharing_sheet.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/transfer_log/session_log_window.h"
#include "app/upload/upload_hooks.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/fake_list_rows.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/fakes/scripted_confirmations.h"
#include "tests/fakes/scripted_presenter.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

RowRef R(std::uint32_t id) {
  return std::make_shared<TRCustomListRow>(std::nullopt, "r", id);
}

TEST(SourceSelection, WhichRowsGoTogether) {
  struct Case {
    std::vector<std::uint32_t> rows;
    bool allowed;
  } cases[] = {
      {{}, false},
      {{1}, true},
      {{2}, true},
      {{22}, true},
      {{1, 2}, false},                    // two built-in rows
      {{1, 0x100001, 0x100002}, true},    // My Downloads with folders
      {{0x400001, 200, 0x100001}, true},  // smart, date and user folders
      {{2, 0x100001}, false},             // History with a folder
      {{0x100001, 1030}, false},          // a folder with a server
      {{1030}, true},                     // one server
      {{1030, 1031}, false},              // two servers
      {{1030, 7}, false},                 // a server with a built-in row
      {{100}, false},                     // a section
      {{1, 100, 0x100001}, false},        // a section in the range
      {{4096}, false},                    // outside every range
  };
  for (const auto& c : cases) {
    RowSet set;
    for (auto id : c.rows) set.insert(R(id));
    EXPECT_EQ(SourceSelectionAllowed(set), c.allowed) << ::testing::PrintToString(c.rows);
  }
}

TEST(SourceRows, FolderOrder) {
  queue::ClearFolderTable();
  queue::AddMissingBuiltInFolders();
  queue::AddFolder(0x100001, "beta");
  queue::AddFolder(0x100002, "Alpha");
  queue::AddFolder(0x100003, "shared");
  queue::LookUpFolder(0x100003)->setFlags(queue::kFolderFlagShared);
  const auto row = [](std::uint32_t id, const char* label) {
    return std::make_shared<TRCustomListRow>(std::nullopt, label, id);
  };
  struct Case {
    RowRef a, b;
    int expected;
  } cases[] = {
      {row(201, "Yesterday"), row(200, "Today"), 1},          // date folders by identifier
      {row(203, "z"), row(0x100002, "Alpha"), -1},            // a date folder first
      {row(0x100003, "shared"), row(0x100002, "Alpha"), -1},  // shared before plain
      {row(0x100002, "Alpha"), row(0x100001, "beta"), -1},    // labels without case
      {row(0x100001, "beta"), row(0x100001, "beta"), 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CompareFolderRows(*c.a, *c.b), c.expected) << c.a->label << " " << c.b->label;
  queue::ClearFolderTable();
}

class SourceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    queue::AddFolder(0x100001, "Work");
    queue::AddFolder(0x100002, "Games");
    InstallMainList();
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 220, 400};
    window_ = toolbox::Window::Create(desc);
    toolbox::ControlSpec c;
    c.bounds = {0, 0, 220, 400};
    control_ = CreateCustomListInScrollView(*window_, c);
    list_ = AsCustomList(control_);
    source_ = std::make_unique<SourceList>(*list_);
    source_->InstallCommandHandler(*control_);
    library_ = SourceListCreateLibrarySection();
    searchFor_ = SourceListCreateSearchForSection();
    myFolders_ = SourceListCreateMyFoldersSection();
    list_->SetTopRows({library_, searchFor_, myFolders_});
    list_->SetRowChildren(library_, {SourceListCreateDownloadsRow(), SourceListCreateHistoryRow()});
    SourceListAddFolderRow(*list_, 0x100001);
    SourceListAddFolderRow(*list_, 0x100002);
    SourceListSortFolderRows(*list_);
  }
  void TearDown() override {
    source_.reset();
    window_->Release();
    queue::ClearDisplayedViews();
    UninstallMainList();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  std::vector<std::string> Labels(const RowRef& section) {
    std::vector<std::string> out;
    for (const auto& r : *section->children()) out.push_back(r->label);
    return out;
  }
  std::vector<std::string> MenuTexts(std::uint32_t id, bool simple = false) {
    std::vector<std::string> out;
    const auto menu = SourceListContextMenu(id, simple);
    for (int i : toolbox::VisibleItemIndexes(*menu, 0))
      out.push_back(menu->Item(i)->separator ? "-" : menu->Item(i)->text);
    return out;
  }

  runtime::Status Send(values::FourCharCode command) {
    auto event = toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{command});
    return control_->target()->Send(*event);
  }

  toolbox::WindowRef window_;
  toolbox::Control* control_ = nullptr;
  CustomList* list_ = nullptr;
  std::unique_ptr<SourceList> source_;
  RowRef library_, searchFor_, myFolders_;
};

TEST_F(SourceListTest, FolderRowsAreSortedUnderMyFolders) {
  EXPECT_EQ(Labels(myFolders_), (std::vector<std::string>{"Games", "Work"}));
  EXPECT_EQ(SourceListAddFolderRow(*list_, 0x100077), nullptr) << "no folder, no row";
}

TEST_F(SourceListTest, SelectingRowsShowsTheirViews) {
  list_->SelectRow(list_->GetRowByIdentifier(1));
  EXPECT_EQ(queue::GetDisplayedViewSet(), std::set<queue::ViewID>{1});
  list_->SetSelection({list_->GetRowByIdentifier(1), list_->GetRowByIdentifier(0x100001)});
  EXPECT_EQ(queue::GetDisplayedViewSet(), (std::set<queue::ViewID>{1, 0x100001}));
  // A refused combination leaves the views as they were.
  EXPECT_EQ(list_->SetSelection({list_->GetRowByIdentifier(2), list_->GetRowByIdentifier(0x100001)}), -1);
  EXPECT_EQ(queue::GetDisplayedViewSet(), (std::set<queue::ViewID>{1, 0x100001}));
  list_->SelectRow(list_->GetRowByIdentifier(2));
  EXPECT_EQ(queue::GetDisplayedViewSet(), std::set<queue::ViewID>{2});
}

TEST_F(SourceListTest, RemovingTheOnlySelectedRowSelectsTheRowAbove) {
  // Shown: LIBRARY, My Downloads, History, SEARCH FOR, (date folders...), MY FOLDERS, Games, Work.
  list_->SelectRow(list_->GetRowByIdentifier(0x100001));
  SourceListRemoveRow(*list_, 0x100001);
  EXPECT_EQ(list_->GetSelectedRow()->identifier, 0x100002u);
  // One of several selected: the selection follows the view's own rules only.
  list_->SetSelection({list_->GetRowByIdentifier(1), list_->GetRowByIdentifier(0x100002)});
  SourceListRemoveRow(*list_, 0x100002);
  EXPECT_EQ(list_->GetRowByIdentifier(0x100002), nullptr);
}

TEST_F(SourceListTest, RenamingRenamesTheFolderAndSortsAgain) {
  source_->RenameEnded(*list_, list_->GetRowByIdentifier(0x100001), "Apps");
  EXPECT_EQ(queue::LookUpFolder(0x100001)->name(), "Apps");
  EXPECT_EQ(Labels(myFolders_), (std::vector<std::string>{"Apps", "Games"}));
}

TEST_F(SourceListTest, DragTargets) {
  toolbox::DragItem file;
  file.flavors[toolbox::kFlavorFileURL] = "file:///tmp/a.txt";
  toolbox::DragItem item;
  item.flavors[values::FourCC("QEl_")] = "";
  toolbox::Drag files;
  files.items = {file};
  toolbox::Drag items;
  items.items = {item};
  struct Case {
    std::uint32_t row;
    const toolbox::Drag* drag;
    bool accepted;
  } cases[] = {
      {1, &items, true},        {1, &files, true},         {20, &files, true},        {20, &items, false},
      {0x100001, &items, true}, {0x100001, &files, false}, {0x400001, &items, false}, {200, &items, false},
      {2, &items, false},       {100, &items, false},      {7, &files, false},
  };
  for (const auto& c : cases) EXPECT_EQ(source_->SourceListDragHandler(*c.drag, c.row), c.accepted) << c.row;
}

TEST_F(SourceListTest, DroppingADownloadOnAFolderAddsItThere) {
  auto w = queue::DownloadQueueWrapper::Create();
  w->element().uid = 4242;
  w->element().filename = "x.bin";
  queue::QueueItemsSet(4242, w);
  queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
  toolbox::DragItem item;
  item.flavors[values::FourCC("QEl_")] = "";
  item.object = runtime::ObjectHandle::Of(w);
  toolbox::Drag drag;
  drag.items = {item};
  EXPECT_TRUE(source_->SourceListDropHandler(drag, 0x100001));
  EXPECT_EQ(queue::GetFolderItemCount(0x100001), 1u);
  EXPECT_TRUE(queue::gQueueChanged);
}

TEST_F(SourceListTest, RowMenus) {
  EXPECT_EQ(MenuTexts(2), (std::vector<std::string>{"Hide History", "-", "View Options..."}));
  EXPECT_EQ(MenuTexts(7),
            (std::vector<std::string>{"Connect to Server", "-", "Hide My Servers", "-", "View Options..."}));
  EXPECT_EQ(MenuTexts(1), (std::vector<std::string>{"Add Download...", "Add Files from URL...", "-",
                                                    "Refresh list", "-", "View Options..."}));
  EXPECT_TRUE(MenuTexts(200).empty()) << "date folders have no menu";
  // A user folder in the advanced interface offers the sharing settings; not in the simple one.
  EXPECT_EQ(MenuTexts(0x100001),
            (std::vector<std::string>{"Rename", "Remove...", "-", "Sharing Settings..."}));
  EXPECT_EQ(MenuTexts(0x100001, true), (std::vector<std::string>{"Rename", "Remove..."}));
  // Option shows the plain form of a pair.
  const auto menu = SourceListContextMenu(0x100001, false);
  const auto option = toolbox::VisibleItemIndexes(*menu, toolbox::kModifierOption);
  EXPECT_EQ(menu->Item(option[1])->text, "Remove");
}

TEST_F(SourceListTest, RemoveAllFromAFolderWithoutFilesAsksNothing) {
  auto w = queue::DownloadQueueWrapper::Create();
  w->element().uid = 77;
  queue::QueueItemsSet(77, w);
  queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
  queue::AddElementToListableFolder(0x100001, w);
  fakes::ScopedConfirmations confirmations;
  list_->SelectRow(list_->GetRowByIdentifier(0x100001));
  auto event =
      toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{values::FourCC("ClrE")});
  EXPECT_EQ(control_->target()->Send(*event), runtime::kNoErr);
  EXPECT_EQ(queue::GetFolderItemCount(0x100001), 0u);
  EXPECT_TRUE(confirmations->asked.empty());
  EXPECT_NE(queue::LookUpDownloadWrapper(77), nullptr) << "the download stays in the library";
}

TEST_F(SourceListTest, PasteIsEnabledByTextOnTheClipboard) {
  auto event =
      toolbox::MakeCommandEvent(toolbox::kEventCommandUpdateStatus, toolbox::Command{values::FourCC("past")});
  toolbox::SetClipboardText("http://example.org/a");
  EXPECT_EQ(control_->target()->Send(*event), runtime::kNoErr);
  EXPECT_EQ(event->Get<bool>(toolbox::kParamCommandEnabled), true);
  // Other commands go on to the window.
  auto other =
      toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{values::FourCC("RenF")});
  EXPECT_EQ(control_->target()->Send(*other), runtime::kEventNotHandledErr);
}

// One FTPS server behind view 1030.
class OneFTPServer : public browser::NoRemoteRows {
 public:
  OneFTPServer() {
    node->nodeName = "files.example.org";
    node->hostName = "files.example.org";
  }
  std::optional<browser::RemoteHost> GetHostForViewID(std::uint32_t id) override {
    if (id != 1030) return std::nullopt;
    browser::RemoteHost h;
    h.hostType = browser::kHostFTPS;
    h.ftpID = 9;
    return h;
  }
  std::shared_ptr<browser::FTPNodeRow> FTPNodeForHostID(std::uint32_t id) override {
    return id == 9 ? node : nullptr;
  }
  std::string FTPNodeLog(const std::shared_ptr<browser::FTPNodeRow>& n) override {
    return n == node ? "220 ready\rUSER u\r331 password\r" : "";
  }
  bool UploadToFTPNode(const std::shared_ptr<browser::FTPNodeRow>& folder, const std::string& path) override {
    uploads.emplace_back(folder.get(), path);
    return true;
  }
  bool DownloadFTPNodeTo(const std::shared_ptr<browser::FTPNodeRow>& n, const std::string& folder) override {
    downloads.emplace_back(n.get(), folder);
    return true;
  }
  std::shared_ptr<fakes::FakeFTPNode> node = std::make_shared<fakes::FakeFTPNode>();
  std::vector<std::pair<const void*, std::string>> uploads, downloads;
};

class ServerRowTest : public SourceListTest {
 protected:
  void SetUp() override {
    SourceListTest::SetUp();
    browser::RemoteRowsServiceSlot::Set(std::make_unique<OneFTPServer>());
    remote_ = SourceListCreateRemoteServersSection();
    list_->SetTopRows({library_, remote_, searchFor_, myFolders_});
  }
  void TearDown() override {
    browser::RemoteRowsServiceSlot::Set(nullptr);
    SourceListTest::TearDown();
  }
  RowRef remote_;
};

TEST_F(ServerRowTest, AConnectedServerHasItsNameLockAndEjectButton) {
  const RowRef row =
      SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->label, "files.example.org");
  EXPECT_TRUE(row->secondaryIcon.has_value());
  EXPECT_TRUE(row->buttonIcon.has_value());
  EXPECT_EQ(list_->GetRowByIdentifier(1030), row);
  EXPECT_EQ(row->parentRow, remote_.get());
  // Without its connection the row has no label and no eject button.
  static_cast<OneFTPServer&>(browser::RemoteRowsServiceSlot::Get()).node = nullptr;
  browser::RemoteHost gone;
  gone.hostType = browser::kHostFTP;
  gone.ftpID = 9;
  const RowRef bare = SourceListAddHostRow(*list_, gone, 1031);
  EXPECT_EQ(bare->label, "");
  EXPECT_FALSE(bare->buttonIcon.has_value());
}

TEST_F(ServerRowTest, SensitiveServersNeverTwice) {
  SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  list_->SelectRow(list_->GetRowByIdentifier(1030));
  const auto add = values::FourCCFromBytes('S', 'S', 'b', 0xBF);
  const auto remove = values::FourCCFromBytes('S', 'S', 'R', 0xBF);
  const auto count = [] {
    const auto& rules = util::CurrentSettings()->blackList;
    return std::count(rules.begin(), rules.end(), "files.example.org");
  };
  EXPECT_EQ(count(), 0);
  Send(add);
  Send(add);
  EXPECT_EQ(count(), 1);
  const auto menu = SourceListContextMenu(1030, false);
  EXPECT_GT(menu->IndexOfCommand(remove), 0) << "the menu offers the removal now";
  Send(remove);
  EXPECT_EQ(count(), 0);
}

TEST_F(ServerRowTest, HoveringADragOverAServerSpringsItOpenAndEndingTheDragRestores) {
  SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  list_->SelectRow(list_->GetRowByIdentifier(1));
  const std::set<queue::ViewID> before = queue::GetDisplayedViewSet();
  toolbox::DragItem file;
  file.flavors[toolbox::kFlavorFileURL] = "file:///tmp/a.txt";
  toolbox::Drag drag;
  drag.items = {file};
  EXPECT_TRUE(source_->SourceListDragHandler(drag, 1030));
  EXPECT_EQ(queue::GetDisplayedViewSet(), before) << "not before the delay";
  // The spring timer fires on the main run loop after 0.6 s.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (queue::GetDisplayedViewSet() == before && std::chrono::steady_clock::now() < deadline) {
    toolbox::Application::Shared().ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(queue::GetDisplayedViewSet(), std::set<queue::ViewID>{1030});
  EXPECT_TRUE(list_->GetRowByIdentifier(1030)->state & kRowStateBlinkMask);
  EXPECT_EQ(list_->GetSelectedRow()->identifier, 1u) << "the selection stays";
  source_->SourceListEndDrag();
  EXPECT_EQ(queue::GetDisplayedViewSet(), before);
}

// ---- row commands ----

TEST_F(SourceListTest, SmartFolderSavedSearchIsMadeRevealedAndForgottenWhenGone) {
  fakes::ScopedScriptedPresenter presenter;
  fakes::ScopedFakeWorkspace workspace;
  const auto folder = queue::TRSmartFolder::addSmartFolderToListWithName(
      "Zips", 0x40000A, queue::TRSearchPredicate::WithStringOfTypes("zip", queue::kOpTypeIn));
  SourceListAddFolderRow(*list_, 0x40000A);
  list_->SelectRow(list_->GetRowByIdentifier(0x40000A));
  const auto lastItem = [&] { return MenuTexts(0x40000A).back(); };
  EXPECT_EQ(lastItem(), "Save as Search File...");

  const std::string dir = testsupport::MakeTempDir("savedsearch");
  const std::string file = dir + "/Zips.savedSearch";
  presenter->put_file_answers.push_back(file);
  EXPECT_EQ(Send(values::FourCC("CrSF")), runtime::kNoErr);
  ASSERT_EQ(presenter->put_file_requests.size(), 1u);
  EXPECT_EQ(presenter->put_file_requests[0].file_name, "Zips.savedSearch");
  EXPECT_EQ(presenter->put_file_requests[0].message, "Specify a name and location for your smart folder");
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(lastItem(), "Show in Folder");

  EXPECT_EQ(Send(values::FourCC("RFin")), runtime::kNoErr);
  EXPECT_EQ(workspace->opened, std::vector<std::string>{file});

  // Gone from disk: the menu offers to make it again and the folder forgets it.
  std::filesystem::remove(file);
  EXPECT_EQ(lastItem(), "Save as Search File...");
  EXPECT_FALSE(folder->savedSearchAlias().has_value());
  // Cancelling the dialog writes nothing.
  presenter->put_file_answers.push_back(std::nullopt);
  Send(values::FourCC("CrSF"));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(workspace->opened.size(), 1u) << "nothing more was opened";
}

TEST_F(SourceListTest, SharingCommandsOpenTheSharingWindows) {
  std::vector<int> panes;
  RowCommandWindowHooksSlot::Get().showPreferencesWindow = [&](int pane) { panes.push_back(pane); };
  queue::LookUpFolder(0x100002)->setFlags(queue::kFolderFlagShared);
  list_->SetSelection({list_->GetRowByIdentifier(0x100001), list_->GetRowByIdentifier(0x100002)});
  EXPECT_EQ(Send(values::FourCC("Shar")), runtime::kNoErr);
  // The folder-sharing sheets opened, by the folder each is for.
  std::vector<std::pair<std::int64_t, std::string>> sheets;
  for (const auto& w : toolbox::Window::AllWindows()) {
    const values::Value* uid =
        w->IsReleased() ? nullptr : w->Property(toolbox::kApplicationSignature, kFolderSharingUIDProperty);
    if (!uid || !uid->AsNumber()) continue;
    sheets.emplace_back(uid->AsNumber()->AsInt64(),
                        w->FindControl(toolbox::kApplicationSignature, kFolderSharingTitleID)->Text());
    w->ProcessCommand(toolbox::kCommandCancel);
  }
  EXPECT_EQ(sheets, (std::vector<std::pair<std::int64_t, std::string>>{
                        {0x100001, "Users who can see and download from \"Work\":"}}))
      << "a shared folder is not offered again";
  EXPECT_EQ(Send(values::FourCC("ShrS")), runtime::kNoErr);
  EXPECT_EQ(panes, std::vector<int>{8});
  RowCommandWindowHooksSlot::Get() = {};
}

TEST_F(SourceListTest, FilesDroppedOnMyUploadsGoToTheSendFilesWindow) {
  const std::string dir = testsupport::MakeTempDir("send");
  for (const char* name : {"a.txt", "b c.txt"}) std::ofstream(dir + "/" + name) << "x";
  std::vector<std::string> opened;
  upload::UploadHooksSlot::Get().openSendFilesWindow = [&](const std::vector<std::string>& paths) {
    opened = paths;
  };
  toolbox::Drag drag;
  for (const char* url : {"file:///nowhere-but-a-url", "http://example.org/not-a-file"}) {
    toolbox::DragItem item;
    item.flavors[toolbox::kFlavorFileURL] = url;
    drag.items.push_back(item);
  }
  for (const char* name : {"a.txt", "b%20c.txt"}) {
    toolbox::DragItem item;
    item.flavors[toolbox::kFlavorFileURL] = "file://" + dir + "/" + name;
    drag.items.push_back(item);
  }
  drag.items.push_back(toolbox::DragItem{});  // no file URL: skipped
  EXPECT_TRUE(source_->SourceListDropHandler(drag, queue::kMyUploadsViewID));
  EXPECT_EQ(opened, (std::vector<std::string>{"/nowhere-but-a-url", dir + "/a.txt", dir + "/b c.txt"}));
  // Nothing to send: the window stays shut.
  opened.clear();
  toolbox::Drag none;
  none.items.push_back(toolbox::DragItem{});
  source_->SourceListDropHandler(none, queue::kMyUploadsViewID);
  EXPECT_TRUE(opened.empty());
  upload::UploadHooksSlot::Get().openSendFilesWindow = nullptr;
}

TEST_F(ServerRowTest, SessionLogOfTheSelectedFTPServer) {
  SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  list_->SelectRow(list_->GetRowByIdentifier(1030));
  EXPECT_EQ(Send(values::FourCC("SL*g")), runtime::kNoErr);
  toolbox::Window* log = FindSessionLogWindow("files.example.org");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->Title(), "files.example.org");
  EXPECT_EQ(log->FindControl(toolbox::kApplicationSignature, kSessionLogTextID)->Text(),
            "220 ready\nUSER u\n331 password\n");
  // Asked again: the same window.
  Send(values::FourCC("SL*g"));
  EXPECT_EQ(FindSessionLogWindow("files.example.org"), log);
  CloseSessionLogWindows();
}

TEST_F(ServerRowTest, AddToMyServersMakesAFavouriteOfTheConnection) {
  browser::FavouriteConnectionsServiceSlot::Set(std::make_unique<browser::InMemoryFavouriteConnections>());
  SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  list_->SelectRow(list_->GetRowByIdentifier(1030));
  auto& server = static_cast<OneFTPServer&>(browser::RemoteRowsServiceSlot::Get());
  const auto addToMyServers = values::FourCCFromBytes('A', 'M', 'y', 0xC4);
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"/pub/files", "ftps://files.example.org/pub/files"},
      {"pub", "ftps://files.example.org/pub"},
      {"pub", "ftps://files.example.org/pub 1"},  // the same address again: a new name
  };
  for (const auto& c : cases) {
    server.node->pathName = c.path;
    EXPECT_EQ(Send(addToMyServers), runtime::kNoErr);
    const auto favourite = browser::FavouriteConnectionsServiceSlot::Get().FindFavourite(c.name);
    ASSERT_TRUE(favourite.has_value()) << c.name;
    EXPECT_EQ(favourite->hostType, browser::kHostFTPS);
    EXPECT_EQ(favourite->user, "u");
    EXPECT_TRUE(favourite->connected);
  }
  browser::FavouriteConnectionsServiceSlot::Set(nullptr);
}

TEST_F(ServerRowTest, DropsOnServerRowsAndRemoteFoldersOnMyDownloads) {
  auto& server = static_cast<OneFTPServer&>(browser::RemoteRowsServiceSlot::Get());
  SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  const std::string dir = testsupport::MakeTempDir("drop");
  std::ofstream(dir + "/up.bin") << "x";
  std::filesystem::create_directory(dir + "/folder");
  toolbox::Drag files;
  for (const char* name : {"up.bin", "folder"}) {
    toolbox::DragItem item;
    item.flavors[toolbox::kFlavorFileURL] = "file://" + dir + "/" + name;
    files.items.push_back(item);
  }
  EXPECT_TRUE(source_->SourceListDropHandler(files, 1030));
  EXPECT_EQ(server.uploads,
            (std::vector<std::pair<const void*, std::string>>{{server.node.get(), dir + "/up.bin"}}))
      << "files are sent to the server's folder; folders are not";

  // FTP folders dropped on My Downloads go into the download folder; a cancelled choice
  // stops the drop.
  const auto remoteFolder = std::make_shared<fakes::FakeFTPNode>();
  toolbox::DragItem node;
  node.flavors[values::FourCC("FTPN")] = "";
  node.object = runtime::ObjectHandle::Of(std::static_pointer_cast<browser::FTPNodeRow>(remoteFolder));
  toolbox::Drag nodes;
  nodes.items = {node, node};
  EXPECT_TRUE(source_->SourceListDragHandler(nodes, queue::kMyDownloadsViewID));
  EXPECT_TRUE(source_->SourceListDropHandler(nodes, queue::kMyDownloadsViewID));
  files::FileRef defaultFolder;
  util::GetDefaultDownloadFolder(defaultFolder);
  EXPECT_EQ(server.downloads,
            (std::vector<std::pair<const void*, std::string>>{{remoteFolder.get(), defaultFolder.Path()},
                                                              {remoteFolder.get(), defaultFolder.Path()}}));
  class Cancelled : public FolderDialogService {
   public:
    ChooseFolderAnswer ChooseFolder(const std::string&, values::FourCharCode) override {
      ++asked;
      return {ChooseFolderAnswer::Kind::kCancelled, {}};
    }
    int asked = 0;
  };
  auto dialog = std::make_unique<Cancelled>();
  Cancelled* cancelled = dialog.get();
  FolderDialogServiceSlot::Set(std::move(dialog));
  util::SetPreferenceValue("downloadMode", values::Value(values::Number::Int64(2)));
  server.downloads.clear();
  source_->SourceListDropHandler(nodes, queue::kMyDownloadsViewID);
  EXPECT_TRUE(server.downloads.empty());
  EXPECT_EQ(cancelled->asked, 1) << "asked once for the whole drop";
  util::SetPreferenceValue("downloadMode", values::Value(values::Number::Int64(0)));
  FolderDialogServiceSlot::Set(nullptr);
}

TEST_F(ServerRowTest, TheViewItemOffersTheOtherLayout) {
  for (bool split : {true, false}) {
    LocalPaneHostsServiceSlot::Set(std::make_unique<LocalPaneHostsFunction>([split](std::uint32_t) {
      return std::optional<LocalPaneHost>(LocalPaneHost{split, std::nullopt});
    }));
    const auto menu = SourceListContextMenu(1030, false);
    const int item = menu->IndexOfCommand(values::FourCC(split ? "ViAl" : "VSpl"));
    ASSERT_GT(item, 0) << split;
    EXPECT_EQ(menu->Item(item)->text, split ? "View as List" : "View in Split Pane");
  }
  LocalPaneHostsServiceSlot::Set(nullptr);
}

// A peer's favourite has no editor yet: its row offers "Edit..." disabled rather than an
// item that opens nothing; without a favourite the row offers to make one.
TEST_F(ServerRowTest, APeerFavouritesEditItemIsDisabledUntilItsSheetExists) {
  class PeerServer : public OneFTPServer {
   public:
    std::optional<browser::RemoteHost> GetHostForViewID(std::uint32_t id) override {
      if (id != 1031) return OneFTPServer::GetHostForViewID(id);
      browser::RemoteHost h;
      h.hostType = browser::kHostPeerByAddress;
      h.peerID = 4;
      return h;
    }
    bool HasFavouriteNamed(const std::string& name) override { return name == "Office"; }
  };
  class OnePeer : public sharing::NoPeerHostsService {
   public:
    explicit OnePeer(std::optional<std::string> favourite) : favourite_(std::move(favourite)) {}
    std::optional<sharing::PeerHost> CopyPeerHost(std::uint32_t id) override {
      if (id != 4) return std::nullopt;
      sharing::PeerHost p;
      p.hostID = 4;
      p.favouriteName = favourite_;
      return p;
    }
    std::optional<std::string> favourite_;
  };
  browser::RemoteRowsServiceSlot::Set(std::make_unique<PeerServer>());
  const auto kAdd = values::FourCCFromBytes('A', 'M', 'y', 0xC4);
  const struct {
    std::optional<std::string> favourite;
    bool offersEdit;
  } cases[] = {{"Office", true}, {std::nullopt, false}, {"Gone", false}};
  for (const auto& c : cases) {
    sharing::PeerHostsServiceSlot::Set(std::make_unique<OnePeer>(c.favourite));
    const auto menu = SourceListContextMenu(1031, false);
    const int edit = menu->IndexOfCommand(values::FourCC("Edit"));
    EXPECT_EQ(edit > 0, c.offersEdit) << c.favourite.value_or("none");
    if (edit > 0) {
      EXPECT_EQ(menu->Item(edit)->text, "Edit...");
      EXPECT_FALSE(menu->IsItemEnabled(edit)) << "nothing would open";
    }
    EXPECT_EQ(menu->IndexOfCommand(kAdd) > 0, !c.offersEdit) << c.favourite.value_or("none");
  }
  sharing::PeerHostsServiceSlot::Set(nullptr);
}

TEST_F(ServerRowTest, PictureOfTheSourceListAndItsMenus) {
  queue::TRSmartFolder::addSmartFolderToListWithName(
      "Zips", 0x40000A, queue::TRSearchPredicate::WithStringOfTypes("zip", queue::kOpTypeIn));
  SourceListAddFolderRow(*list_, 0x40000A);
  SourceListAddHostRow(*list_, *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  list_->SelectRow(list_->GetRowByIdentifier(0x100001));
  toolbox::Application::Shared().ProcessPendingEvents();
  const toolbox::Image list = window_->Grab();
  ASSERT_FALSE(list.IsNull());
  const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR");
  if (keep) {
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(list.SavePng(std::string(keep) + "/source_list.png"));
  }
  for (std::uint32_t id : {1u, 1030u, 0x40000Au, 0x100001u}) {
    const toolbox::Image menu = toolbox::RenderMenu(SourceListContextMenu(id, false));
    ASSERT_FALSE(menu.IsNull()) << id;
    EXPECT_GT(menu.height(), 40) << id;
    if (keep) {
      EXPECT_TRUE(menu.SavePng(std::string(keep) + "/source_list_menu_" + std::to_string(id) + ".png"));
    }
  }
}

}  // namespace
}  // namespace ui
