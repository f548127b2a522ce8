// The menu bar as data: which menus and commands a build holds for the queue shown, the
// interface and a remote view; when it is rebuilt; the Window menu's order; and a picture
// of the bar on a window.
#include "app/shell/main_menu_bar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/queue/folders/view_ids.h"
#include "platform/toolbox/menus/menu_commands.h"

namespace shell {
namespace {

using values::FourCC;

std::vector<std::int16_t> MenuIds() {
  std::vector<std::int16_t> ids;
  for (const auto& m : toolbox::GetMenuBar().menus()) ids.push_back(m->id());
  return ids;
}

bool Has(std::int16_t menu, const char (&command)[5]) {
  auto m = toolbox::GetMenuBar().Find(menu);
  return m && m->IndexOfCommand(FourCC(command)) != 0;
}

class MainMenuBarTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetMainMenuBar(); }
  void TearDown() override { ResetMainMenuBar(); }
};

TEST_F(MainMenuBarTest, TheModeFollowsTheViewAndTheInterface) {
  const struct {
    std::uint32_t view;
    bool simple;
    MenuBarMode mode;
  } cases[] = {
      {queue::kMyDownloadsViewID, false, {2, 1, 2}},
      {queue::kMyUploadsViewID, false, {1, 1, 2}},
      {queue::kMyUploadsViewID, true, {1, 0, 2}},
      {queue::kFTPHostsViewID, false, {2, 1, 1}},
      {1025, false, {2, 1, 1}},
      {4096, true, {2, 0, 1}},
      {4097, false, {2, 1, 2}},
      {queue::kReceivedFilesViewID, false, {2, 1, 1}},
      {0x100000, false, {2, 1, 2}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MenuBarModeFor(c.view, c.simple), c.mode) << c.view << " " << c.simple;
}

TEST_F(MainMenuBarTest, MenusAndCommandsByQueueInterfaceAndView) {
  const struct {
    std::uint32_t view;
    bool simple;
    bool uploadQueue, advancedItems, remoteItems;
  } cases[] = {
      {queue::kMyDownloadsViewID, false, false, true, false},
      {queue::kMyDownloadsViewID, true, false, false, false},
      {queue::kMyUploadsViewID, false, true, true, false},
      {1030, false, false, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.view << " simple " << c.simple);
    ResetMainMenuBar();
    ASSERT_TRUE(BuildMainMenuBarFor(c.view, c.simple));
    EXPECT_EQ(MenuIds(), (std::vector<std::int16_t>{kApplicationMenuID, kFileMenuID, kEditMenuID,
                                                    kQueueMenuID, kViewMenuID, kWindowMenuID, kHelpMenuID}));
    for (const char* always : {"quit", "pref", "New ", "undo", "redo", "copy", "sall", "StaD", "StoD", "View",
                               "RFLo", "NQWi", "ODFo", "TadM"}) {
      char code[5] = {always[0], always[1], always[2], always[3], 0};
      EXPECT_TRUE(toolbox::GetMenuBar().FindCommand(FourCC(code)).first) << always;
    }
    EXPECT_EQ(Has(kQueueMenuID, "StaU"), c.uploadQueue);
    EXPECT_EQ(Has(kQueueMenuID, "Star"), !c.uploadQueue);
    EXPECT_EQ(Has(kWindowMenuID, "VSAc"), c.advancedItems)
        << "server activity only in the advanced interface";
    EXPECT_EQ(Has(kFileMenuID, "Conn"), c.advancedItems);
    EXPECT_EQ(Has(kFileMenuID, "OUFo"), c.advancedItems);
    EXPECT_EQ(Has(kViewMenuID, "TSin"), c.remoteItems);
    EXPECT_EQ(Has(kViewMenuID, "VSpl"), c.remoteItems);
    // Every item names a command, separators and submenus aside.
    for (const auto& menu : toolbox::GetMenuBar().menus())
      for (const auto& item : menu->items())
        EXPECT_TRUE(item.separator || item.command != 0) << menu->title() << ": " << item.text;
  }
}

TEST_F(MainMenuBarTest, RebuiltOnlyWhenTheModeChanges) {
  // Uploads and back: two builds; folder to folder, or to a smart folder: none.
  const struct {
    std::uint32_t view;
    bool simple;
    bool rebuilt;
  } steps[] = {{queue::kMyDownloadsViewID, false, true},
               {queue::kMyUploadsViewID, false, true},
               {queue::kMyDownloadsViewID, false, true},
               {0x100000, false, false},
               {0x400001, false, false},
               {queue::kHistoryViewID, false, false},
               {queue::kHistoryViewID, true, true},
               {queue::kHistoryViewID, true, false}};
  for (const auto& s : steps) EXPECT_EQ(BuildMainMenuBarFor(s.view, s.simple), s.rebuilt) << s.view;
}

TEST_F(MainMenuBarTest, TheWindowMenuPutsTheApplicationItemsAroundTheStandardOnes) {
  const struct {
    bool simple;
    std::vector<std::string> commands;  // "-" a separator
  } cases[] = {
      {false, {"mini", "zoom", "-", "rotw", "-", "NQWi", "-", "View", "RFLo", "-", "VSAc", "-", "bfrt"}},
      {true, {"mini", "zoom", "-", "rotw", "-", "NQWi", "-", "View", "RFLo", "-", "bfrt"}},
  };
  for (const auto& c : cases) {
    ResetMainMenuBar();
    BuildMainMenuBarFor(queue::kMyDownloadsViewID, c.simple);
    auto window = toolbox::GetMenuBar().Find(kWindowMenuID);
    ASSERT_TRUE(window);
    std::vector<std::string> got;
    for (const auto& item : window->items())
      got.push_back(item.separator ? "-" : values::FourCCString(item.command));
    EXPECT_EQ(got, c.commands);
    const int main = window->IndexOfCommand(FourCC("NQWi"));
    EXPECT_EQ(window->Item(main)->key_equivalent, "1");
  }
}

TEST_F(MainMenuBarTest, EditMenuTitlesFollowTheUndoStackOnlyWithTheMainWindowInFront) {
  BuildMainMenuBarFor(queue::kMyDownloadsViewID, false);
  auto edit = toolbox::GetMenuBar().Find(kEditMenuID);
  ASSERT_TRUE(edit);
  edit->SetItemText(1, "stale");
  // No main window in front: the populate step leaves the menu alone.
  toolbox::UpdateMenuCommandStatus(*edit);
  EXPECT_EQ(edit->Item(1)->text, "stale");
}

TEST_F(MainMenuBarTest, BarPicture) {
  BuildMainMenuBarFor(queue::kMyDownloadsViewID, false);
  auto window = toolbox::Window::Create({.title = "Menus", .content = {0, 0, 640, 40}});
  window->SetMenuBar(&toolbox::GetMenuBar());
  window->Show();
  const toolbox::Image image = window->Grab();
  EXPECT_GT(image.height(), 40) << "the bar sits above the content";
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    window->GrabToPng(std::string(keep) + "/menu_bar.png");
  window->Release();
}

}  // namespace
}  // namespace shell
