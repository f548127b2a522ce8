// The add-download and edit-download windows worked by their controls over the main
// window's queue: what they show when they open, OK adding or writing, a refused form
// keeping the window with its alert, the folder dialog and a dropped file.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/queue/record/queue_tables.h"
#include "app/ui/download_windows/add_download_window.h"
#include "app/ui/download_windows/download_form_controls.h"
#include "app/ui/download_windows/download_form_rules.h"
#include "app/ui/download_windows/edit_download_window.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/views/view.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/scripted_presenter.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

class DownloadWindowsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    presenter_ = std::make_unique<fakes::ScopedScriptedPresenter>();
    Create();
  }
  void TearDown() override {
    for (auto& w : toolbox::Window::AllWindows())
      if (w.get() != GetMainWindow()) w->Release();
    presenter_.reset();
    MainWindowFixture::TearDown();
  }
  static toolbox::Control* C(toolbox::Window* w, std::int32_t id) { return FindDownloadControl(*w, id); }
  static std::vector<std::string> Labels(toolbox::Window* w) {
    std::vector<std::string> texts;
    for (toolbox::Control* c : w->Controls())
      if (c->kind() == toolbox::ControlKind::kStaticText || c->kind() == toolbox::ControlKind::kCheckBox ||
          c->kind() == toolbox::ControlKind::kPushButton)
        texts.push_back(c->Text());
    return texts;
  }
  // Every label and button is wide enough for its words.
  static void ExpectTextsFit(toolbox::Window* w) {
    for (toolbox::Control* c : w->Controls()) {
      const auto kind = c->kind();
      if (kind != toolbox::ControlKind::kStaticText && kind != toolbox::ControlKind::kCheckBox &&
          kind != toolbox::ControlKind::kPushButton)
        continue;
      if (c->Text().empty() || !c->IsVisible()) continue;
      const toolbox::Rect best = c->BestRect();
      EXPECT_LE(best.width, c->Bounds().width + 1) << c->Text();
      EXPECT_LE(best.height, c->Bounds().height + 1) << c->Text();
    }
  }
  fakes::ScriptedPresenter& presenter() { return presenter_->get(); }
  std::unique_ptr<fakes::ScopedScriptedPresenter> presenter_;
};

TEST_F(DownloadWindowsTest, AddWindowOpensReadyAndAddsTwoDownloads) {
  Add("existing.bin", queue::kStatusCompleted);
  toolbox::Window* w = ShowAddDownloadWindow();
  ASSERT_NE(w, nullptr);
  Pump();
  EXPECT_EQ(w->Title(), "Add Download");
  EXPECT_TRUE(C(w, kDownloadURLField)->HasFocus());
  EXPECT_FALSE(C(w, kDownloadOKButton)->IsEnabled()) << "OK with no URL";
  EXPECT_EQ(C(w, kDownloadSeparateBox)->Value(), 1);
  EXPECT_EQ(C(w, kAddPositionField)->Text(), std::to_string(queue::gQueuedCount + 1));
  EXPECT_EQ(C(w, kDownloadConnectionsField)->Text(), "3");
  EXPECT_EQ(C(w, kDownloadWhenDonePopUp)->Value(), 1);
  EXPECT_FALSE(C(w, kDownloadUserField)->IsEnabled());
  EXPECT_FALSE(C(w, kDownloadScheduleDate)->IsEnabled());
  EXPECT_EQ(WindowFolder(*w), DefaultDownloadFolderPath());
  ExpectTextsFit(w);

  C(w, kDownloadURLField)->SetText("http://127.0.0.1:9/one.zip\nhttp://127.0.0.1:9/two.zip");
  Pump();
  EXPECT_TRUE(C(w, kDownloadOKButton)->IsEnabled());
  C(w, kDownloadUseAuthBox)->Click();
  Pump();
  EXPECT_TRUE(C(w, kDownloadUserField)->IsEnabled());
  Keep(w->Grab(), "add_download_window");

  std::weak_ptr<toolbox::Window> weak = w->weak_from_this();
  C(w, kDownloadOKButton)->Click();
  Pump();
  EXPECT_TRUE(weak.expired() || weak.lock()->IsReleased()) << "the window stays after a good OK";
  std::set<std::string> names = ShownNames();
  EXPECT_TRUE(names.count("one.zip") && names.count("two.zip")) << names.size();
}

