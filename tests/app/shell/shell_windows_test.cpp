#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/message_window.h"
#include "app/shell/quit_warning_window.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/util/text/english_texts.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/theme/font.h"
#include "tests/fakes/fake_ui_services.h"
#include "tests/support/temp_home.h"

// Qt's keywords (slots) must not come before the project's headers.
#include <QWidget>
#include <QWindow>

namespace shell {
namespace {

using toolbox::kApplicationSignature;

// The message windows a call to ShowMessageWindow made (the newest last).
std::vector<std::shared_ptr<toolbox::Window>> MessageWindows() {
  std::vector<std::shared_ptr<toolbox::Window>> out;
  for (auto& w : toolbox::Window::AllWindows())
    if (w->FindControl(kApplicationSignature, kMessageTextControlID) && !w->IsInWindowMenu())
      out.push_back(w);
  return out;
}

class MessageWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& w : MessageWindows()) w->Release();
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  // The standard window's own size, before any text.
  toolbox::Rect NibContent() {
    auto w = CreateStandardMessageWindow();
    const toolbox::Rect r = w->ContentBounds();
    w->Release();
    return r;
  }
};

TEST_F(MessageWindowTest, AOneLineMessageKeepsTheWindowSize) {
  const toolbox::Rect nib = NibContent();
  ASSERT_EQ(ShowMessageWindow(nullptr, "Download of %@ complete", {"file.zip"}), runtime::kNoErr);
  auto windows = MessageWindows();
  ASSERT_EQ(windows.size(), 1u);
  auto w = windows.back();
  EXPECT_EQ(w->FindControl(kApplicationSignature, kMessageTextControlID)->Text(),
            "Download of file.zip complete");
  EXPECT_EQ(w->ContentBounds().width, nib.width);
  EXPECT_EQ(w->ContentBounds().height, nib.height);
  EXPECT_TRUE(w->IsVisible());
}

TEST_F(MessageWindowTest, ALongMessageGrowsTheWindowByTheMissingHeight) {
  const toolbox::Rect nib = NibContent();
  std::string text;
  for (int i = 0; i < 12; ++i) text += "The server closed the connection before the transfer ended. ";
  ShowMessageWindow(nullptr, "%@", {text});
  auto w = MessageWindows().back();
  toolbox::Control* control = w->FindControl(kApplicationSignature, kMessageTextControlID);
  const toolbox::Font font = toolbox::GetThemeFont(toolbox::ThemeFont::kSystem);
  const double needed = toolbox::MeasureWrappedText(text, font, 380).height;
  ASSERT_GT(needed, 40) << "the text must not fit the original 40 points";
  EXPECT_EQ(w->ContentBounds().height, nib.height + needed - 40);
  EXPECT_EQ(w->ContentBounds().width, nib.width);
  EXPECT_EQ(control->Bounds().height, needed) << "the text area grew with the window";
  toolbox::Control* ok = w->FindControl(kApplicationSignature, kMessageOKButtonID);
  EXPECT_EQ(ok->Bounds().Bottom(), w->ContentBounds().height - 14) << "OK stays at the bottom";
}

TEST_F(MessageWindowTest, OKClosesTheWindowAndOutsideTextIsNotAFormat) {
  ShowMessageWindow(nullptr, "Error: %@", {"100% done %d"});
  auto w = MessageWindows().back();
  EXPECT_EQ(w->FindControl(kApplicationSignature, kMessageTextControlID)->Text(), "Error: 100% done %d");
  w->FindControl(kApplicationSignature, kMessageOKButtonID)->Click();
  EXPECT_TRUE(w->IsReleased());
  EXPECT_TRUE(MessageWindows().empty());
}

