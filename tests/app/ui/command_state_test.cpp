// Which commands and toolbar items the selection and the views on screen enable: the rules
// as a table over row kinds, the menu-scoped rules, and the update pass that carries them
// to a menu and the toolbar of a real window.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/ui/main_window/command_state.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/fake_list_rows.h"

namespace ui {
namespace {

using values::FourCC;

struct FakeDotMacNode : browser::DotMacNodeRow {
  bool parent = true;
  bool isDirectory() const override { return false; }
  bool hasParent() const override { return parent; }
  std::string name() const override { return "n"; }
  std::string iDiskMemberName() const override { return "m"; }
  std::string path() const override { return "/n"; }
  std::optional<std::string> iconExtension() const override { return std::nullopt; }
  std::int64_t contentLength() const override { return 5; }
  std::optional<std::string> kind() const override { return std::nullopt; }
  std::string user() const override { return "u"; }
  std::optional<double> lastModified() const override { return std::nullopt; }
  bool wasOpen() const override { return false; }
  void Rename(const std::string&) override {}
};

MainListItem Download(queue::DownloadStatus status, bool withFile = false, std::uint32_t host = 0) {
  auto w = queue::DownloadQueueWrapper::Create();
  w->element().status = status;
  w->element().hostID = host;
  if (withFile) w->element().completeFile = values::Bytes{1, 2, 3};
  return MakeListItem(RowKind::kDownload, w);
}
MainListItem Upload(std::int32_t state) {
  auto u = std::make_shared<fakes::FakeUpload>();
  u->st = state;
  return MakeListItem(RowKind::kUpload, u);
}
MainListItem Received(std::int32_t status) {
  auto r = std::make_shared<fakes::FakeReceivedFile>();
  r->st = status;
  return MakeListItem(RowKind::kReceivedFile, r);
}
MainListItem FTPNode(bool parent) {
  auto n = std::make_shared<fakes::FakeFTPNode>();
  n->parent = parent;
  return MakeListItem(RowKind::kFTPNode, n);
}
MainListItem WebDAVNode(bool parent) {
  auto n = std::make_shared<FakeDotMacNode>();
  n->parent = parent;
  return MakeListItem(RowKind::kDotMacNode, n);
}
MainListItem Favourite() {
  return MakeListItem(RowKind::kFavourite, std::make_shared<fakes::FakeFavourite>());
}

// The commands and items a case checks; those named in `on` must be enabled, the others off.
const char* const kCommands[] = {"Edit", "StoD", "Remo", "StaD", "HolD", "QDow", "RFin", "Vdet", "copy"};
const char* const kItems[] = {"AddItem",  "Upload",   "RevealInFinder", "TransferLog",
                              "EditItem", "StopItem", "RemoveItem",     "Download"};

struct Case {
  const char* name;
  std::vector<MainListItem> rows;
  CommandContext context;
  std::set<std::string> on;
};

CommandContext Local() {
  return CommandContext{};
}
CommandContext Remote() {
  CommandContext c;
  c.remoteHostDisplayed = true;
  return c;
}
CommandContext Filters() {
  CommandContext c;
  c.filtersViewDisplayed = true;
  return c;
}
// Uploads and favourites as they are enabled once their editors exist.
CommandContext WithEditors() {
  CommandContext c;
  c.uploadEditorBuilt = true;
  c.favouriteEditorBuilt = true;
  return c;
}
CommandContext Simple() {
  CommandContext c;
  c.advancedMode = false;
  return c;
}

TEST(CommandStateTest, SelectionKindsEnableTheirCommands) {
  const Case cases[] = {
      {"nothing selected", {}, Local(), {"AddItem", "Upload"}},
      {"queued download with its file",
       {Download(queue::kStatusQueued, true)},
       Local(),
       {"Edit", "Remo", "StaD", "HolD", "RFin", "Vdet", "copy", "AddItem", "Upload", "RevealInFinder",
        "TransferLog", "EditItem", "RemoveItem", "Download"}},
      {"downloading without a file yet",
       {Download(queue::kStatusDownloading)},
       Local(),
       {"StoD", "Vdet", "copy", "AddItem", "Upload", "TransferLog", "StopItem"}},
      {"stopped download",
       {Download(queue::kStatusStopped)},
       Local(),
       {"Edit", "Remo", "StaD", "HolD", "QDow", "Vdet", "copy", "AddItem", "Upload", "TransferLog",
        "EditItem", "RemoveItem", "Download"}},
      {"a peer's download is not edited",
       {Download(queue::kStatusStopped, false, 5)},
       Local(),
       {"Remo", "StaD", "HolD", "QDow", "Vdet", "copy", "AddItem", "Upload", "TransferLog", "RemoveItem",
        "Download"}},
      {"uploading upload: stop, not edit or remove",
       {Upload(upload::kUploadUploading)},
       Local(),
       {"StoD", "RFin", "Vdet", "AddItem", "Upload", "RevealInFinder", "TransferLog", "StopItem"}},
      {"waiting upload",
       {Upload(upload::kUploadWaiting)},
       WithEditors(),
       {"Edit", "Remo", "StaD", "HolD", "QDow", "RFin", "Vdet", "AddItem", "Upload", "RevealInFinder",
        "TransferLog", "EditItem", "RemoveItem", "Download"}},
      {"waiting upload without the upload editor: not edited",
       {Upload(upload::kUploadWaiting)},
       Local(),
       {"Remo", "StaD", "HolD", "QDow", "RFin", "Vdet", "AddItem", "Upload", "RevealInFinder", "TransferLog",
        "RemoveItem", "Download"}},
      {"received file still arriving", {Received(3)}, Local(), {"StoD", "AddItem", "Upload", "StopItem"}},
      {"received file",
       {Received(1)},
       Local(),
       {"Remo", "RFin", "Vdet", "AddItem", "Upload", "RevealInFinder", "TransferLog", "RemoveItem"}},
      {"remote host shown: add, upload, reveal and log off whatever is selected",
       {Download(queue::kStatusQueued, true)},
       Remote(),
       {"Edit", "StaD", "HolD", "copy", "EditItem", "Download"}},
      {"remote FTP file", {FTPNode(true)}, Remote(), {"Remo", "StaD", "QDow", "RemoveItem", "Download"}},
      {"remote FTP root", {FTPNode(false)}, Remote(), {"StaD", "QDow", "Download"}},
      {"WebDAV file", {WebDAVNode(true)}, Remote(), {"Remo", "StaD", "QDow", "RemoveItem", "Download"}},
      {"WebDAV root", {WebDAVNode(false)}, Remote(), {"QDow"}},
      {"favourite", {Favourite()}, WithEditors(), {"Remo", "AddItem", "Upload", "EditItem", "RemoveItem"}},
      {"favourite without its sheet: not edited",
       {Favourite()},
       Local(),
       {"Remo", "AddItem", "Upload", "RemoveItem"}},
      {"Filters view: nothing is removed",
       {Download(queue::kStatusStopped)},
       Filters(),
       {"Edit", "StaD", "HolD", "QDow", "Vdet", "copy", "AddItem", "Upload", "TransferLog", "EditItem",
        "Download"}},
      {"simple interface has no upload item", {}, Simple(), {"AddItem"}},
  };
  for (const Case& c : cases) {
    const CommandEnabling e = ComputeCommandEnabling(SummarizeSelection(c.rows), c.context);
    for (const char* command : kCommands) {
      const std::int16_t menu = std::string(command) == "Remo" ? kQueueMenuID : 0;
      EXPECT_EQ(e.Lookup(Code(command), menu, 1), c.on.count(command) == 1) << c.name << ": " << command;
    }
    for (const char* item : kItems)
      EXPECT_EQ(e.ToolbarItem(item), c.on.count(item) == 1) << c.name << ": " << item;
  }
}

TEST(CommandStateTest, QueueSwitchesAndMovesFollowTheQueues) {
  CommandContext c;
  c.queueRunning = true;
  c.queueOrderAboveOne = true;
  const SelectionSummary queued = SummarizeSelection({Download(queue::kStatusQueued)});
  CommandEnabling e = ComputeCommandEnabling(queued, c);
  EXPECT_EQ(e.Lookup(FourCC("Stop"), kQueueMenuID, 1), true);
  EXPECT_EQ(e.Lookup(FourCC("Star"), kQueueMenuID, 1), false);
  EXPECT_EQ(e.Lookup(FourCC("StaU"), kQueueMenuID, 1), true);
  EXPECT_EQ(e.Lookup(FourCC("DSUp"), 0, 1), true);
  c.queueOrderAboveOne = false;
  e = ComputeCommandEnabling(queued, c);
  EXPECT_EQ(e.Lookup(FourCC("DSUp"), 0, 1), false) << "one queued download cannot move";
  // The rules of one menu do not answer for another.
  EXPECT_EQ(e.Lookup(FourCC("Stop"), kViewMenuID, 1), std::nullopt);
}

TEST(CommandStateTest, MenuScopedRulesCoverOnlyTheirFirstItems) {
  const CommandEnabling e =
      ComputeCommandEnabling(SummarizeSelection({Download(queue::kStatusStopped)}), CommandContext{});
  struct {
    const char* command;
    std::int16_t menu;
    int occurrence;
    std::optional<bool> enabled;
  } cases[] = {
      {"Remo", kQueueMenuID, 1, true}, {"Remo", kQueueMenuID, 3, true},
      {"Remo", kQueueMenuID, 4, {}},   {"Remo", 0, 1, {}},
      {"Remo", kViewMenuID, 1, {}},    {"ClIn", kQueueMenuID, 2, false},
      {"ClIn", kQueueMenuID, 3, {}},   {"Dupl", kServersMenuID, 1, false},
      {"Dupl", kQueueMenuID, 1, {}},   {"copy", kViewMenuID, 7, true},
      {"zzzz", kQueueMenuID, 1, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(e.Lookup(Code(c.command), c.menu, c.occurrence), c.enabled)
        << c.command << " menu " << c.menu << " #" << c.occurrence;
}

class CommandStateWindowTest : public MainWindowFixture {};

TEST_F(CommandStateWindowTest, TheUpdatePassSetsMenuItemsAndToolbarItemsFromTheSelection) {
  Create();
  const auto running = Add("running.iso", queue::kStatusDownloading);
  const auto stopped = Add("stopped.iso", queue::kStatusStopped);
  queue::RefillMainList();

  auto menu = toolbox::Menu::Create(kQueueMenuID, "Queue");
  for (int i = 0; i < 4; ++i) {
    toolbox::MenuItem item;
    item.text = "Remove " + std::to_string(i + 1);
    item.command = FourCC("Remo");
    item.enabled = i == 3;  // the fourth is not the rule's: it keeps its state
    menu->AppendItem(item);
  }
  toolbox::GetMenuBar().Append(menu);
  struct {
    std::vector<queue::WrapperRef> selection;
    bool remove;
    bool stop;
  } cases[] = {
      {{running}, false, true},
      {{stopped}, true, false},
      {{running, stopped}, true, true},
  };
  for (const auto& c : cases) {
    Select(c.selection);
    toolbox::UpdateMenuCommandStatus(*menu, GetMainWindow());
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(menu->IsItemEnabled(i), c.remove) << i;
    EXPECT_TRUE(menu->IsItemEnabled(4));
    const auto& items = ToolbarItemsByIdentifier();
    EXPECT_EQ(items.at(std::string(kMainToolbarItemPrefix) + "RemoveItem")->IsEnabled(), c.remove);
    EXPECT_EQ(items.at(std::string(kMainToolbarItemPrefix) + "StopItem")->IsEnabled(), c.stop);
  }
  toolbox::GetMenuBar().Remove(kQueueMenuID);
}

TEST_F(CommandStateWindowTest, SetControlValueFromIndexTakesOnlyTheFirstThree) {
  Create();
  toolbox::ControlSpec desc;
  desc.kind = toolbox::ControlKind::kPopUpButton;
  desc.menu = toolbox::Menu::Create(0);
  for (int i = 0; i < 4; ++i) desc.menu->AppendItem("item");
  desc.maximum = 4;
  desc.value = 4;
  toolbox::Control* popup = GetMainWindow()->AddControl(desc);
  struct {
    int index;
    std::int32_t value;
  } cases[] = {{0, 1}, {2, 3}, {3, 3}, {-1, 3}, {1, 2}};
  for (const auto& c : cases) {
    SetControlValueFromIndex(*popup, c.index);
    EXPECT_EQ(popup->Value(), c.value) << c.index;
  }
}

}  // namespace
}  // namespace ui
