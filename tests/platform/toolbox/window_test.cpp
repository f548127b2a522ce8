#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <set>
#include <vector>

#include "platform/prefs/preference_store.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/windows/window.h"
#include "tests/support/temp_home.h"

namespace toolbox {
namespace {

using runtime::kEventNotHandledErr;
using runtime::kNoErr;

constexpr FourCharCode kTestCommand = FourCC("Tst1");
constexpr FourCharCode kOtherCommand = FourCC("Tst2");

class WindowTest : public ::testing::Test {
 protected:
  std::shared_ptr<Window> MakeWindow(Rect content = {100, 100, 300, 200}, bool resizable = true) {
    WindowSpec desc;
    desc.title = "Test";
    desc.content = content;
    desc.resizable = resizable;
    auto w = Window::Create(desc);
    windows_.push_back(w);
    return w;
  }
  void TearDown() override {
    for (auto& w : windows_) w->Release();
    handlers_.clear();
    Application::Shared().ProcessPendingEvents();
  }
  // Handlers on the application target must not outlive the test.
  runtime::HandlerRef OnApplication(std::vector<runtime::EventTypeSpec> types, runtime::EventHandler h) {
    auto ref = runtime::EventTarget::Application()->InstallHandler(std::move(types), std::move(h));
    handlers_.push_back(ref);
    return ref;
  }
  ~WindowTest() override {
    for (auto& h : handlers_) h->Remove();
  }

