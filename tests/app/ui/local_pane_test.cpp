// The local-files pane: the listing of a folder (hidden items left out, folders opened in
// place, links to folders shown as folders), the open folders kept and restored, remote
// items dropped into a folder, and the pane beside a host's list in the main window with
// its path bars and split view.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/browser/services/ftp_upload_hooks.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/local_pane/file_browser.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/ui/services/local_pane_hosts.h"
#include "app/ui/views/path_bar.h"
#include "app/ui/views/split_views.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/fake_list_rows.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

using toolbox::Rect;

void Touch(const std::string& path, const std::string& bytes = "x") {
  std::ofstream(path) << bytes;
}

// a/ with: b.txt, A.zip, .hidden, sub/ (inner.bin, deeper/), link -> sub
std::string MakeTree() {
  const std::string dir = testsupport::MakeTempDir("pane");
  Touch(dir + "/b.txt");
  Touch(dir + "/A.zip", "zip!");
  Touch(dir + "/.hidden");
  std::filesystem::create_directories(dir + "/sub/deeper");
  Touch(dir + "/sub/inner.bin");
  std::filesystem::create_directory_symlink(dir + "/sub", dir + "/link");
  return dir;
}

class FileBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 500, 300};
    window_ = toolbox::Window::Create(desc);
  }
  void TearDown() override {
    browser_.reset();
    window_->Release();
  }
  FileBrowser& Make(const std::optional<std::string>& folder) {
    toolbox::ControlSpec desc;
    desc.id = {toolbox::kApplicationSignature, 1};
    desc.bounds = {0, 0, 500, 300};
    browser_ = std::make_unique<FileBrowser>(*window_, desc, folder);
    return *browser_;
  }
  toolbox::ListItemID Row(FileBrowser& pane, const std::string& name) {
    for (toolbox::ListItemID id : pane.list().Items(0, true))
      if (pane.NodeForItem(id)->name == name) return id;
    return 0;
  }
  toolbox::WindowRef window_;
  std::unique_ptr<FileBrowser> browser_;
};

TEST_F(FileBrowserTest, ListsTheFolderWithoutHiddenItemsAndOpensFoldersInPlace) {
  const std::string dir = MakeTree();
  FileBrowser& pane = Make(dir);
  EXPECT_EQ(pane.GetFolder(), dir);
  EXPECT_EQ(pane.ShownNames(), (std::vector<std::string>{"A.zip", "b.txt", "link", "sub"}));
  struct Case {
    const char* name;
    bool container;
    const char* kind;
    const char* size;
  } cases[] = {
      {"A.zip", false, "ZIP File", "4 bytes"},
      {"sub", true, "Folder", "--"},
      {"link", false, "Alias", "--"},  // a link to a folder: a folder, but not opened in place
  };
  for (const auto& c : cases) {
    const toolbox::ListItemID row = Row(pane, c.name);
    ASSERT_NE(row, 0u) << c.name;
    EXPECT_EQ(pane.list().Cell(row, toolbox::kListPropertyContainer).boolean(), c.container) << c.name;
    EXPECT_EQ(pane.list().CellText(row, kFBColKind), c.kind) << c.name;
    EXPECT_EQ(pane.list().CellText(row, kFBColSize), c.size) << c.name;
  }
  // Opening "sub" shows its items under it; the open folders are kept by name.
  ASSERT_EQ(pane.list().OpenContainer(Row(pane, "sub")), toolbox::kListNoErr);
  EXPECT_EQ(pane.ShownNames(),
            (std::vector<std::string>{"A.zip", "b.txt", "link", "sub", "deeper", "inner.bin"}));
  pane.list().OpenContainer(Row(pane, "deeper"));
  const values::Dictionary open = pane.CopyOpenFolders();
  EXPECT_EQ(open, (values::Dictionary{{"sub", values::Value(values::Dictionary{
                                                  {"deeper", values::Value(values::Dictionary{})}})}}));
  // Another pane on the same folder opens them again.
  FileBrowser& again = Make(dir);
  again.RestoreOpenFolders(open);
  EXPECT_EQ(again.CopyOpenFolders(), open);
  EXPECT_EQ(again.DropFolderForItem(Row(again, "inner.bin")), dir + "/sub");
  EXPECT_EQ(again.DropFolderForItem(Row(again, "link")), dir + "/link");
  EXPECT_EQ(again.DropFolderForItem(0), dir);
}

