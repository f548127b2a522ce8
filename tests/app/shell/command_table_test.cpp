// The command table against every place a person can choose a command: the menu bar of
// each queue, interface and view, the toolbar, the tray menu, the main list's contextual
// menu for each kind of row (and the empty space of a folder), the source list's menu of
// each kind of row, in both interfaces, and the keys. A code that is handled nowhere and
// not pending fails; a pending code is refused and shown disabled.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/application_commands.h"
#include "app/shell/dock_menu.h"
#include "app/shell/main_menu_bar.h"
#include "app/ui/commands/command_table.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/list_context_menu.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/localize.h"
#include "tests/fakes/fake_list_rows.h"

namespace shell {
namespace {

using ui::MainListItem;
using ui::MakeListItem;
using ui::RowKind;
using values::FourCC;

// Where each code was met, for the failure message.
using Sightings = std::map<values::FourCharCode, std::set<std::string>>;

void Collect(const toolbox::MenuRef& menu, const std::string& where, Sightings& out) {
  if (!menu) return;
  for (const auto& item : menu->items()) {
    if (item.separator) continue;
    if (item.command != 0) out[item.command].insert(where + " > " + item.text);
    if (item.submenu) Collect(item.submenu, where + " > " + item.text, out);
  }
}

queue::WrapperRef Download(queue::DownloadStatus status, std::uint32_t hostID = 0,
                           std::int64_t received = 0) {
  static std::uint32_t uid = 91000;
  auto w = queue::DownloadQueueWrapper::Create();
  auto& e = w->element();
  e.uid = ++uid;
  e.filename = "file.bin";
  e.status = status;
  e.hostID = hostID;
  e.fileSize = 100;
  e.progress = received;
  e.flags = 8;  // direct transfer
  e.domains = {"127.0.0.1"};
  e.urlData = values::Array{values::Value(values::Dictionary{{"url", "http://127.0.0.1/file.bin"}})};
  e.completeFile = values::Bytes{1};
  e.completeURL = values::Url::Create("file:///tmp/file.bin");
  return w;
}

struct FakeDotMacNode : browser::DotMacNodeRow {
  bool directory = false, parent = true;
  bool isDirectory() const override { return directory; }
  bool hasParent() const override { return parent; }
  std::string name() const override { return "node"; }
  std::string iDiskMemberName() const override { return "member"; }
  std::string path() const override { return "/node"; }
  std::optional<std::string> iconExtension() const override { return std::nullopt; }
  std::int64_t contentLength() const override { return 1; }
  std::optional<std::string> kind() const override { return std::nullopt; }
  std::string user() const override { return "u"; }
  std::optional<double> lastModified() const override { return std::nullopt; }
  bool wasOpen() const override { return false; }
  void Rename(const std::string&) override {}
};

struct HostingUpload : fakes::FakeUpload {
  std::int32_t hostType() const override { return 8; }
  std::optional<std::string> localPath() const override { return std::string("/tmp/up.bin"); }
};

template <class Row, class Base>
MainListItem Item(RowKind kind, std::shared_ptr<Row> row) {
  return MakeListItem(kind, std::static_pointer_cast<Base>(std::move(row)));
}

// Each kind of row, alone and in the groups the menu counts together.
std::vector<std::pair<std::string, std::vector<MainListItem>>> Selections() {
  std::vector<std::pair<std::string, std::vector<MainListItem>>> out;
  auto dl = [](queue::DownloadStatus s, std::uint32_t host = 0, std::int64_t got = 0) {
    return MakeListItem(RowKind::kDownload, Download(s, host, got));
  };
  out.push_back({"finished download", {dl(queue::kStatusCompleted, 0, 100)}});
  out.push_back({"queued downloads", {dl(queue::kStatusQueued), dl(queue::kStatusQueued)}});
  out.push_back({"running download", {dl(queue::kStatusDownloading, 0, 10)}});
  out.push_back({"stopped peer item", {dl(queue::kStatusStopped, 3, 10)}});
  out.push_back({"remote listed file", {dl(queue::kStatusStopped, 0x80000001u)}});
  for (std::int32_t state : {upload::kUploadWaiting, upload::kUploadUploading, upload::kUploadFinished}) {
    auto u = std::make_shared<HostingUpload>();
    u->st = state;
    u->size = 100;
    u->sent = 10;
    auto plain = std::make_shared<fakes::FakeUpload>();
    plain->st = state;
    out.push_back({"uploads in state " + std::to_string(state),
                   {Item<HostingUpload, upload::UploadRow>(RowKind::kUpload, u),
                    Item<fakes::FakeUpload, upload::UploadRow>(RowKind::kUpload, plain)}});
  }
  for (std::int32_t status : {1, 2, 3}) {
    auto r = std::make_shared<fakes::FakeReceivedFile>();
    r->st = status;
    r->path = "/tmp/received.bin";
    out.push_back({"received file " + std::to_string(status),
                   {Item<fakes::FakeReceivedFile, sharing::ReceivedFileRow>(RowKind::kReceivedFile, r)}});
  }
  out.push_back({"favourite",
                 {Item<fakes::FakeFavourite, browser::FavouriteRow>(
                     RowKind::kFavourite, std::make_shared<fakes::FakeFavourite>())}});
  for (bool parent : {true, false}) {
    auto n = std::make_shared<fakes::FakeFTPNode>();
    n->parent = parent;
    out.push_back({parent ? "FTP node" : "FTP root",
                   {Item<fakes::FakeFTPNode, browser::FTPNodeRow>(RowKind::kFTPNode, n)}});
  }
  for (bool directory : {true, false}) {
    auto one = std::make_shared<FakeDotMacNode>();
    one->directory = directory;
    auto two = std::make_shared<FakeDotMacNode>();
    two->directory = directory;
    out.push_back({directory ? "WebDAV folders" : "WebDAV files",
                   {Item<FakeDotMacNode, browser::DotMacNodeRow>(RowKind::kDotMacNode, one),
                    Item<FakeDotMacNode, browser::DotMacNodeRow>(RowKind::kDotMacNode, two)}});
    out.push_back({directory ? "WebDAV folder" : "WebDAV file",
                   {Item<FakeDotMacNode, browser::DotMacNodeRow>(RowKind::kDotMacNode, one)}});
  }
  return out;
}

class CommandTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    RegisterApplicationCommands();
    ResetMainMenuBar();
    queue::ClearFolderTable();
    // Folders of each kind, each holding a download, so that their menus show everything.
    auto w = Download(queue::kStatusCompleted, 0, 100);
    queue::QueueItemsSet(w->uid(), w);
    queue::AddElementToFolder(w, queue::kMyDownloadsViewID);
    queue::AddFolder(kUserFolder, "Work");
    queue::AddElementToFolder(w, kUserFolder);
  }
  void TearDown() override {
    ResetMainMenuBar();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
  }