TEST_F(DownloadWindowsTest, AddWindowRefusesAFormAndStaysOpen) {
  toolbox::Window* w = ShowAddDownloadWindow(std::string("nothing here"));
  Pump();
  EXPECT_TRUE(C(w, kDownloadOKButton)->IsEnabled());
  C(w, kDownloadOKButton)->Click();
  Pump();
  ASSERT_EQ(presenter().alerts.size(), 1u);
  EXPECT_EQ(presenter().alerts[0].message, kInvalidURLAlert);
  EXPECT_FALSE(w->IsReleased());
  EXPECT_TRUE(queue::gQueueItems.empty());
}

TEST_F(DownloadWindowsTest, FolderDialogAndDropChooseTheFolder) {
  toolbox::Window* w = ShowAddDownloadWindow(std::string("http://127.0.0.1:9/data.bin"));
  const std::string home = testsupport::TempHome();
  const std::string folder = home + "/picked";
  std::filesystem::create_directories(folder);
  presenter().put_file_answers.push_back(folder + "/renamed.bin");
  ChooseDownloadFolder(*w);
  ASSERT_EQ(presenter().put_file_requests.size(), 1u);
  EXPECT_EQ(presenter().put_file_requests[0].file_name, "data.bin");
  EXPECT_EQ(WindowFolder(*w), folder);
  EXPECT_EQ(WindowFileName(*w), "renamed.bin");
  EXPECT_EQ(C(w, kDownloadFolderPopUp)->Text(), "picked");

  // A dropped file chooses the folder that holds it.
  const std::string other = home + "/other";
  std::filesystem::create_directories(other);
  testsupport::WriteFile(other + "/file.txt", "x");
  toolbox::View* area = nullptr;
  for (toolbox::Control* c : w->Controls())
    if (c->GetView()) area = c->GetView();
  ASSERT_NE(area, nullptr) << "the window takes no drops";
  toolbox::Drag drag;
  drag.items.push_back({{{toolbox::kFlavorFileURL, "file://" + other + "/file.txt"}}, {}});
  EXPECT_NE(area->HandleDragEnter(drag), toolbox::kDragActionNone);
  EXPECT_TRUE(area->HandleDrop(drag));
  EXPECT_EQ(WindowFolder(*w), other);
  EXPECT_EQ(C(w, kDownloadPathText)->Text(), other);
}

TEST_F(DownloadWindowsTest, EditWindowShowsOneDownloadAndWritesANewURL) {
  auto d = Add("old.bin", queue::kStatusStopped);
  d->element().connections = 4;
  d->element().completionType = 7;  // log out
  toolbox::Window* w = ShowEditDownloadWindow({d});
  ASSERT_NE(w, nullptr);
  Pump();
  EXPECT_EQ(w->Title(), "Edit Download: old.bin");
  EXPECT_EQ(C(w, kDownloadURLField)->Text(), "http://example.org/old.bin");
  EXPECT_EQ(C(w, kDownloadConnectionsField)->Text(), "4");
  EXPECT_EQ(C(w, kDownloadWhenDonePopUp)->Value(), 6);
  ExpectTextsFit(w);
  Keep(w->Grab(), "edit_download_window");

  C(w, kDownloadURLField)->SetText("http://127.0.0.1:9/mirror/new.bin");
  C(w, kDownloadConnectionsField)->SetText("40");
  C(w, kDownloadOKButton)->Click();
  Pump();
  EXPECT_TRUE(w->IsReleased());
  EXPECT_EQ(d->url(), std::optional<std::string>("http://127.0.0.1:9/mirror/new.bin"));
  EXPECT_EQ(d->filename(), "new.bin");
  EXPECT_EQ(std::as_const(*d).element().connections, 32);
}

TEST_F(DownloadWindowsTest, EditWindowForSeveralLeavesTheirURLs) {
  auto a = Add("a.bin", queue::kStatusStopped);
  auto b = Add("b.bin", queue::kStatusQueued);
  auto remote = Add("remote.bin", queue::kStatusStopped);
  remote->element().hostID = 5;
  EXPECT_EQ(ShowEditDownloadWindow({remote}), nullptr) << "another copy's item is not edited here";
  toolbox::Window* w = ShowEditDownloadWindow({a, b, remote});
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Title(), "Edit Downloads");
  EXPECT_EQ(C(w, kDownloadURLField), nullptr);
  Keep(w->Grab(), "edit_downloads_window");
  C(w, kDownloadConnectionsField)->SetText("0");
  C(w, kDownloadOKButton)->Click();
  Pump();
  EXPECT_EQ(std::as_const(*a).element().connections, 1);
  EXPECT_EQ(std::as_const(*b).element().connections, 1);
  EXPECT_EQ(a->url(), std::optional<std::string>("http://example.org/a.bin"));
}

}  // namespace
}  // namespace ui