TEST_F(FileBrowserTest, DoubleClickOnAFolderShowsItAndTellsTheOwner) {
  const std::string dir = MakeTree();
  FileBrowser& pane = Make(dir);
  std::vector<std::string> shown;
  pane.SetFolderChangedHandler([&](const std::string& folder) { shown.push_back(folder); });
  // A file does nothing; a link to a folder shows that folder.
  pane.list().SetSelectedItems({Row(pane, "b.txt")});
  EXPECT_EQ(pane.FirstSelectedItem()->name, "b.txt");
  EXPECT_FALSE(pane.SetFolder(dir + "/b.txt")) << "not a folder";
  EXPECT_FALSE(pane.SetFolder(dir + "/missing"));
  EXPECT_EQ(pane.GetFolder(), dir);
  EXPECT_TRUE(pane.SetFolder(dir + "/link"));
  EXPECT_EQ(shown, std::vector<std::string>{dir + "/link"});
  EXPECT_EQ(pane.ShownNames(), (std::vector<std::string>{"deeper", "inner.bin"}));
}

TEST_F(FileBrowserTest, ColumnOrderWidthsAndSortComeBack) {
  const std::string dir = MakeTree();
  FileBrowser& pane = Make(dir);
  EXPECT_EQ(pane.list().Columns(),
            (std::vector<toolbox::ListPropertyID>{kFBColName, kFBColDate, kFBColKind, kFBColSize}));
  pane.list().MoveColumn(kFBColSize, 1);
  pane.list().SetColumnWidth(kFBColKind, 120);
  pane.list().SetSortProperty(kFBColSize);
  pane.list().SetSortOrder(toolbox::ListSortOrder::kDecreasing);
  const values::Value saved(pane.CopyUserState());
  using V = values::Value;
  const auto N = [](std::int64_t n) { return V(values::Number::Int64(n)); };
  struct Case {
    const char* what;
    V state;
    std::vector<toolbox::ListPropertyID> columns;
    toolbox::ListPropertyID sort;
  } cases[] = {
      {"saved", saved, {kFBColName, kFBColSize, kFBColDate, kFBColKind}, kFBColSize},
      {"not a dictionary", V("columns"), {kFBColName, kFBColDate, kFBColKind, kFBColSize}, kFBColName},
      {"unknown and hidden columns, odd types",
       V(values::Dictionary{{"columns", V(values::Array{N(99), N(kFBColOwner), V("x"), N(kFBColKind)})},
                            {"widths", V("wide")},
                            {"sortColumn", N(kFBColOwner)},
                            {"sortOrder", N(7)}}),
       {kFBColKind, kFBColName, kFBColDate, kFBColSize},
       kFBColName},
  };
  for (const auto& c : cases) {
    FileBrowser& fresh = Make(dir);
    fresh.ApplyUserState(c.state);
    EXPECT_EQ(fresh.list().Columns(), c.columns) << c.what;
    EXPECT_EQ(fresh.list().SortProperty(), c.sort) << c.what;
  }
  FileBrowser& back = Make(dir);
  back.ApplyUserState(saved);
  EXPECT_EQ(back.list().ColumnWidth(kFBColKind), 120);
  EXPECT_EQ(back.list().SortOrder(), toolbox::ListSortOrder::kDecreasing);
}

TEST_F(FileBrowserTest, AFolderOfManyItemsIsReadWhole) {
  const std::string dir = testsupport::MakeTempDir("many");
  for (int i = 0; i < 300; ++i) Touch(dir + "/f" + std::to_string(i));
  FileBrowserNode node;
  node.path = node.resolvedPath = dir;
  FileBrowserNodeLoadChildren(node);
  EXPECT_EQ(node.children.size(), 300u);
}

TEST_F(FileBrowserTest, RemoteItemsDroppedOnAFolderAreDownloadedThere) {
  const std::string dir = MakeTree();
  class Remote : public browser::NoRemoteRows {
   public:
    bool DownloadFTPNodeTo(const std::shared_ptr<browser::FTPNodeRow>& node,
                           const std::string& folder) override {
      into.push_back(folder);
      return node != nullptr;
    }
    std::vector<std::string> into;
  };
  auto remote = std::make_unique<Remote>();
  Remote* r = remote.get();
  browser::RemoteRowsServiceSlot::Set(std::move(remote));
  toolbox::DragItem ftp;
  ftp.flavors[values::FourCC("FTPN")] = "";
  ftp.object = runtime::ObjectHandle::Of(
      std::static_pointer_cast<browser::FTPNodeRow>(std::make_shared<fakes::FakeFTPNode>()));
  toolbox::DragItem file;
  file.flavors[toolbox::kFlavorFileURL] = "file://" + dir + "/b.txt";
  toolbox::Drag local, remoteDrag;
  local.items = {file};
  remoteDrag.items = {file, ftp};
  EXPECT_FALSE(FileBrowserDragHasRemoteItems(local));
  EXPECT_TRUE(FileBrowserDragHasRemoteItems(remoteDrag));
  EXPECT_FALSE(FileBrowserAcceptDrop(local, dir + "/sub")) << "local files are not downloads";
  EXPECT_TRUE(FileBrowserAcceptDrop(remoteDrag, dir + "/sub"));
  EXPECT_EQ(r->into, std::vector<std::string>{dir + "/sub"});
  browser::RemoteRowsServiceSlot::Set(nullptr);
}

class LocalPaneWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    InstallMainWindowServices();
    InstallMainList();
    CreateMainWindow({});
    ASSERT_NE(GetMainWindow(), nullptr);
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  void TearDown() override {
    LocalPaneHostsServiceSlot::Set(nullptr);
    DisposeMainWindow();
    queue::ClearDisplayedViews();
    UninstallMainList();
    UninstallMainWindowServices();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }
  Rect Frame(std::int32_t id) {
    toolbox::Control* c = FindMainControl(id);
    return c ? c->Bounds() : Rect{-1, -1, -1, -1};
  }
  bool Visible(std::int32_t id) {
    toolbox::Control* c = FindMainControl(id);
    return c && c->IsVisible();
  }
  PathBar* LocalBar() {
    toolbox::Control* c = FindMainControl(mainwindow::kLocalPathBar);
    return c ? dynamic_cast<PathBar*>(c->GetView()) : nullptr;
  }
};

TEST_F(LocalPaneWindowTest, ThePaneComesBesideAHostThatUsesSplitPanesAndGoesWithIt) {
  const std::string dir = MakeTree();
  LocalPaneHostsServiceSlot::Set(
      std::make_unique<LocalPaneHostsFunction>([&](std::uint32_t view) -> std::optional<LocalPaneHost> {
        if (view == 1030) return LocalPaneHost{true, dir};
        if (view == 1031) return LocalPaneHost{false, std::nullopt};
        return std::nullopt;
      }));
  const Rect area = Frame(mainwindow::kListArea);
  // A host's list has no filter bar (25 high) and a path bar (20 high) above it.
  const Rect hostArea{area.x, area.y - 25 + 20, area.width, area.height + 25 - 20};
  UpdateBarsForView(1030);
  ASSERT_NE(GetLocalFileBrowser(), nullptr);
  EXPECT_TRUE(Visible(mainwindow::kLocalPane));
  EXPECT_TRUE(Visible(mainwindow::kLocalSplit));
  EXPECT_EQ(GetLocalFileBrowser()->GetFolder(), dir);
  ASSERT_NE(LocalBar(), nullptr);
  EXPECT_EQ(LocalBar()->Components().back(), std::filesystem::path(dir).filename().string());
  // Half of the width each side of the split, both below their path bars.
  const Rect pane = Frame(mainwindow::kLocalPane), list = Frame(mainwindow::kListArea);
  EXPECT_EQ(pane.x, area.x);
  EXPECT_EQ(pane.width, std::trunc(0.5 * (area.width - 4)));
  EXPECT_EQ(list.x, pane.Right() + 4);
  EXPECT_EQ(list.Right(), area.Right());
  EXPECT_EQ(list.y, hostArea.y);
  EXPECT_EQ(pane.y, hostArea.y);
  EXPECT_EQ(Frame(mainwindow::kRemotePathBar).x, list.x);
  EXPECT_EQ(Frame(mainwindow::kLocalPathBar).width, pane.width);

  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    toolbox::Application::Shared().ProcessPendingEvents();
    std::filesystem::create_directories(keep);
    EXPECT_TRUE(GetMainWindow()->Grab().SavePng(std::string(keep) + "/main_window_local_pane.png"));
  }

  // The local path bar's first segment goes to the root folder.
  LocalBar()->SendNavigate(kPathBarIconIndex);
  EXPECT_EQ(GetLocalFileBrowser()->GetFolder(), "/");
  // Shown again for the host: only the folder changes.
  ShowLocalPane(dir + "/sub");
  EXPECT_EQ(GetLocalFileBrowser()->GetFolder(), dir + "/sub");
  EXPECT_EQ(Frame(mainwindow::kLocalPane), pane);

  // A host without split panes, then a list view: the list has its whole area back.
  UpdateBarsForView(1031);
  EXPECT_FALSE(Visible(mainwindow::kLocalPane));
  EXPECT_FALSE(Visible(mainwindow::kLocalSplit));
  EXPECT_EQ(LocalBar(), nullptr);
  EXPECT_EQ(Frame(mainwindow::kListArea), hostArea);
  UpdateBarsForView(1);
  EXPECT_EQ(Frame(mainwindow::kListArea), area);
  EXPECT_EQ(util::SettingsPreferences().CopyUserDefault("splitter_ratio")->AsNumber()->AsDouble(),
            static_cast<float>(pane.width / (area.width - 4)));
  const auto columns = util::SettingsPreferences().CopyUserDefault("browser_db_settings");
  ASSERT_TRUE(columns && columns->AsDictionary()) << "the pane's columns are kept for the next run";
  // And back: one pane, shown again in the same place.
  FileBrowser* first = GetLocalFileBrowser();
  UpdateBarsForView(1030);
  EXPECT_EQ(GetLocalFileBrowser(), first);
  EXPECT_EQ(Frame(mainwindow::kLocalPane), pane);
  EXPECT_EQ(Frame(mainwindow::kListArea), list);
}