  static constexpr queue::ViewID kUserFolder = 0x100001;

  Sightings EverySighting() {
    Sightings seen;
    const queue::ViewID views[] = {queue::kMyDownloadsViewID,
                                   queue::kHistoryViewID,
                                   queue::kFiltersViewID,
                                   queue::kMyServersViewID,
                                   queue::kMyUploadsViewID,
                                   queue::kReceivedFilesViewID,
                                   1025,
                                   kUserFolder,
                                   0x400001,
                                   200};
    for (bool simple : {true, false}) {
      const std::string mode = simple ? "simple" : "advanced";
      for (queue::ViewID view : views) {
        ResetMainMenuBar();
        BuildMainMenuBarFor(view, simple);
        for (const auto& menu : toolbox::GetMenuBar().menus())
          Collect(menu, mode + " menu bar, view " + std::to_string(view), seen);
        Collect(ui::SourceListContextMenu(view, simple), mode + " source list row " + std::to_string(view),
                seen);
      }
      Collect(BuildDockMenu(simple), mode + " tray menu", seen);
      for (const auto& [name, rows] : Selections()) {
        ui::ListMenuContext context;
        context.advancedMode = !simple;
        context.queueOrderCount = 5;
        context.uploadsWaiting = 3;
        context.sendTo = {upload::SendToMenuItem{}};
        Collect(ui::BuildListContextMenu(rows, nullptr, context), mode + " main list, " + name, seen);
        if (rows.size() == 1)
          Collect(ui::BuildListContextMenu({}, &rows.front(), context), mode + " empty space in " + name,
                  seen);
      }
    }
    for (const auto& item : ui::MainToolbarItemTable())
      if (item.command != 0) seen[item.command].insert(std::string("toolbar ") + item.suffix);
    // Return and Enter start the selection (the window's key handler).
    seen[FourCC("StaD")].insert("Return key");
    return seen;
  }
};

