#include "platform/toolbox/menus/menu.h"

#include <gtest/gtest.h>

#include "platform/toolbox/app/application.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/menus/window_menu.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/scripted_presenter.h"

namespace toolbox {
namespace {

constexpr FourCharCode kOpen = FourCC("Open"), kOpenAll = FourCC("OpnA"), kStop = FourCC("Stop"),
                       kColumns = FourCC("Colu");

MenuRef SampleMenu() {
  auto menu = Menu::Create(1024, "Actions");
  menu->AppendItem("Open", kOpen);
  MenuItem all;
  all.text = "Open All";
  all.command = kOpenAll;
  all.dynamic = true;
  menu->AppendItem(all);
  menu->AppendSeparator();
  menu->AppendItem("Stop", kStop);
  auto columns = Menu::Create(1025, "Columns");
  columns->AppendItem("Size", kColumns);
  columns->SetItemProperty(1, kApplicationSignature, kColumns, values::Value(1031));
  menu->AppendItem("Columns");
  menu->SetItemSubmenu(5, columns);
  return menu;
}

TEST(Menu, ItemsAreNumberedFromOneAndSeparatorsComeFromADash) {
  auto menu = SampleMenu();
  EXPECT_EQ(menu->CountItems(), 5);
  EXPECT_TRUE(menu->Item(3)->separator);
  EXPECT_FALSE(menu->IsItemEnabled(3)) << "a separator is never enabled";
  EXPECT_EQ(menu->Item(0), nullptr);
  EXPECT_EQ(menu->Item(6), nullptr);
  EXPECT_EQ(menu->IndexOfCommand(kStop), 4);
  EXPECT_EQ(menu->IndexOfText("Columns"), 5);
  menu->DeleteItem(1);
  EXPECT_EQ(menu->IndexOfCommand(kStop), 3);
  EXPECT_EQ(menu->InsertItem(0, MenuItem{.text = "First"}), 1);
  EXPECT_EQ(menu->Item(1)->text, "First");
}

TEST(Menu, CommandsAndPropertiesReachIntoSubmenus) {
  auto menu = SampleMenu();
  auto [sub, index] = menu->FindCommand(kColumns);
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->id(), 1025);
  EXPECT_EQ(index, 1);
  ASSERT_NE(sub->ItemProperty(1, kApplicationSignature, kColumns), nullptr);
  EXPECT_EQ(sub->ItemProperty(1, kApplicationSignature, kColumns)->AsNumber()->AsInt32(), 1031);
  EXPECT_EQ(sub->ItemProperty(1, kApplicationSignature, FourCC("URL ")), nullptr);
  menu->EnableCommand(kColumns, false);
  EXPECT_FALSE(sub->IsItemEnabled(1));

  MenuBar bar;
  bar.Append(menu);
  bar.Append(Menu::Create(129, "File"));
  EXPECT_EQ(bar.Find(1024), menu);
  EXPECT_EQ(bar.FindCommand(kColumns).first, sub);
  bar.Remove(1024);
  EXPECT_EQ(bar.Find(1024), nullptr);
}

TEST(Menu, OptionAlternatesReplaceTheirItemOnlyWithOptionHeld) {
  auto menu = SampleMenu();
  EXPECT_EQ(VisibleItemIndexes(*menu, 0), (std::vector<int>{1, 3, 4, 5}));
  EXPECT_EQ(VisibleItemIndexes(*menu, kModifierOption), (std::vector<int>{2, 3, 4, 5}));
}

class MenuCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application::Shared();
    status_ = runtime::EventTarget::Application()->InstallHandler(
        {{kEventClassCommand, kEventCommandUpdateStatus}}, [this](runtime::HandlerCall&, runtime::Event& e) {
          const FourCharCode id = GetCommand(e).id;
          if (id == kStop) {
            SetCommandEnabled(e, stop_enabled);
            SetCommandText(e, stop_enabled ? "Stop Download" : "Stop");
            return runtime::kNoErr;
          }
          if (id == kColumns) {
            SetCommandMark(e, kCheckMark);
            return runtime::kNoErr;
          }
          return runtime::kEventNotHandledErr;
        });
    process_ = runtime::EventTarget::Application()->InstallHandler(
        {{kEventClassCommand, kEventCommandProcess}}, [this](runtime::HandlerCall&, runtime::Event& e) {
          processed.push_back(GetCommand(e));
          return runtime::kNoErr;
        });
  }
  void TearDown() override {
    status_->Remove();
    process_->Remove();
  }

  bool stop_enabled = false;
  std::vector<Command> processed;
  runtime::HandlerRef status_, process_;
};

TEST_F(MenuCommandTest, UpdatePassEnablesRetitlesAndMarksAndLeavesTheRest) {
  auto menu = SampleMenu();
  menu->SetItemEnabled(1, false);  // nobody answers for Open: stays disabled
  UpdateMenuCommandStatus(*menu);
  EXPECT_FALSE(menu->IsItemEnabled(4));
  EXPECT_EQ(menu->Item(4)->text, "Stop");
  EXPECT_FALSE(menu->IsItemEnabled(1));
  EXPECT_EQ(menu->Item(5)->submenu->ItemMark(1), kCheckMark);
  stop_enabled = true;
  UpdateMenuCommandStatus(*menu);
  EXPECT_TRUE(menu->IsItemEnabled(4));
  EXPECT_EQ(menu->Item(4)->text, "Stop Download");
}