  std::vector<std::shared_ptr<Window>> windows_;
  std::vector<runtime::HandlerRef> handlers_;
};

TEST_F(WindowTest, ControlsAreFoundBySignatureAndNumber) {
  auto w = MakeWindow();
  w->AddControl({.kind = ControlKind::kStaticText,
                 .id = {kApplicationSignature, 3},
                 .bounds = {10, 10, 200, 20},
                 .text = "three"});
  w->AddControl({.kind = ControlKind::kCheckBox,
                 .id = {FourCC("Othr"), 3},
                 .bounds = {10, 40, 200, 20},
                 .text = "box"});
  ASSERT_NE(w->FindControl(kApplicationSignature, 3), nullptr);
  EXPECT_EQ(w->FindControl(kApplicationSignature, 3)->Text(), "three");
  EXPECT_EQ(w->FindControl(FourCC("Othr"), 3)->kind(), ControlKind::kCheckBox);
  EXPECT_EQ(w->FindControl(kApplicationSignature, 4), nullptr);
}

TEST_F(WindowTest, ControlStateReadsBackPerKind) {
  auto w = MakeWindow();
  auto menu = Menu::Create(500);
  menu->AppendItem("One");
  menu->AppendSeparator();
  menu->AppendItem("Three");
  Control* box = w->AddControl({.kind = ControlKind::kCheckBox, .id = {kApplicationSignature, 1}});
  Control* pop =
      w->AddControl({.kind = ControlKind::kPopUpButton, .id = {kApplicationSignature, 2}, .menu = menu});
  Control* slider = w->AddControl({.kind = ControlKind::kSlider,
                                   .id = {kApplicationSignature, 3},
                                   .value = 5,
                                   .minimum = 1,
                                   .maximum = 10});
  Control* number = w->AddControl({.kind = ControlKind::kNumberText, .id = {kApplicationSignature, 4}});
  Control* date = w->AddControl({.kind = ControlKind::kDateTime, .id = {kApplicationSignature, 5}});
  Control* disclosure = w->AddControl({.kind = ControlKind::kDisclosure, .id = {kApplicationSignature, 6}});

  box->SetValue(1);
  EXPECT_EQ(box->Value(), 1);
  box->Click();
  EXPECT_EQ(box->Value(), 0);

  EXPECT_EQ(pop->Maximum(), 3);
  pop->SetValue(3);
  EXPECT_EQ(pop->Value(), 3);
  EXPECT_EQ(pop->Text(), "Three");

  EXPECT_EQ(slider->Value(), 5);
  slider->SetValue(40);
  EXPECT_EQ(slider->Value(), 10) << "clamped to the maximum";
  slider->SetMaximum(50);
  slider->SetValue(40);
  EXPECT_EQ(slider->Value(), 40);

  number->SetValue(1234);
  EXPECT_EQ(number->Text(), "1234");
  EXPECT_EQ(number->Value(), 1234);

  date->SetValue(86400 * 365);  // 2002-01-01 00:00:00 UTC
  EXPECT_EQ(date->Value(), 86400 * 365);

  EXPECT_EQ(disclosure->Value(), 0);
  disclosure->Click();
  EXPECT_EQ(disclosure->Value(), 1);
}

TEST_F(WindowTest, EnableVisibleAndFocusAreTheControlsOwn) {
  auto w = MakeWindow();
  Control* field =
      w->AddControl({.kind = ControlKind::kPasswordText, .id = {kApplicationSignature, 1}, .text = "secret"});
  Control* button = w->AddControl({.kind = ControlKind::kPushButton, .id = {kApplicationSignature, 2}});
  EXPECT_EQ(field->Text(), "secret");
  button->SetEnabled(false);
  EXPECT_FALSE(button->IsEnabled());
  field->SetVisible(false);
  EXPECT_FALSE(field->IsVisible());
  field->SetVisible(true);
  w->Select();
  field->SetFocus();
  Application::Shared().ProcessPendingEvents();
  EXPECT_EQ(w->FocusedControl(), field);
}

TEST_F(WindowTest, CommandsGoFocusThenWindowThenApplicationAndFallThrough) {
  auto w = MakeWindow();
  Control* field = w->AddControl({.kind = ControlKind::kEditText, .id = {kApplicationSignature, 1}});
  std::vector<std::string> seen;
  auto record = [&](std::string who, Status answer) {
    return [&seen, who, answer](runtime::HandlerCall&, runtime::Event& e) {
      if (GetCommand(e).id != kTestCommand) return kEventNotHandledErr;
      seen.push_back(who);
      return answer;
    };
  };
  const std::vector<runtime::EventTypeSpec> process = {{kEventClassCommand, kEventCommandProcess}};
  field->target()->InstallHandler(process, record("control", kEventNotHandledErr));
  w->InstallHandler(process, record("window", kEventNotHandledErr));
  OnApplication(process, record("application", kNoErr));

  w->Select();
  field->SetFocus();
  Application::Shared().ProcessPendingEvents();
  EXPECT_EQ(w->ProcessCommand(kTestCommand), kNoErr);
  EXPECT_EQ(seen, (std::vector<std::string>{"control", "window", "application"}));
  EXPECT_EQ(w->ProcessCommand(kOtherCommand), kEventNotHandledErr) << "nobody takes it";
}

TEST_F(WindowTest, PushButtonSendsItsCommandAndReturnPressesTheDefault) {
  auto w = MakeWindow();
  Control* ok = w->AddControl({.kind = ControlKind::kPushButton,
                               .id = {kApplicationSignature, 1},
                               .text = "OK",
                               .command = kCommandOK,
                               .is_default = true});
  w->AddControl({.kind = ControlKind::kPushButton,
                 .id = {kApplicationSignature, 2},
                 .text = "Cancel",
                 .command = kCommandCancel,
                 .is_cancel = true});
  std::vector<FourCharCode> got;
  w->InstallHandler({{kEventClassCommand, kEventCommandProcess}},
                    [&](runtime::HandlerCall&, runtime::Event& e) {
                      got.push_back(GetCommand(e).id);
                      return kNoErr;
                    });
  ok->Click();
  ok->SetEnabled(false);
  ok->Click();  // disabled: nothing
  ok->SetEnabled(true);
  w->DefaultButton()->Click();
  w->CancelButton()->Click();
  EXPECT_EQ(got, (std::vector<FourCharCode>{kCommandOK, kCommandOK, kCommandCancel}));
}

TEST_F(WindowTest, UpdateStatusEnablesButtonsAndLeavesUnansweredOnesAlone) {
  auto w = MakeWindow();
  Control* a = w->AddControl(
      {.kind = ControlKind::kPushButton, .id = {kApplicationSignature, 1}, .command = kTestCommand});
  Control* b = w->AddControl(
      {.kind = ControlKind::kPushButton, .id = {kApplicationSignature, 2}, .command = kOtherCommand});
  b->SetEnabled(false);
  bool allow = false;
  w->InstallHandler({{kEventClassCommand, kEventCommandUpdateStatus}},
                    [&](runtime::HandlerCall&, runtime::Event& e) {
                      if (GetCommand(e).id != kTestCommand) return kEventNotHandledErr;
                      SetCommandEnabled(e, allow);
                      return kNoErr;
                    });
  w->UpdateButtonStates();
  EXPECT_FALSE(a->IsEnabled());
  EXPECT_FALSE(b->IsEnabled()) << "no handler answered: state kept";
  allow = true;
  w->UpdateButtonStates();
  EXPECT_TRUE(a->IsEnabled());
  EXPECT_TRUE(w->UpdateCommandStatus(kTestCommand).enabled.value_or(false));
  EXPECT_FALSE(w->UpdateCommandStatus(kOtherCommand).enabled.has_value());
}

TEST_F(WindowTest, ReleaseSendsDisposeOnceAndForgetsTheWindow) {
  auto w = MakeWindow();
  int disposed = 0;
  w->InstallHandler({{kEventClassWindow, kEventWindowDispose}}, [&](runtime::HandlerCall&, runtime::Event&) {
    ++disposed;
    return kEventNotHandledErr;
  });
  w->Show();
  const std::size_t before = Window::AllWindows().size();
  w->Release();
  w->Release();
  EXPECT_EQ(disposed, 1);
  EXPECT_TRUE(w->IsReleased());
  EXPECT_EQ(Window::AllWindows().size(), before - 1);
  EXPECT_EQ(w->FindControl(kApplicationSignature, 1), nullptr);
}

TEST_F(WindowTest, CloseBoxReleasesUnlessAHandlerKeepsTheWindow) {
  auto kept = MakeWindow();
  kept->InstallHandler({{kEventClassWindow, kEventWindowClose}},
                       [](runtime::HandlerCall&, runtime::Event&) { return kNoErr; });
  auto closed = MakeWindow();
  kept->Show();
  closed->Show();
  kept->Close();
  closed->Close();
  EXPECT_FALSE(kept->IsReleased());
  EXPECT_TRUE(closed->IsReleased());
}

TEST_F(WindowTest, BoundEdgesFollowTheWindowWhenItGrows) {
  auto w = MakeWindow({100, 100, 300, 200});
  Control* text = w->AddControl({.kind = ControlKind::kStaticText,
                                 .id = {kApplicationSignature, 1},
                                 .bounds = {10, 10, 280, 150},
                                 .bindings = kBindLeft | kBindTop | kBindRight | kBindBottom});
  Control* ok = w->AddControl({.kind = ControlKind::kPushButton,
                               .id = {kApplicationSignature, 2},
                               .bounds = {210, 170, 80, 20},
                               .bindings = kBindRight | kBindBottom});
  w->SetContentBounds({100, 100, 340, 260});
  EXPECT_EQ(text->Bounds(), (Rect{10, 10, 320, 210}));
  EXPECT_EQ(ok->Bounds(), (Rect{250, 230, 80, 20}));
}

TEST_F(WindowTest, FrameIsSavedUnderItsKeyAndRestoredOnScreen) {
  auto w = MakeWindow({50, 60, 300, 200});
  w->SetFrameAutosaveKey("Test Window Frame");
  w->SetContentBounds({70, 80, 320, 210});
  auto saved = prefs::SharedPreferences().GetDictionary("Test Window Frame");
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->at("left").AsNumber()->AsInt32(), 70);
  EXPECT_EQ(saved->at("bottom").AsNumber()->AsInt32(), 290);

