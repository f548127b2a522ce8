// The schedule sheet on the main window: what it shows of the stored schedule, the
// controls of each mode, the day pop-ups' marks, OK storing what it holds or refusing with
// the reason in an alert, Cancel, and texts that fit their controls.
#include "app/ui/schedule/schedule_sheet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/queue/schedule/queue_schedule.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/date_time.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

using toolbox::kApplicationSignature;

class ScheduleSheetTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    presenter_ = std::make_unique<fakes::ScopedScriptedPresenter>();
    queue::GetQueueSchedule() = {};
  }
  void TearDown() override {
    if (toolbox::Window* sheet = GetScheduleSheet()) sheet->Release();
    presenter_.reset();
    queue::GetQueueSchedule() = {};
    MainWindowFixture::TearDown();
  }
  toolbox::Window* Open() {
    Create();
    toolbox::Window* sheet = OpenScheduleSheet();
    Pump();
    return sheet;
  }
  static toolbox::Control* C(toolbox::Window* w, std::int32_t id) {
    return w->FindControl(kApplicationSignature, id);
  }
  // A pop-up item chosen as the user would.
  static void Choose(toolbox::Control* popUp, int item) {
    popUp->SetValue(item);
    popUp->NotifyPressed();
    Pump();
  }
  static void SetDate(toolbox::Window* w, std::int32_t date, std::int32_t time, values::AbsoluteTime at) {
    SetDateControlValue(*C(w, date), *C(w, time), values::SplitDate(at).date);
  }
  fakes::ScriptedPresenter& Presenter() { return presenter_->get(); }
  std::unique_ptr<fakes::ScopedScriptedPresenter> presenter_;
};

// Each mode shows its own controls: the minutes, the days and a time, a date and a time.
TEST_F(ScheduleSheetTest, EachModeShowsItsControlsInBothSections) {
  toolbox::Window* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->kind(), toolbox::WindowKind::kSheet);
  EXPECT_EQ(w->SheetParent(), GetMainWindow());
  EXPECT_TRUE(w->IsVisible());
  EXPECT_EQ(w->FrameAutosaveKey(), "Schedule WindowFrame");
  struct Section {
    std::int32_t check, mode, delta, days, date, time;
  };
  const Section sections[] = {
      {kScheduleStartCheckID, kScheduleStartModeID, kScheduleStartDeltaID, kScheduleStartDaysID,
       kScheduleStartDateID, kScheduleStartTimeID},
      {kScheduleStopCheckID, kScheduleStopModeID, kScheduleStopDeltaID, kScheduleStopDaysID,
       kScheduleStopDateID, kScheduleStopTimeID},
  };
  struct Case {
    int item;
    bool delta, days, date, time;
  };
  const Case cases[] = {
      {1, true, false, false, false},
      {2, false, true, false, true},
      {3, false, false, true, true},
  };
  for (const Section& s : sections) {
    C(w, s.check)->Click();
    Pump();
    for (const Case& c : cases) {
      SCOPED_TRACE(c.item);
      Choose(C(w, s.mode), c.item);
      EXPECT_EQ(C(w, s.delta)->IsVisible(), c.delta);
      EXPECT_EQ(C(w, s.days)->IsVisible(), c.days);
      EXPECT_EQ(C(w, s.date)->IsVisible(), c.date);
      EXPECT_EQ(C(w, s.time)->IsVisible(), c.time);
      EXPECT_TRUE(C(w, s.mode)->IsEnabled());
    }
    // A section that is off greys its controls.
    C(w, s.check)->Click();
    Pump();
    EXPECT_FALSE(C(w, s.mode)->IsEnabled());
    EXPECT_FALSE(C(w, s.time)->IsEnabled());
  }
}

