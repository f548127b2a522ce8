// The small windows: the add-URL window's choice of downloads and what Add does with each
// choice, the server activity window's saved place and single instance, and pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/small_windows/add_url_window.h"
#include "app/ui/small_windows/ok_dialog_handler.h"
#include "app/ui/small_windows/server_activity_window.h"
#include "app/ui/small_windows/text_context_menu.h"
#include "app/util/settings/settings_store.h"
#include "app/util/settings/window_bounds_prefs.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/controls/text_edit_commands.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/services/desktop_services.h"
#include "tests/fakes/scripted_presenter.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

queue::WrapperRef Put(queue::DownloadUID uid, queue::DownloadStatus status, const std::string& name) {
  auto w = queue::DownloadQueueWrapper::Create();
  w->element().uid = uid;
  w->element().status = status;
  w->element().filename = name;
  w->element().urlData = {values::Value(values::Dictionary{{"url", "http://first.example/" + name}})};
  std::lock_guard lock(queue::gQueueItemsLock);
  queue::gQueueItems[uid] = w;
  return w;
}

values::Array Entries(const std::string& url) {
  return {values::Value(values::Dictionary{{"url", url}})};
}

class AddURLWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::lock_guard lock(queue::gQueueItemsLock);
    queue::gQueueItems.clear();
  }
};

TEST_F(AddURLWindowTest, OffersOnlyDownloadsThatAreNotMoving) {
  const struct {
    queue::DownloadStatus status;
    bool offered;
  } cases[] = {{4, false}, {8, false},  {512, false}, {16, true},   {32, true},
               {64, true}, {128, true}, {256, true},  {1024, true}, {1, true}};
  queue::DownloadUID uid = 100;
  std::vector<std::string> expected{"New Download"};
  for (const auto& c : cases) {
    const std::string name = "file" + std::to_string(c.status) + ".bin";
    Put(++uid, c.status, name);
    if (c.offered) expected.push_back(name);
  }
  toolbox::Window* window = ShowAddURLWindow(Entries("http://mirror.example/x.bin"));
  toolbox::Control* popUp = window->FindControl(kApplicationSignature, kAddURLPopUpID);
  ASSERT_TRUE(popUp);
  std::vector<std::string> offered;
  for (const auto& item : popUp->PopUpMenu()->items()) offered.push_back(item.text);
  EXPECT_EQ(offered, expected);
  EXPECT_EQ(popUp->Value(), 1) << "a new download unless the user chooses";
  EXPECT_EQ(window->FindControl(kApplicationSignature, kAddURLTextID)->Text(), "http://mirror.example/x.bin");
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    window->GrabToPng(std::string(keep) + "/add_url_window.png");
  window->Release();
}

TEST_F(AddURLWindowTest, AddAppendsTheAddressToTheChosenDownloadOrSkipsAGoneOne) {
  for (bool goneMeanwhile : {false, true}) {
    SCOPED_TRACE(goneMeanwhile);
    auto target = Put(7, 64, "big.iso");
    toolbox::Window* window = ShowAddURLWindow(Entries("http://mirror.example/big.iso"));
    window->FindControl(kApplicationSignature, kAddURLPopUpID)->SetValue(2);
    if (goneMeanwhile) {
      std::lock_guard lock(queue::gQueueItemsLock);
      queue::gQueueItems.clear();
    }
    window->ProcessCommand(toolbox::kCommandOK);
    EXPECT_TRUE(window->IsReleased());
    std::vector<std::string> urls;
    for (const auto& e : target->URLData()) urls.push_back(e.Find("url")->StringOr(""));
    if (goneMeanwhile)
      EXPECT_EQ(urls, std::vector<std::string>{"http://first.example/big.iso"});
    else
      EXPECT_EQ(urls,
                (std::vector<std::string>{"http://first.example/big.iso", "http://mirror.example/big.iso"}));
  }
}

TEST_F(AddURLWindowTest, CancelAndCloseAddNothing) {
  for (bool close : {false, true}) {
    toolbox::Window* window = ShowAddURLWindow(Entries("http://mirror.example/y.bin"));
    if (close)
      window->Close();
    else
      window->ProcessCommand(toolbox::kCommandCancel);
    EXPECT_TRUE(window->IsReleased());
    std::lock_guard lock(queue::gQueueItemsLock);
    EXPECT_TRUE(queue::gQueueItems.empty());
  }
}

class ServerActivityWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { util::SetSettingsPreferences(&store); }
  void TearDown() override {
    if (toolbox::Window* w = ServerActivityWindow()) w->Release();
    util::SetSettingsPreferences(nullptr);
  }
  prefs::PreferenceStore store{testsupport::MakeTempDir("prefs")};
};