  auto again = MakeWindow({0, 0, 100, 100});
  EXPECT_TRUE(again->SetFrameAutosaveKey("Test Window Frame"));
  EXPECT_EQ(again->ContentBounds(), (Rect{70, 80, 320, 210}));
  EXPECT_FALSE(MakeWindow()->SetFrameAutosaveKey("No Such Frame"));

  // A frame saved far off the screen comes back onto it.
  prefs::SharedPreferences().Set("Far Frame",
                                 values::Value(values::Dictionary{
                                     {"left", 20000}, {"top", 20000}, {"right", 20300}, {"bottom", 20200}}));
  auto far = MakeWindow();
  EXPECT_TRUE(far->SetFrameAutosaveKey("Far Frame"));
  EXPECT_LT(far->ContentBounds().x, 20000);
  EXPECT_EQ(far->ContentBounds().width, 300);
}

TEST_F(WindowTest, PropertiesOpacityAndStayOnTop) {
  auto w = MakeWindow();
  w->SetProperty(kApplicationSignature, FourCC("Quid"), values::Value(42));
  ASSERT_NE(w->Property(kApplicationSignature, FourCC("Quid")), nullptr);
  EXPECT_EQ(w->Property(kApplicationSignature, FourCC("Quid"))->AsNumber()->AsInt32(), 42);
  EXPECT_EQ(w->Property(kApplicationSignature, FourCC("none")), nullptr);
  w->RemoveProperty(kApplicationSignature, FourCC("Quid"));
  EXPECT_EQ(w->Property(kApplicationSignature, FourCC("Quid")), nullptr);

  w->Show();
  w->SetOpacity(0.5);
  EXPECT_NEAR(w->Opacity(), 0.5, 0.01);
  w->SetStayOnTop(true);
  EXPECT_TRUE(w->IsStayOnTop());
  EXPECT_TRUE(w->IsVisible()) << "changing the level keeps the window shown";
}

TEST_F(WindowTest, GrabShowsTheControlsOffscreen) {
  auto w = MakeWindow({0, 0, 200, 80});
  w->AddControl({.kind = ControlKind::kPushButton,
                 .id = {kApplicationSignature, 1},
                 .bounds = {10, 10, 100, 24},
                 .text = "Press"});
  w->Show();
  const Image image = w->Grab();
  ASSERT_EQ(image.width(), 200);
  std::set<std::uint32_t> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.Argb(x, y));
  EXPECT_GT(colours.size(), 3u);
  EXPECT_TRUE(w->GrabToPng(testsupport::MakeTempDir("grab") + "/w.png"));
}

