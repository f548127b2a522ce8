// Remote servers from the main window, end to end against vsftpd over explicit FTPS: a saved
// server connects (its certificate asked about once through the trust panel), its host row
// appears under Remote Servers with lock and eject, selecting the row shows the tree in the
// main list, folders open and the view moves into a folder and back up; a remote file
// downloads through the real queue and engine and a local file uploads into a remote folder
// through the real upload queue, both byte-exact; rename, move and delete change the
// server's own folder; the source list's refresh lists again, and disconnecting takes the
// row while the rows after it are relabelled. A listing cut short is repaired, or dims the
// host row when it cannot be.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "app/browser/favourites/favourites.h"
#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/remote_browser.h"
#include "app/browser/services/favourite_connections_service.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/services/trust_panel.h"
#include "app/engine/task/download_task.h"
#include "app/queue/adding/remote_files.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/download_events.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/upload_startup.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/ui/services/main_list_browser.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/source_list/source_list.h"
#include "app/upload/engine/upload_engine.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/upload_hooks.h"
#include "app/util/text/english_texts.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/fourcc.h"
#include "tests/servers/ftp_test_servers.h"
#include "tests/support/temp_home.h"
#include "tests/support/test_bytes.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(20), true);
  }
  return true;
}

class RecordingTrustPanel : public engine::TrustPanel {
 public:
  Answer RunModal(const net::CertificateChain&, const std::string& message) override {
    asked.push_back(message);
    return {true, false};
  }
  std::vector<std::string> asked;
};

// The name a row of the main list shows.
std::string RowName(const ui::MainListItem& item) {
  if (item.kind == ui::RowKind::kFTPNode) return item.as<browser::FTPNodeRow>().name();
  if (item.kind == ui::RowKind::kDownload) return item.as<queue::DownloadQueueWrapper>().filename();
  return "?";
}

std::set<std::string> RowNames(const ui::MainListItem* container) {
  std::set<std::string> names;
  for (const auto& item : ui::MainListBrowserSlot::Get().Rows(container)) names.insert(RowName(item));
  return names;
}

const browser::FTPItem* Find(const browser::FTPNodeRef& node, const std::string& name) {
  if (!node || !node->items()) return nullptr;
  for (const browser::FTPItem& item : *node->items())
    if (item.name() == name) return &item;
  return nullptr;
}

bool Listed(const browser::FTPNodeRef& node) {
  return node && node->items() && !node->listing() && !node->busy();
}

class RemoteServersWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ok());
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    ui::InstallMainWindowServices();
    ui::InstallMainList();
    ui::CreateMainWindow({});
    ASSERT_NE(ui::GetMainWindow(), nullptr);
    toolbox::Application::Shared().ProcessPendingEvents();
    browser::InstallRemoteBrowser();
    browser::ClearHosts();
    browser::ClearFavourites();
    queue::RemoteFilesServiceSlot::Set(std::make_unique<queue::QueueRemoteFiles>());
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    auto panel = std::make_unique<RecordingTrustPanel>();
    trust = panel.get();
    engine::TrustPanelSlot::Set(std::move(panel));
    engine::InstallDownloadEngine();
    downloadEvents = queue::InstallDownloadEventHandler(*runtime::EventTarget::Application());
    upload::ClearUploadTables();
    uploadEvents = shell::InstallUploads();
    shell::InstallFTPBrowserUploads();
  }
  void TearDown() override {
    for (const auto& item : upload::Uploads().activeUploads) upload::CancelUpload(item);
    RunUntil([] { return upload::RunningUploadTaskCount() == 0 && engine::RunningDownloadTaskCount() == 0; });
    browser::ClearHosts();
    browser::ClearFavourites();
    browser::FTPUploadHooksSlot::Get() = {};
    if (uploadEvents) uploadEvents->Remove();
    if (downloadEvents) downloadEvents->Remove();
    upload::ClearUploadTables();
    upload::UploadHooksSlot::Reset();
    engine::TrustPanelSlot::Set(nullptr);
    engine::LoadAcceptedCertificates(values::Value(), values::Value());
    ui::DisposeMainWindow();
    queue::ClearDisplayedViews();
    ui::UninstallMainList();
    ui::UninstallMainWindowServices();
    browser::RemoteRowsServiceSlot::Set(nullptr);
    queue::RemoteFilesServiceSlot::Set(nullptr);
    queue::gActiveDownloads.clear();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
    runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(0));
  }

  std::string Address() const { return "127.0.0.1:" + std::to_string(server.Port()); }
  std::string OnServer(const std::string& name) const { return server.FilesDir() + "/" + name; }
  ui::CustomList& Sources() { return *ui::GetMainFolderList(); }
  ui::RowRef HostRow(std::uint32_t id) { return Sources().GetRowByIdentifier(id); }
  runtime::Status SendToSourceList(const char (&command)[5]) {
    auto event =
        toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{values::FourCC(command)});
    return ui::FindMainControl(ui::mainwindow::kSourceList)->target()->Send(*event);
  }
  browser::FTPNodeRef Root(std::uint32_t viewID) {
    auto host = browser::RemoteRowsServiceSlot::Get().GetHostForViewID(viewID);
    return host ? browser::FTPNodeForHostID(host->ftpID) : nullptr;
  }
  void Picture(const std::string& name) {
    toolbox::Application::Shared().ProcessPendingEvents();
    const toolbox::Image image = ui::GetMainWindow()->Grab();
    ASSERT_FALSE(image.IsNull());
    if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
      fs::create_directories(keep);
      EXPECT_TRUE(image.SavePng(std::string(keep) + "/" + name + ".png"));
    }
  }

  testservers::VsftpdServer server;
  RecordingTrustPanel* trust = nullptr;
  runtime::HandlerRef downloadEvents;
  runtime::HandlerRef uploadEvents;
};