TEST_F(CommandTableTest, EveryReachableCodeIsHandledOrPending) {
  const Sightings seen = EverySighting();
  ASSERT_GT(seen.size(), 60u) << "the menus were not built";
  for (const auto& [code, where] : seen) {
    EXPECT_TRUE(ui::IsCommandHandled(code) || ui::IsCommandPending(code))
        << ui::CommandCodeText(code) << " has no handler and is not pending; met in " << *where.begin();
  }
  EXPECT_TRUE(ui::DuplicateCommandEntries().empty());
}

// No menu item, toolbar label or help names a program or place of the other desktop: this
// one has a file manager and a tray, not a Finder and a Dock.
TEST_F(CommandTableTest, ShownTextsNameThisDesktopsPlaces) {
  std::vector<std::string> shown;
  // The menus' items (a toolbar sighting names the item's identifier, not a text: its label
  // and help come below).
  for (const auto& [code, where] : EverySighting())
    for (const std::string& w : where)
      if (w.rfind("toolbar ", 0) != 0) shown.push_back(w);
  for (const auto& item : ui::MainToolbarItemTable()) {
    shown.push_back(values::Localized(item.label));
    shown.push_back(values::Localized(item.help));
  }
  shown.push_back(ui::CopyItemHelpTag(
      MakeListItem(RowKind::kDownload, Download(queue::kStatusCompleted, 0, 100)), ui::kColFile));
  ASSERT_GT(shown.size(), 100u);
  for (const std::string& text : shown) {
    for (const char* word : {"Finder", "Dock"}) EXPECT_EQ(text.find(word), std::string::npos) << text;
  }
}

TEST_F(CommandTableTest, PendingCommandsNameTheirOwnerAndAreRefusedAndDisabled) {
  int pending = 0;
  for (const ui::CommandEntry& entry : ui::AllCommandEntries()) {
    if (!entry.pending()) {
      EXPECT_EQ(entry.pendingOwner, nullptr) << ui::CommandCodeText(entry.code);
      continue;
    }
    ++pending;
    ASSERT_NE(entry.pendingOwner, nullptr) << ui::CommandCodeText(entry.code);
    EXPECT_FALSE(std::string(entry.pendingOwner).empty()) << ui::CommandCodeText(entry.code);
    EXPECT_EQ(ui::DispatchCommand(entry.scope, entry.code), runtime::kEventNotHandledErr);
    if (ui::IsCommandPending(entry.code)) {
      toolbox::CommandStatus status;
      EXPECT_EQ(UpdateApplicationCommandStatus(entry.code, status), runtime::kNoErr);
      EXPECT_EQ(status.enabled, std::optional<bool>(false)) << ui::CommandCodeText(entry.code);
    }
  }
  EXPECT_GT(pending, 0);
}

TEST_F(CommandTableTest, RangesCoverTheirCodes) {
  // The presets and the tray's item commands are one line each.
  EXPECT_TRUE(ui::IsCommandHandled(FourCC("ZZZ0")));
  EXPECT_TRUE(ui::IsCommandHandled(FourCC("ZZZ=")));
  EXPECT_FALSE(ui::IsCommandHandled(FourCC("ZZZ>")));
  EXPECT_TRUE(ui::IsCommandHandled(kDockFavouriteCommand + 3));
  EXPECT_TRUE(ui::IsCommandHandled(kDockBonjourCommand));
  EXPECT_FALSE(ui::IsCommandHandled(FourCC("Zz!?")));
  EXPECT_EQ(ProcessApplicationCommand(FourCC("Zz!?")), runtime::kEventNotHandledErr);
}

}  // namespace
}  // namespace shell