// The stored schedule comes back in the sheet as it was stored.
TEST_F(ScheduleSheetTest, ShowsTheStoredSchedule) {
  const values::AbsoluteTime stopAt =
      values::AssembleDate({.year = 2031, .month = 3, .day = 4, .hour = 22, .minute = 15});
  queue::QueueSchedule& s = queue::GetQueueSchedule();
  s.valid = true;
  s.start = true;
  s.startMode = queue::kScheduleWeekly;
  s.startDayFlags = queue::kWeekend | 0x04;  // weekend and Tuesday
  s.startDate = values::AssembleDate({.year = 2030, .month = 1, .day = 1, .hour = 7, .minute = 30});
  s.stop = true;
  s.stopMode = queue::kScheduleSpecificDate;
  s.stopDate = stopAt;
  s.stopDelta = 90;
  s.useAction = true;
  s.action = 3;
  toolbox::Window* w = Open();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(C(w, kScheduleStartCheckID)->Value(), 1);
  EXPECT_EQ(C(w, kScheduleStartModeID)->Value(), 2);
  EXPECT_EQ(GetCheckedDayFlags(*C(w, kScheduleStartDaysID)->PopUpMenu()), queue::kWeekend | 0x04u);
  EXPECT_EQ(C(w, kScheduleStartDaysID)->Value(), 2) << "the first checked item";
  EXPECT_EQ(C(w, kScheduleStartTimeID)->Text(), "07:30");
  EXPECT_EQ(C(w, kScheduleStopModeID)->Value(), 3);
  EXPECT_EQ(C(w, kScheduleStopDateID)->Text(), "2031-03-04");
  EXPECT_EQ(C(w, kScheduleStopTimeID)->Text(), "22:15");
  EXPECT_EQ(GetDateControlValue(*w, kScheduleStopDateID, kScheduleStopTimeID), stopAt);
  EXPECT_EQ(C(w, kScheduleStopDeltaID)->Text(), "90");
  EXPECT_EQ(C(w, kScheduleUseActionID)->Value(), 1);
  EXPECT_EQ(C(w, kScheduleActionID)->Value(), 3);
  EXPECT_EQ(C(w, kScheduleActionID)->Text(), "Shut down the computer");
}

// Choosing a day toggles its mark; after an uncheck the pop-up shows the first day still
// checked, or nothing.
TEST_F(ScheduleSheetTest, ChoosingADayTogglesItsMark) {
  toolbox::Window* w = Open();
  ASSERT_NE(w, nullptr);
  toolbox::Control* days = C(w, kScheduleStartDaysID);
  EXPECT_EQ(days->Value(), 0);
  struct Step {
    int item;
    std::uint32_t flags;
    int value;
  };
  const Step steps[] = {
      {7, 0x08, 7},    // Wednesday
      {1, 0x208, 1},   // weekdays
      {1, 0x08, 7},    // weekdays off: Wednesday is the first still checked
      {11, 0x88, 11},  // Sunday
      {7, 0x80, 11},   // Wednesday off
      {11, 0, 0},      // none
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.item);
    Choose(days, step.item);
    EXPECT_EQ(GetCheckedDayFlags(*days->PopUpMenu()), step.flags);
    EXPECT_EQ(days->Value(), step.value);
  }
}

// OK stores what the sheet holds; a refused schedule is explained and the sheet stays.
TEST_F(ScheduleSheetTest, OKStoresTheScheduleOrSaysWhyNot) {
  const values::AbsoluteTime now = values::Now();
  struct Case {
    const char* what;
    bool start, stop;
    int startItem, stopItem;
    values::AbsoluteTime startAt, stopAt;
    const char* refusal;  // nullptr: stored
  };
  const Case cases[] = {
      {"start after stop", true, true, 3, 3, now + 3 * 86400, now + 2 * 86400, queue::kScheduleOrderMessage},
      {"start in the past", true, false, 3, 1, now - 2 * 86400, 0, queue::kStartInPastMessage},
      {"stop in the past", false, true, 1, 3, 0, now - 2 * 86400, queue::kStopInPastMessage},
      {"start and stop at dates", true, true, 3, 3, now + 86400, now + 2 * 86400, nullptr},
      {"a stop 90 minutes from now", false, true, 1, 1, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    queue::GetQueueSchedule() = {};
    Presenter().alerts.clear();
    toolbox::Window* w = GetScheduleSheet() ? GetScheduleSheet() : (Create(), OpenScheduleSheet());
    ASSERT_NE(w, nullptr);
    if ((C(w, kScheduleStartCheckID)->Value() != 0) != c.start) C(w, kScheduleStartCheckID)->Click();
    if ((C(w, kScheduleStopCheckID)->Value() != 0) != c.stop) C(w, kScheduleStopCheckID)->Click();
    Choose(C(w, kScheduleStartModeID), c.startItem);
    Choose(C(w, kScheduleStopModeID), c.stopItem);
    if (c.startAt != 0) SetDate(w, kScheduleStartDateID, kScheduleStartTimeID, c.startAt);
    if (c.stopAt != 0) SetDate(w, kScheduleStopDateID, kScheduleStopTimeID, c.stopAt);
    C(w, kScheduleStopDeltaID)->SetText("90");
    const values::AbsoluteTime before = values::Now();
    C(w, kScheduleOKButtonID)->Click();
    Pump();
    const queue::QueueSchedule& s = queue::GetQueueSchedule();
    if (c.refusal != nullptr) {
      ASSERT_EQ(Presenter().alerts.size(), 1u);
      EXPECT_EQ(Presenter().alerts[0].message, c.refusal);
      EXPECT_EQ(Presenter().alerts[0].parent, w);
      EXPECT_NE(GetScheduleSheet(), nullptr) << "the sheet stays open";
      EXPECT_FALSE(s.valid);
      continue;
    }
    EXPECT_TRUE(Presenter().alerts.empty());
    EXPECT_EQ(GetScheduleSheet(), nullptr) << "OK closes the sheet";
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.start, c.start);
    EXPECT_EQ(s.stop, c.stop);
    if (c.stopItem == 1) {
      EXPECT_EQ(s.stopMode, queue::kScheduleDelta);
      EXPECT_EQ(s.stopDelta, 90);
      EXPECT_GE(s.stopDateTime, before + 90 * 60);
      EXPECT_LE(s.stopDateTime, values::Now() + 90 * 60);
    } else {
      EXPECT_EQ(s.stopMode, queue::kScheduleSpecificDate);
      // The pickers keep minutes: the stored moment is the minute of the one set.
      EXPECT_LE(std::abs(s.stopDateTime - c.stopAt), 60);
      EXPECT_LE(std::abs(s.startDateTime - c.startAt), 60);
    }
  }
}