TEST(ApplicationLoop, MainRunLoopTimersRunInsideTheQtLoopAndQuitEndsIt) {
  Application& app = Application::Shared();
  int fired = 0;
  auto timer = runtime::Timer::Create(
      std::chrono::milliseconds(1), std::chrono::milliseconds(0), [&](runtime::Timer&) {
        ++fired;
        runtime::QuitApplicationEventLoop();  // reaches the Qt loop through the runtime
      });
  runtime::RunLoop::Main()->AddTimer(timer);
  // Bound the test: should the quit be lost, a second timer ends the loop anyway.
  auto guard = runtime::Timer::Create(std::chrono::seconds(5), std::chrono::milliseconds(0),
                                      [&](runtime::Timer&) { app.QuitEventLoop(); });
  runtime::RunLoop::Main()->AddTimer(guard);
  runtime::RunApplicationEventLoop();
  guard->Invalidate();
  timer->Invalidate();
  EXPECT_EQ(fired, 1);

  // A quit asked for before the loop runs ends the next one at once.
  runtime::QuitApplicationEventLoop();
  runtime::RunApplicationEventLoop();
  EXPECT_FALSE(app.IsRunningEventLoop());
}

TEST(ApplicationLoop, EventsPostedToTheMainQueueReachTheApplicationTarget) {
  Application& app = Application::Shared();
  int got = 0;
  auto handler = runtime::EventTarget::Application()->InstallHandler(
      {{FourCC("TstE"), 1}}, [&](runtime::HandlerCall&, runtime::Event&) {
        ++got;
        return kNoErr;
      });
  runtime::EventQueue::Main()->Post(runtime::Event::Create(FourCC("TstE"), 1));
  for (int i = 0; i < 50 && got == 0; ++i) app.ProcessPendingEvents();
  handler->Remove();
  EXPECT_EQ(got, 1);
}

TEST_F(WindowTest, AMenuBarSitsAboveTheContentWhichKeepsItsPlace) {
  auto w = MakeWindow({100, 120, 300, 200});
  Control* box = w->AddControl({.kind = ControlKind::kPlacard,
                                .id = {kApplicationSignature, 1},
                                .bounds = {0, 0, 300, 20},
                                .bindings = kBindLeft | kBindRight | kBindTop});
  MenuBar bar;
  auto file = Menu::Create(129, "File");
  file->AppendItem("Close", kCommandClose);
  bar.Append(file);
  w->SetMenuBar(&bar);
  EXPECT_TRUE(w->HasMenuBar());
  EXPECT_EQ(w->ContentBounds(), (Rect{100, 120, 300, 200}));
  EXPECT_EQ(box->Bounds(), (Rect{0, 0, 300, 20}));
  w->Show();
  const Image grab = w->Grab();
  EXPECT_GT(grab.height(), 200) << "the grab holds the bar and the content";

  bar.Append(Menu::Create(132, "Edit"));
  w->RebuildMenuBar();
  w->SetContentBounds({100, 120, 360, 220});
  EXPECT_EQ(box->Bounds(), (Rect{0, 0, 360, 20}));
  w->SetMenuBar(nullptr);
  EXPECT_EQ(w->ContentBounds(), (Rect{100, 120, 360, 220}));
}

