// Sheets whose opener waits for the answer, and alerts shown as sheets.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/runtime/event_queue.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/app/modal_automation.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/toolbox/windows/sheet_modal.h"

namespace toolbox {
namespace {

using namespace std::chrono_literals;

constexpr FourCharCode kRetry = FourCC("Rtry");

class SheetModalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = Window::Create({.title = "Parent", .content = {100, 100, 400, 300}});
    parent_->Show();
    sheet_ = MakeSheet(*parent_);
  }
  void TearDown() override {
    for (auto& t : timers_) t->Invalidate();
    parent_->Release();
    Application::Shared().ProcessPendingEvents();
  }
  static std::shared_ptr<Window> MakeSheet(Window& parent) {
    auto sheet = Window::Create({.kind = WindowKind::kSheet, .content = {0, 0, 300, 120}, .parent = &parent});
    sheet->AddControl({.id = {kApplicationSignature, 1},
                       .bounds = {200, 80, 80, 24},
                       .text = "OK",
                       .command = kCommandOK,
                       .is_default = true});
    sheet->AddControl({.id = {kApplicationSignature, 2},
                       .bounds = {110, 80, 80, 24},
                       .text = "Cancel",
                       .command = kCommandCancel,
                       .is_cancel = true});
    sheet->AddControl(
        {.id = {kApplicationSignature, 3}, .bounds = {10, 80, 80, 24}, .text = "Retry", .command = kRetry});
    return sheet;
  }
  // Runs `step` from the main run loop once the modal run is under way.
  void Later(std::function<void()> step) {
    timers_.push_back(InstallMainTimer(1ms, 0ns, [step = std::move(step)](runtime::Timer&) { step(); }));
  }
  void Press(Window& sheet, int number) { sheet.FindControl(kApplicationSignature, number)->Click(); }

  std::shared_ptr<Window> parent_;
  std::shared_ptr<Window> sheet_;
  std::vector<std::shared_ptr<runtime::Timer>> timers_;
};

TEST_F(SheetModalTest, AButtonNobodyHandlesAnswersWithItsCommand) {
  for (int number : {1, 2, 3}) {
    Later([this, number] {
      EXPECT_TRUE(sheet_->IsVisible());
      EXPECT_TRUE(IsSheetRunningModal(*sheet_));
      Press(*sheet_, number);
    });
    const FourCharCode expected = number == 1 ? kCommandOK : number == 2 ? kCommandCancel : kRetry;
    EXPECT_EQ(RunSheetModal(*sheet_), expected);
    EXPECT_FALSE(sheet_->IsVisible());
    EXPECT_FALSE(IsSheetRunningModal(*sheet_));
  }
}

TEST_F(SheetModalTest, AHandlerThatTakesTheCommandKeepsTheSheetUpUntilItEndsTheRun) {
  int checks = 0;
  sheet_->InstallHandler({{kEventClassCommand, kEventCommandProcess}},
                         [&](runtime::HandlerCall&, runtime::Event& event) {
                           if (GetCommand(event).id != kCommandOK) return runtime::kEventNotHandledErr;
                           if (++checks == 2) EndSheetModal(*sheet_, kCommandOK);
                           return runtime::kNoErr;
                         });
  Later([this] {
    Press(*sheet_, 1);  // refused by the check: the run goes on
    Later([this] {
      EXPECT_TRUE(sheet_->IsVisible());
      Press(*sheet_, 1);
    });
  });
  EXPECT_EQ(RunSheetModal(*sheet_), kCommandOK);
  EXPECT_EQ(checks, 2);
}

TEST_F(SheetModalTest, PostedEventsAreServedWhileTheSheetWaits) {
  auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject, nullptr);
  bool served = false;
  auto handler = target->InstallHandler({{FourCC("Test"), 1}}, [&](runtime::HandlerCall&, runtime::Event&) {
    served = true;
    Press(*sheet_, 1);
    return runtime::kNoErr;
  });
  Later([&] {
    auto event = runtime::Event::Create(FourCC("Test"), 1);
    event->SetPostTarget(target);
    runtime::EventQueue::Main()->Post(event);
  });
  EXPECT_EQ(RunSheetModal(*sheet_), kCommandOK);
  EXPECT_TRUE(served);
}

TEST_F(SheetModalTest, ASheetReleasedWhileWaitingAnswersCancel) {
  Later([this] { sheet_->Release(); });
  EXPECT_EQ(RunSheetModal(*sheet_), kCommandCancel);
  EXPECT_EQ(RunSheetModal(*sheet_), 0u);  // released: cannot be shown again
}

TEST_F(SheetModalTest, AnOpeningHandlerThatRefusesMeansNoRun) {
  sheet_->InstallHandler({{kEventClassWindow, kEventWindowSheetOpening}},
                         [](runtime::HandlerCall&, runtime::Event&) { return runtime::kParamErr; });
  EXPECT_EQ(RunSheetModal(*sheet_), 0u);
  EXPECT_FALSE(IsSheetRunningModal(*sheet_));
}

TEST_F(SheetModalTest, InnerRunsEndFirstAndAnApplicationQuitWaitsForThem) {
  auto other_parent = Window::Create({.title = "Other", .content = {500, 100, 400, 300}});
  auto other_sheet = MakeSheet(*other_parent);
  FourCharCode inner_answer = 0;
  FourCharCode outer_answer = 0;
  Later([&] {
    outer_answer = RunSheetModal(*sheet_);
    runtime::QuitApplicationEventLoop();
  });
  timers_.push_back(InstallMainTimer(5ms, 0ns, [&](runtime::Timer&) {
    Later([&] {
      // A quit of the application loop must not end the sheets' runs.
      runtime::QuitApplicationEventLoop();
      Later([&] {
        EXPECT_TRUE(IsSheetRunningModal(*other_sheet));
        Press(*sheet_, 2);  // the outer sheet answers first, but returns after the inner
        Press(*other_sheet, 3);
      });
    });
    inner_answer = RunSheetModal(*other_sheet);
    EXPECT_EQ(outer_answer, 0u);  // not yet returned
  }));
  runtime::RunApplicationEventLoop();
  EXPECT_EQ(inner_answer, kRetry);
  EXPECT_EQ(outer_answer, kCommandCancel);
  other_parent->Release();
}

TEST_F(SheetModalTest, AnAlertWithAParentIsASheetOfThatWindowOnly) {
  auto presenter = MakeQtPresenter();
  AlertRequest alert;
  alert.message = "Closing this window will stop the operation.";
  alert.buttons = {{"Close", true, false}, {"Cancel", false, true}};
  alert.parent = parent_.get();
  // Answered from a run-loop timer: the main loop goes on under the sheet.
  Later([] { PressButtonInNextModal("Cancel"); });
  EXPECT_EQ(presenter->RunAlert(alert), 1);
  PressButtonInNextModal("Close");
  EXPECT_EQ(presenter->RunAlert(alert), 0);
}

}  // namespace
}  // namespace toolbox