TEST_F(RemoteServersWindowTest, AnFTPSServerIsBrowsedAndChangedFromTheMainWindow) {
  const std::string payload = testsupport::RandomBytes(256 * 1024 + 5, 3);
  server.PutFile("payload.bin", payload);
  server.PutFile("rename-me.txt", "r");
  server.PutFile("move-me.txt", "m");
  server.PutFile("delete-me.txt", "d");
  server.MakeFolder("inbox");
  server.MakeFolder("sub");
  server.PutFile("sub/inner.txt", "inner");
  // A file of the same name as one at the root: renaming one renames that one.
  server.PutFile("sub/rename-me.txt", "in sub");

  // A saved server, connected as a double click in My Servers does.
  browser::AddFavourite("Work server", Address(), server.User(), server.Password(), browser::kHostFTPS, "");
  ASSERT_TRUE(browser::FavouriteConnectionsServiceSlot::Get().ConnectFavourite("Work server", false));
  browser::FTPNodeRef root = Root(1025);
  ASSERT_TRUE(root);
  ASSERT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
  ASSERT_EQ(trust->asked.size(), 1u) << "the unknown certificate is asked about once";
  EXPECT_TRUE(browser::FavouriteFindByName("Work server")->connected());

  // Its row under Remote Servers: the favourite's name, the lock, the eject button.
  ui::RowRef row = HostRow(1025);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->parentRow, Sources().GetRowByIdentifier(queue::kRemoteServersSectionID).get());
  EXPECT_EQ(row->label, "Work server");
  EXPECT_TRUE(row->secondaryIcon.has_value());
  EXPECT_TRUE(row->buttonIcon.has_value());
  EXPECT_FALSE(row->showProgress());
  EXPECT_EQ(row->state & ui::kRowStateDimmed, 0u);

  // Selecting the row shows the tree: the root, its folders and files beneath it.
  Sources().SelectRow(row);
  toolbox::Application::Shared().ProcessPendingEvents();
  ASSERT_TRUE(queue::IsViewDisplayed(1025));
  // The root is the list's target: its rows are the list's top rows once it is opened, as
  // the list does when it shows an open container.
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  remote.OpenFTPNode(root->Row());
  EXPECT_EQ(RowNames(nullptr), (std::set<std::string>{"payload.bin", "rename-me.txt", "move-me.txt",
                                                      "delete-me.txt", "inbox", "sub"}));

  // A folder row opened lists it; the view moves into it and back up.
  browser::FTPNodeRef sub = Find(root, "sub")->node;
  remote.OpenFTPNode(sub->Row());
  ASSERT_TRUE(RunUntil([&] { return Listed(sub); })) << root->log();
  const ui::MainListItem subItem = sub->Item();
  EXPECT_EQ(RowNames(&subItem), (std::set<std::string>{"inner.txt", "rename-me.txt"}));
  const std::string rootPath = root->path();
  remote.NavigateFTPNode(sub->Row(), "/" + sub->path());
  browser::FTPNodeRef inSub = Root(1025);
  ASSERT_NE(inSub, root);
  ASSERT_TRUE(RunUntil([&] { return Listed(inSub); })) << inSub->log();
  EXPECT_EQ(inSub->path(), rootPath + "/sub");
  EXPECT_EQ(RowNames(nullptr), (std::set<std::string>{"inner.txt", "rename-me.txt"}));
  EXPECT_EQ(HostRow(1025)->label, "Work server");
  remote.NavigateFTPNode(inSub->Row(), "/" + rootPath);
  root = Root(1025);
  ASSERT_TRUE(RunUntil([&] { return Listed(root) && Find(root, "inbox"); })) << root->log();
  EXPECT_EQ(root->path(), rootPath);
  EXPECT_EQ(RowNames(nullptr).count("payload.bin"), 1u);
  Picture("remote-server-tree");

  // A remote file downloaded through the queue and the engine.
  const std::string downloads = testsupport::MakeTempDir("remote-downloads");
  ASSERT_TRUE(remote.DownloadRemoteFileTo(Find(root, "payload.bin")->file->record, downloads));
  ASSERT_EQ(queue::gQueueItems.size(), 1u);
  const queue::WrapperRef download = queue::gQueueItems.begin()->second;
  ASSERT_EQ(queue::StartDownload(download), 0);
  ASSERT_TRUE(RunUntil([&] { return download->status() == queue::kStatusCompleted; }, 30s))
      << "status " << download->status();
  EXPECT_TRUE(testsupport::ReadFile(downloads + "/payload.bin") == payload);

  // A local file dropped onto a remote folder: uploaded into it.
  const std::string local = testsupport::MakeTempDir("remote-uploads") + "/report.bin";
  const std::string report = testsupport::RandomBytes(180 * 1024 + 1, 4);
  testsupport::WriteFile(local, report);
  browser::FTPNodeRef inbox = Find(root, "inbox")->node;
  ASSERT_TRUE(remote.UploadToFTPNode(inbox->Row(), local)) << root->log();
  ASSERT_EQ(upload::Uploads().queueOrder.size() + upload::Uploads().activeUploads.size(), 1u);
  const upload::UploadItemRef item = upload::Uploads().uploadQueue.begin()->second;
  if (!item->controller) {
    ASSERT_TRUE(upload::StartUpload(item));
  }
  ASSERT_TRUE(RunUntil(
      [&] {
        return item->stateValue != upload::kUploadUploading && item->stateValue != upload::kUploadWaiting &&
               !item->controller;
      },
      30s));
  ASSERT_TRUE(fs::exists(OnServer("inbox/report.bin"))) << upload::LogPlainText(item->log);
  EXPECT_TRUE(testsupport::ReadFile(OnServer("inbox/report.bin")) == report);

  // Rename, move and delete, as the list's editing, a drop and the queue's Remove ask.
  browser::FTPNodeRef subAgain = Find(root, "sub")->node;
  remote.OpenFTPNode(subAgain->Row());
  ASSERT_TRUE(RunUntil([&] { return Listed(subAgain) && Find(subAgain, "rename-me.txt"); })) << root->log();
  remote.FTPFileItemRename(Find(subAgain, "rename-me.txt")->file->record, "renamed-in-sub.txt");
  ASSERT_TRUE(RunUntil([&] { return Find(subAgain, "renamed-in-sub.txt") != nullptr; })) << root->log();
  EXPECT_TRUE(fs::exists(OnServer("sub/renamed-in-sub.txt")));
  EXPECT_TRUE(fs::exists(OnServer("rename-me.txt"))) << "the file of that name at the root was renamed";
  EXPECT_TRUE(Find(root, "rename-me.txt"));
  remote.FTPFileItemRename(Find(root, "rename-me.txt")->file->record, "renamed.txt");
  ASSERT_TRUE(RunUntil([&] { return Find(root, "renamed.txt") != nullptr; })) << root->log();
  EXPECT_TRUE(fs::exists(OnServer("renamed.txt")));
  EXPECT_FALSE(fs::exists(OnServer("rename-me.txt")));
  ASSERT_TRUE(remote.MoveFTPItem(Find(root, "move-me.txt")->file->record, false, inbox->Row()));
  ASSERT_TRUE(RunUntil([&] { return !Find(root, "move-me.txt"); })) << root->log();
  EXPECT_TRUE(fs::exists(OnServer("inbox/move-me.txt")));
  ASSERT_TRUE(remote.DeleteRemoteFileOfItem(Find(root, "delete-me.txt")->file->record));
  ASSERT_TRUE(RunUntil([&] { return !Find(root, "delete-me.txt"); })) << root->log();
  EXPECT_FALSE(fs::exists(OnServer("delete-me.txt")));

  // The source list's refresh on the host row lists the server again.
  server.PutFile("arrived-later.txt", "l");
  ASSERT_EQ(SendToSourceList("RFFl"), runtime::kNoErr);
  ASSERT_TRUE(RunUntil([&] { return Root(1025) && Find(Root(1025), "arrived-later.txt"); }))
      << Root(1025)->log();

  // A second server, connected by address: its row comes after the first. Disconnecting the
  // first from its row's eject button relabels row 1025 with the second and drops 1026.
  browser::FTPNodeRef second = browser::ConnectFTPServer(Address() + "/" + rootPath + "/sub", server.User(),
                                                         server.Password(), std::nullopt, false);
  ASSERT_TRUE(second);
  ASSERT_TRUE(RunUntil([&] { return Listed(second); })) << second->log();
  ASSERT_TRUE(HostRow(1026));
  const std::string secondLabel = HostRow(1026)->label;
  EXPECT_FALSE(secondLabel.empty());
  EXPECT_FALSE(HostRow(1026)->secondaryIcon.has_value()) << "plain FTP shows no lock";
  ui::GetSourceList()->ButtonClicked(Sources(), HostRow(1025));
  EXPECT_EQ(browser::GetHostCount(), 1u);
  EXPECT_FALSE(browser::FavouriteFindByName("Work server")->connected());
  ASSERT_TRUE(HostRow(1025));
  EXPECT_EQ(HostRow(1025)->label, secondLabel);
  EXPECT_FALSE(HostRow(1025)->secondaryIcon.has_value());
  EXPECT_FALSE(HostRow(1026));
  // The Disconnect command on the selected row takes the last one.
  Sources().SelectRow(HostRow(1025));
  ASSERT_EQ(SendToSourceList("DcFl"), runtime::kNoErr);
  EXPECT_EQ(browser::GetHostCount(), 0u);
  EXPECT_FALSE(HostRow(1025));

  // Connected again, the favourite is let go from its own row in My Servers: the list's
  // Disconnect command closes the host opened from it.
  ASSERT_TRUE(browser::FavouriteConnectionsServiceSlot::Get().ConnectFavourite("Work server", false));
  ASSERT_TRUE(RunUntil([&] { return Root(1025) && Listed(Root(1025)); }));
  queue::DisplayViews({queue::kMyServersViewID});
  ui::MainList* list = ui::GetMainList();
  std::vector<ui::MainListItem> favourites;
  for (const ui::MainListItem& row : list->Rows(nullptr))
    if (row.kind == ui::RowKind::kFavourite) favourites.push_back(row);
  ASSERT_EQ(favourites.size(), 1u);
  list->SelectRows(favourites);
  toolbox::Control* listArea = ui::FindMainControl(ui::mainwindow::kListArea);
  ASSERT_NE(listArea, nullptr);
  auto disconnect =
      toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{values::FourCC("DFa!")});
  ASSERT_EQ(listArea->target()->Send(*disconnect), runtime::kNoErr);
  EXPECT_EQ(browser::GetHostCount(), 0u);
  EXPECT_FALSE(browser::FavouriteFindByName("Work server")->connected());
}