// A menu bar or a toolbar grows the frame upward from the content: a window at the top
// of the screen comes down so that the whole frame stays on it.
TEST_F(WindowTest, AFrameGrownAboveTheScreenComesBackOnIt) {
  struct Case {
    double top;
    bool moved;
  } cases[] = {{0, true}, {4, true}, {200, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.top);
    auto w = MakeWindow({100, c.top, 300, 200});
    MenuBar bar;
    bar.Append(Menu::Create(129, "File"));
    w->SetMenuBar(&bar);
    EXPECT_GE(w->StructureBounds().y, 0);
    EXPECT_EQ(w->ContentBounds().height, 200);
    if (c.moved) {
      EXPECT_EQ(w->StructureBounds().y, 0);
      EXPECT_GT(w->ContentBounds().y, c.top);
    } else {
      EXPECT_EQ(w->ContentBounds().y, c.top);
    }
    w->SetMenuBar(nullptr);
  }
}

// Ctrl+W closes a window without a menu bar (as its close box); a window with a menu bar
// leaves the key to its menus.
TEST_F(WindowTest, ControlWClosesAWindowWithoutAMenuBar) {
  MenuBar bar;
  bar.Append(Menu::Create(129, "File"));
  struct Case {
    bool menuBar, closeBox, closed;
  } cases[] = {{false, true, true}, {true, true, false}, {false, false, false}};
  for (const Case& c : cases) {
    WindowSpec desc;
    desc.title = "Keys";
    desc.content = {100, 100, 300, 200};
    desc.close_box = c.closeBox;
    auto w = Window::Create(desc);
    windows_.push_back(w);
    if (c.menuBar) w->SetMenuBar(&bar);
    w->Show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier, QStringLiteral("w"));
    QApplication::sendEvent(w->widget(), &press);
    EXPECT_EQ(w->IsReleased(), c.closed) << c.menuBar << c.closeBox;
    if (!w->IsReleased()) w->SetMenuBar(nullptr);
  }
}

TEST(Sheets, OpenAndCloseHooksAndARefusedOpening) {
  auto parent = Window::Create({.content = {100, 100, 400, 300}});
  auto sheet =
      Window::Create({.kind = WindowKind::kSheet, .content = {0, 0, 200, 100}, .parent = parent.get()});
  std::vector<std::uint32_t> events;
  bool refuse = true;
  sheet->InstallHandler({{kEventClassWindow, kEventWindowSheetOpening},
                         {kEventClassWindow, kEventWindowSheetOpened},
                         {kEventClassWindow, kEventWindowSheetClosing},
                         {kEventClassWindow, kEventWindowSheetClosed}},
                        [&](runtime::HandlerCall&, runtime::Event& e) {
                          events.push_back(e.kind());
                          if (e.kind() == kEventWindowSheetOpening && refuse) return runtime::Status(-128);
                          return runtime::kEventNotHandledErr;
                        });
  parent->Show();
  EXPECT_EQ(sheet->ShowSheet(), -128);
  EXPECT_FALSE(sheet->IsVisible());
  refuse = false;
  EXPECT_EQ(sheet->ShowSheet(), runtime::kNoErr);
  EXPECT_TRUE(sheet->IsVisible());
  EXPECT_EQ(sheet->SheetParent(), parent.get());
  parent->Release();  // takes its sheet with it
  EXPECT_TRUE(sheet->IsReleased());
  EXPECT_EQ(events, (std::vector<std::uint32_t>{kEventWindowSheetOpening, kEventWindowSheetOpening,
                                                kEventWindowSheetOpened, kEventWindowSheetClosing,
                                                kEventWindowSheetClosed}));
  Application::Shared().ProcessPendingEvents();
}

}  // namespace
}  // namespace toolbox