TEST_F(ServerActivityWindowTest, ASavedPlaceIsUsedWhenSoundAndAShortOneShowsItFolded) {
  const struct {
    util::Rect saved;  // top, left, bottom, right
    bool used;
    int disclosure;
  } cases[] = {
      {{100, 50, 149, 450}, true, 0},   // 49 high: folded
      {{100, 50, 150, 450}, true, 1},   // 50 high: open
      {{100, -1, 300, 450}, false, 1},  // a negative edge
      {{300, 50, 100, 450}, false, 1},  // top below bottom
      {{100, 450, 300, 50}, false, 1},  // left right of right
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.saved.top << "," << c.saved.left << "," << c.saved.bottom << ","
                                    << c.saved.right);
    util::SaveWindowRectPref(c.saved, kServerActivityBoundsKey);
    toolbox::Window* window = ShowServerActivityWindow();
    EXPECT_EQ(ShowServerActivityWindow(), window) << "a second open gives the same window";
    const toolbox::Rect bounds = window->ContentBounds();
    EXPECT_EQ(bounds.height == c.saved.bottom - c.saved.top && bounds.width == c.saved.right - c.saved.left,
              c.used);
    EXPECT_EQ(window->FindControl(kApplicationSignature, kActivityDisclosureID)->Value(), c.disclosure);
    window->Release();
    EXPECT_EQ(ServerActivityWindow(), nullptr);
  }
}

TEST(TextContextMenu, OffersTheEditCommandsAndActsOnTheField) {
  auto window = toolbox::Window::Create({.kind = toolbox::WindowKind::kDialog, .content = {0, 0, 300, 80}});
  toolbox::Control* field = window->AddControl({.kind = toolbox::ControlKind::kEditText,
                                                .id = {kApplicationSignature, 3},
                                                .bounds = {10, 10, 280, 24}});
  InstallTextContextMenu(*field);
  field->SetText("http://one.example/a");
  toolbox::SetClipboardText("pasted");

  struct Case {
    toolbox::FourCharCode command;
    bool selectFirst;
    std::string text, clipboard;
    std::vector<bool> enabled;  // Cut, Copy, Paste, Select All
  } cases[] = {
      {toolbox::kCommandSelectAll, false, "http://one.example/a", "pasted", {false, false, true, true}},
      {toolbox::kCommandCopy, true, "http://one.example/a", "http://one.example/a", {true, true, true, true}},
      {toolbox::kCommandCut, true, "", "http://one.example/a", {true, true, true, true}},
      {toolbox::kCommandPaste,
       false,
       "http://one.example/a",
       "http://one.example/a",
       {false, false, true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(values::FourCCString(c.command));
    if (c.selectFirst) field->SelectAllText();
    fakes::ScopedScriptedPresenter presenter;
    auto menu = BuildTextContextMenu();
    presenter->menu_answers.push_back({menu, menu->IndexOfCommand(c.command), c.command});
    toolbox::ShowTextContextMenu(*field, {40, 30});
    ASSERT_EQ(presenter->menus.size(), 1u);
    const toolbox::MenuRequest& shown = presenter->menus[0];
    EXPECT_EQ(shown.menu->id(), kTextContextMenuID);
    EXPECT_EQ(shown.where.y, 14) << "16 points above the click";
    std::vector<bool> enabled;
    for (int i = 1; i <= shown.menu->CountItems(); ++i) enabled.push_back(shown.menu->IsItemEnabled(i));
    EXPECT_EQ(enabled, c.enabled);
    EXPECT_EQ(field->Text(), c.text);
    EXPECT_EQ(toolbox::GetClipboardText().value_or(""), c.clipboard);
  }
  window->Release();
}

TEST(OKDialog, OKClosesItAndOtherCommandsGoOn) {
  const struct {
    toolbox::FourCharCode command;
    runtime::Status status;
    bool released;
  } cases[] = {{toolbox::kCommandOK, runtime::kNoErr, true},
               {toolbox::kCommandCancel, runtime::kEventNotHandledErr, false},
               {values::FourCC("copy"), runtime::kEventNotHandledErr, false}};
  for (const auto& c : cases) {
    auto dialog = toolbox::Window::Create({.kind = toolbox::WindowKind::kDialog, .content = {0, 0, 200, 60}});
    InstallOKDialogHandler(*dialog);
    auto event = toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, {c.command});
    EXPECT_EQ(dialog->target()->Send(*event), c.status) << values::FourCCString(c.command);
    EXPECT_EQ(dialog->IsReleased(), c.released);
    dialog->Release();
  }
}

TEST(TextContextMenu, TitlesFollowTheMenuBar) {
  toolbox::MenuBar& bar = toolbox::GetMenuBar();
  auto edit = toolbox::Menu::Create(135, "Edit");
  edit->AppendItem("Couper", toolbox::kCommandCut);
  bar.Append(edit);
  auto menu = BuildTextContextMenu();
  bar.Remove(135);
  std::vector<std::string> titles;
  for (const auto& item : menu->items()) titles.push_back(item.text);
  EXPECT_EQ(titles, (std::vector<std::string>{"Couper", "Copy", "Paste", "Select All"}));
}

}  // namespace
}  // namespace ui