TEST_F(MenuCommandTest, ChoosingAnItemSendsItsCommandWithMenuAndItem) {
  auto menu = SampleMenu();
  EXPECT_EQ(SelectMenuItem(*menu, 1), runtime::kNoErr);
  menu->SetItemEnabled(1, false);
  EXPECT_EQ(SelectMenuItem(*menu, 1), runtime::kEventNotHandledErr);
  EXPECT_EQ(SelectMenuItem(*menu, 3), runtime::kEventNotHandledErr) << "a separator has no command";
  ASSERT_EQ(processed.size(), 1u);
  EXPECT_EQ(processed[0].id, kOpen);
  EXPECT_EQ(processed[0].menu_id, 1024);
  EXPECT_EQ(processed[0].item, 1);
}

TEST_F(MenuCommandTest, ContextualMenusAreScriptedAndDisabledChoicesDoNothing) {
  fakes::ScopedScriptedPresenter presenter;
  auto menu = SampleMenu();
  presenter->ChooseMenuItemByText(menu, "Open");
  presenter->ChooseMenuItemByText(menu, "Stop");  // disabled by the update pass
  EXPECT_EQ(PopUpContextualMenu(nullptr, {10, 10}, menu).command, kOpen);
  EXPECT_TRUE(PopUpContextualMenu(nullptr, {10, 10}, menu).chosen());
  EXPECT_FALSE(PopUpContextualMenu(nullptr, {10, 10}, menu).chosen()) << "nothing scripted: dismissed";
  ASSERT_EQ(processed.size(), 1u);
  EXPECT_EQ(processed[0].id, kOpen);
  ASSERT_EQ(presenter->menus.size(), 3u);
  EXPECT_EQ(presenter->menus[0].placement, MenuPlacement::kContextual);
  EXPECT_EQ(presenter->unscripted, 1);
}

TEST(DesktopServices, ClipboardTextRoundTrips) {
  Application::Shared();
  SetClipboardText("http://127.0.0.1/file.zip");
  EXPECT_EQ(GetClipboardText().value_or(""), "http://127.0.0.1/file.zip");
}

TEST(DesktopServices, MainTimersFireFromTheApplicationLoop) {
  Application& app = Application::Shared();
  int fired = 0;
  auto timer =
      InstallMainTimer(std::chrono::milliseconds(1), std::chrono::milliseconds(1), [&](runtime::Timer& t) {
        if (++fired == 3) {
          t.Invalidate();
          app.QuitEventLoop();
        }
      });
  auto guard = InstallMainTimer(std::chrono::seconds(5), {}, [&](runtime::Timer&) { app.QuitEventLoop(); });
  app.RunEventLoop();
  guard->Invalidate();
  EXPECT_EQ(fired, 3);
}

}  // namespace
}  // namespace toolbox

namespace toolbox {
namespace {

TEST(WindowMenu, ListsTheShownWindowsAfterTheFixedItemsAndBringsOneForward) {
  auto first = Window::Create({.title = "Queue", .content = {0, 0, 200, 100}});
  auto hidden = Window::Create({.title = "Hidden", .content = {0, 0, 200, 100}});
  auto unlisted = Window::Create({.title = "Unlisted", .content = {0, 0, 200, 100}, .in_window_menu = false});
  auto second = Window::Create({.title = "Log", .content = {0, 0, 200, 100}});
  auto sheet =
      Window::Create({.kind = WindowKind::kSheet, .content = {0, 0, 100, 50}, .parent = second.get()});
  for (auto* w : {first.get(), unlisted.get(), second.get()}) w->Show();
  sheet->ShowSheet();
  second->Select();
  Application::Shared().ProcessPendingEvents();

  auto menu = Menu::Create(136, "Window");
  menu->AppendItem("Minimize", FourCC("mini"));
  menu->AppendItem("stale entry");  // from an earlier refresh: replaced
  RefreshWindowMenu(*menu, 1);
  std::vector<std::string> texts;
  for (int i = 1; i <= menu->CountItems(); ++i)
    texts.push_back(menu->Item(i)->separator ? "-" : menu->Item(i)->text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Minimize", "-", "Queue", "Log"}));
  EXPECT_FALSE(SelectWindowMenuItem(*menu, 1));  // a fixed item is not a window

  first->Select();
  Application::Shared().ProcessPendingEvents();
  EXPECT_TRUE(SelectWindowMenuItem(*menu, 4));
  Application::Shared().ProcessPendingEvents();
  RefreshWindowMenu(*menu, 1);
  // The front window is checked (offscreen, activation follows Select).
  EXPECT_EQ(Window::FrontWindow(), second);
  EXPECT_EQ(menu->ItemMark(4), kCheckMark);
  EXPECT_EQ(menu->ItemMark(3), 0u);
  second->Release();
  EXPECT_FALSE(SelectWindowMenuItem(*menu, 4));  // gone meanwhile
  for (auto* w : {first.get(), hidden.get(), unlisted.get()}) w->Release();
}

}  // namespace
}  // namespace toolbox