// A connection that drops in the middle of a listing: repaired, the row stays as it was;
// when every repair drops too, the row is dimmed until the host connects again.
TEST_F(RemoteServersWindowTest, AListingCutShortIsRepairedOrDimsTheHostRow) {
  struct Case {
    const char* script;
    bool dimmed;
    std::set<std::string> names;
  } cases[] = {
      {"list-drop", false, {"folder one", "alpha.bin", "beta.txt", "up", "gamma.txt"}},
      {"list-drop-always", true, {"folder one", "alpha.bin"}},
  };
  for (const Case& c : cases) {
    testservers::ScriptedFtpServer scripted(c.script);
    ASSERT_TRUE(scripted.ok());
    browser::FTPNodeRef root = browser::ConnectFTPServer(
        "127.0.0.1:" + std::to_string(scripted.Port()) + "/pub", "u", "p", std::nullopt, false);
    ASSERT_TRUE(root);
    ASSERT_TRUE(RunUntil([&] { return Listed(root); })) << root->log();
    std::set<std::string> names;
    for (const browser::FTPItem& item : *root->items()) names.insert(item.name());
    EXPECT_EQ(names, c.names) << c.script;
    ASSERT_TRUE(HostRow(1025)) << c.script;
    EXPECT_EQ((HostRow(1025)->state & ui::kRowStateDimmed) != 0, c.dimmed) << c.script;
    EXPECT_FALSE(HostRow(1025)->showProgress()) << c.script;
    // Refresh on the row lists again; a lost connection logs in again first.
    const auto count = [&](const std::string& verb) {
      int n = 0;
      for (const auto& command : scripted.Commands()) n += command.starts_with(verb) ? 1 : 0;
      return n;
    };
    const int logins = count("USER"), listings = count("LIST");
    Sources().SelectRow(HostRow(1025));
    ASSERT_EQ(SendToSourceList("RFFl"), runtime::kNoErr);
    EXPECT_TRUE(RunUntil([&] { return count("LIST") > listings && Listed(Root(1025)); })) << c.script;
    EXPECT_EQ(count("USER") > logins, c.dimmed) << c.script;
    browser::FTPNodeDisconnect(Root(1025));
    EXPECT_FALSE(HostRow(1025)) << c.script;
  }
}

}  // namespace