TEST_F(MessageWindowTest, AsksForTheUsersAttentionWhenInTheBackground) {
  auto services = std::make_unique<fakes::FakeUiServices>();
  fakes::FakeUiServices* fake = services.get();
  fake->frontmost = false;
  auto previous = ui::UiServicesSlot::Set(std::move(services));
  ShowMessageWindow(nullptr, "Done");
  const std::size_t requests = fake->active_attention_requests.size();
  ui::UiServicesSlot::Set(std::move(previous));
  EXPECT_EQ(requests, 1u);
}

TEST_F(MessageWindowTest, GrabbedWindowIsNotBlank) {
  ShowMessageWindow(nullptr, "The transfer of %@ failed.", {"archive.tar.gz"});
  auto w = MessageWindows().back();
  const std::string path = testsupport::MakeTempDir("grab") + "/message.png";
  ASSERT_TRUE(w->GrabToPng(path));
  auto image = toolbox::Image::LoadPng(path);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width(), int(w->ContentBounds().width));
  // Text and a button make many colours; a blank grab has one.
  std::set<std::uint32_t> colours;
  int dark = 0;
  for (int y = 0; y < image->height(); ++y)
    for (int x = 0; x < image->width(); ++x) {
      colours.insert(image->Argb(x, y));
      if (image->PixelAt(x, y).red < 0.3) ++dark;
    }
  EXPECT_GT(colours.size(), 10u);
  EXPECT_GT(dark, 50) << "the text is drawn";

  // For reviewing the look: TRUVANE_SCREENSHOT_DIR=/some/folder keeps the pictures.
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR")) {
    w->GrabToPng(std::string(keep) + "/message_window.png");
    ShowQuitWarningWindow();
    CurrentQuitWarningWindow()->GrabToPng(std::string(keep) + "/quit_warning_window.png");
    CurrentQuitWarningWindow()->Release();
  }
}

// Failures gather in one window that belongs to the main window: the newest first, six
// at most with a line counting the others (the log has them), the other system's CR line
// breaks shown as line breaks; OK dismisses them all, and the next failure starts afresh.
class GatheredMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    queue::ClearQueueTables();
    queue::ClearFolderTable();
    queue::AddMissingBuiltInFolders();
    ui::InstallMainWindowServices();
    ui::InstallMainList();
    ui::CreateMainWindow({});
    ASSERT_NE(ui::GetMainWindow(), nullptr);
  }
  void TearDown() override {
    CloseGatheredMessages();
    ui::DisposeMainWindow();
    queue::ClearDisplayedViews();
    ui::UninstallMainList();
    ui::UninstallMainWindowServices();
    queue::ClearFolderTable();
    queue::ClearQueueTables();
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  static std::string Failure(int n) {
    return "The download of \rhttp://127.0.0.1/f" + std::to_string(n) +
           "\r failed because no urls were valid. Last error: Connection refused.";
  }
  static std::string Shown(int n) {
    return "The download of \nhttp://127.0.0.1/f" + std::to_string(n) +
           "\n failed because no urls were valid. Last error: Connection refused.";
  }
  static std::string Text(toolbox::Window& w) {
    return w.FindControl(kApplicationSignature, kMessageTextControlID)->Text();
  }
};