TEST_F(LocalPaneWindowTest, TheRemotePathBarGoesToAFolderAndUploadsDropsIntoIt) {
  class OneServer : public browser::NoRemoteRows {
   public:
    OneServer() {
      node->hostName = "files.example.org";
      node->pathName = "pub/sub";
    }
    std::optional<browser::RemoteHost> GetHostForViewID(std::uint32_t id) override {
      if (id != 1030) return std::nullopt;
      browser::RemoteHost host;
      host.hostType = browser::kHostFTP;
      host.ftpID = 9;
      return host;
    }
    std::shared_ptr<browser::FTPNodeRow> FTPNodeForHostID(std::uint32_t id) override {
      return id == 9 ? node : nullptr;
    }
    void NavigateFTPNode(const std::shared_ptr<browser::FTPNodeRow>& n, const std::string& path) override {
      if (n == node) visited.push_back(path);
    }
    std::shared_ptr<fakes::FakeFTPNode> node = std::make_shared<fakes::FakeFTPNode>();
    std::vector<std::string> visited;
  };
  auto owned = std::make_unique<OneServer>();
  OneServer& server = *owned;
  browser::RemoteRowsServiceSlot::Set(std::move(owned));
  std::vector<std::pair<std::string, std::string>> uploads;  // file, remote folder
  browser::FTPUploadHooksSlot::Get().uploadAliasToFTPNode = [&](const std::string& file,
                                                                const browser::FTPUploadTarget& target) {
    EXPECT_EQ(target.host, "files.example.org");
    EXPECT_EQ(target.user, "u");
    uploads.emplace_back(file, target.path);
    return true;
  };
  MainWindowState().currentView = 1030;
  UpdateBarsForView(1030);
  PathBar* bar = GetPathBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->Components(), (std::vector<std::string>{"files.example.org", "pub", "sub"}));
  // The host's segment goes to the server's root; the others to their folder.
  struct Case {
    int segment;
    const char* path;
  } cases[] = {{0, "/"}, {1, "/pub"}, {2, "/pub/sub"}};
  for (const auto& c : cases) {
    bar->SendNavigate(c.segment);
    EXPECT_EQ(server.visited.back(), c.path) << c.segment;
  }
  // Files dropped on a segment are uploaded into that folder; other items are not.
  toolbox::DragItem file, text;
  file.flavors[toolbox::kFlavorFileURL] = "file:///tmp/report%20final.pdf";
  text.flavors[toolbox::kFlavorText] = "just text";
  toolbox::Drag drag;
  drag.items = {text, file};
  const Rect pub = bar->GetSegmentRect(1);
  drag.mouse = {pub.x + pub.width / 2, 10};
  EXPECT_NE(bar->HandleDragEnter(drag), toolbox::kDragActionNone);
  bar->HandleDragWithin(drag);
  EXPECT_TRUE(bar->HandleDrop(drag));
  EXPECT_EQ(uploads, (std::vector<std::pair<std::string, std::string>>{{"/tmp/report final.pdf", "pub"}}));
  toolbox::Drag onlyText;
  onlyText.items = {text};
  EXPECT_EQ(bar->HandleDragEnter(onlyText), toolbox::kDragActionNone);
  browser::FTPUploadHooksSlot::Get().uploadAliasToFTPNode = nullptr;
  browser::RemoteRowsServiceSlot::Set(nullptr);
}

}  // namespace
}  // namespace ui