TEST_F(ScheduleSheetTest, CancelChangesNothing) {
  toolbox::Window* w = Open();
  ASSERT_NE(w, nullptr);
  C(w, kScheduleStartCheckID)->Click();
  C(w, kScheduleStartDeltaID)->SetText("5");
  C(w, kScheduleCancelButtonID)->Click();
  Pump();
  EXPECT_EQ(GetScheduleSheet(), nullptr);
  EXPECT_FALSE(queue::GetQueueSchedule().valid);
  EXPECT_FALSE(queue::GetQueueSchedule().start);
}

// Every label, check box and pop-up shows its whole text, and no two visible controls overlap, in
// each mode; the sheet is kept as a picture.
TEST_F(ScheduleSheetTest, TextsFitAndControlsDoNotOverlap) {
  toolbox::Window* w = Open();
  ASSERT_NE(w, nullptr);
  C(w, kScheduleStartCheckID)->Click();
  C(w, kScheduleStopCheckID)->Click();
  C(w, kScheduleUseActionID)->Click();
  Pump();
  for (int item = 1; item <= 3; ++item) {
    SCOPED_TRACE(item);
    Choose(C(w, kScheduleStartModeID), item);
    Choose(C(w, kScheduleStopModeID), 4 - item);
    std::vector<toolbox::Control*> shown;
    for (toolbox::Control* c : w->Controls())
      if (c->IsVisible()) shown.push_back(c);
    for (toolbox::Control* c : shown) {
      const toolbox::Rect b = c->Bounds();
      EXPECT_LE(b.Right(), w->ContentBounds().width) << c->Text();
      EXPECT_LE(b.Bottom(), w->ContentBounds().height) << c->Text();
      if (c->kind() == toolbox::ControlKind::kStaticText || c->kind() == toolbox::ControlKind::kCheckBox ||
          c->kind() == toolbox::ControlKind::kPushButton || c->kind() == toolbox::ControlKind::kPopUpButton) {
        EXPECT_LE(c->BestRect().width, b.width) << "\"" << c->Text() << "\" is cut";
      }
      for (toolbox::Control* other : shown) {
        if (other == c) continue;
        const toolbox::Rect o = other->Bounds();
        const bool apart =
            b.Right() <= o.Left() || o.Right() <= b.Left() || b.Bottom() <= o.Top() || o.Bottom() <= b.Top();
        EXPECT_TRUE(apart) << "\"" << c->Text() << "\" overlaps \"" << other->Text() << "\"";
      }
    }
    Keep(w->Grab(), "schedule_sheet_mode" + std::to_string(item));
  }
}

}  // namespace
}  // namespace ui