TEST_F(GatheredMessagesTest, FailuresGatherNewestFirstInOneWindowOfTheMainWindow) {
  struct Case {
    int failures;
    std::string text;
  } cases[] = {
      {1, Shown(1)},
      {2, Shown(2) + "\n\n" + Shown(1)},
      {6, Shown(6) + "\n\n" + Shown(5) + "\n\n" + Shown(4) + "\n\n" + Shown(3) + "\n\n" + Shown(2) + "\n\n" +
              Shown(1)},
      {7, Shown(7) + "\n\n" + Shown(6) + "\n\n" + Shown(5) + "\n\n" + Shown(4) + "\n\n" + Shown(3) + "\n\n" +
              Shown(2) + "\n\nOne earlier message is not shown here: Window > View Log lists it."},
      {9, Shown(9) + "\n\n" + Shown(8) + "\n\n" + Shown(7) + "\n\n" + Shown(6) + "\n\n" + Shown(5) + "\n\n" +
              Shown(4) + "\n\n3 earlier messages are not shown here: Window > View Log lists them."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failures);
    const std::size_t before = MessageWindows().size();
    for (int i = 1; i <= c.failures; ++i) ShowGatheredMessage(Failure(i));
    EXPECT_EQ(MessageWindows().size(), before + 1) << "one window for all of them";
    std::shared_ptr<toolbox::Window> w = GatheredMessageWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Text(*w), c.text);
    EXPECT_TRUE(w->IsVisible());
    // It belongs to the main window: kept above it, never lost behind it.
    ASSERT_NE(w->widget()->windowHandle(), nullptr);
    EXPECT_EQ(w->widget()->windowHandle()->transientParent(), ui::GetMainWindow()->widget()->windowHandle());
    // Every line of the text is inside the window.
    toolbox::Control* text = w->FindControl(kApplicationSignature, kMessageTextControlID);
    EXPECT_GE(text->Bounds().height, text->BestRect().height);
    EXPECT_LE(text->Bounds().Bottom(), w->ContentBounds().height);

    w->FindControl(kApplicationSignature, kMessageOKButtonID)->Click();
    EXPECT_TRUE(w->IsReleased());
    EXPECT_EQ(GatheredMessageWindow(), nullptr);
  }
}

class QuitWarningTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (auto w = CurrentQuitWarningWindow()) w->Release();
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  static int CountWarnings() {
    int n = 0;
    for (auto& w : toolbox::Window::AllWindows()) n += w == CurrentQuitWarningWindow();
    return n;
  }
};

TEST_F(QuitWarningTest, TwoRequestsShowOneWindow) {
  const std::size_t before = toolbox::Window::AllWindows().size();
  ShowQuitWarningWindow();
  auto first = CurrentQuitWarningWindow();
  ShowQuitWarningWindow();
  EXPECT_EQ(CurrentQuitWarningWindow(), first);
  EXPECT_EQ(toolbox::Window::AllWindows().size(), before + 1);
  EXPECT_TRUE(first->IsVisible());
}

TEST_F(QuitWarningTest, CancelClosesItAndTheNextRequestMakesAFreshOne) {
  ShowQuitWarningWindow();
  auto first = CurrentQuitWarningWindow();
  ASSERT_EQ(first->ProcessCommand(toolbox::kCommandCancel), runtime::kNoErr);
  EXPECT_TRUE(first->IsReleased());
  EXPECT_EQ(CurrentQuitWarningWindow(), nullptr);
  ShowQuitWarningWindow();
  EXPECT_NE(CurrentQuitWarningWindow(), first);
  EXPECT_FALSE(CurrentQuitWarningWindow()->IsReleased());
}

TEST_F(QuitWarningTest, QuitButtonEndsTheApplicationLoop) {
  ShowQuitWarningWindow();
  auto w = CurrentQuitWarningWindow();
  // Press the default button from inside the running loop; a guard timer bounds the test.
  bool pressed = false;
  auto press = runtime::Timer::Create(std::chrono::milliseconds(1), std::chrono::milliseconds(0),
                                      [&](runtime::Timer&) {
                                        pressed = true;
                                        w->DefaultButton()->Click();
                                      });
  bool timed_out = false;
  auto guard =
      runtime::Timer::Create(std::chrono::seconds(5), std::chrono::milliseconds(0), [&](runtime::Timer&) {
        timed_out = true;
        toolbox::Application::Shared().QuitEventLoop();
      });
  runtime::RunLoop::Main()->AddTimer(press);
  runtime::RunLoop::Main()->AddTimer(guard);
  runtime::RunApplicationEventLoop();
  press->Invalidate();
  guard->Invalidate();
  EXPECT_TRUE(pressed);
  EXPECT_FALSE(timed_out);
  EXPECT_FALSE(w->IsReleased()) << "the window stays until the process ends";
}

}  // namespace
}  // namespace shell
