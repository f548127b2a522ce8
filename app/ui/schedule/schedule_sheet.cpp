#include "app/ui/schedule/schedule_sheet.h"

#include <memory>
#include <string>
#include <vector>

#include "app/queue/schedule/queue_schedule.h"
#include "app/ui/main_window/main_window.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr double kWidth = 520;
constexpr double kHeight = 250;
constexpr double kLine = 24;
// The day pop-up's separator.
constexpr int kDaySeparatorItem = 4;
constexpr int kLastDayItem = 11;
// The action pop-up's items are the post-download actions 1 to 5, in order.
constexpr int kActionCount = 5;

toolbox::ControlID ID(std::int32_t n) {
  return {kApplicationSignature, n};
}

std::shared_ptr<toolbox::Window>& Sheet() {
  static std::shared_ptr<toolbox::Window> sheet;
  return sheet;
}

toolbox::Control* C(toolbox::Window& w, std::int32_t id) {
  return w.FindControl(ID(id));
}

toolbox::MenuRef MenuOf(const std::vector<const char*>& titles) {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  for (const char* title : titles) {
    if (std::string(title) == "-")
      menu->AppendSeparator();
    else
      menu->AppendItem(values::Localized(title));
  }
  return menu;
}

toolbox::MenuRef ModeMenu() {
  return MenuOf({"after a delay of", "every week on", "on a date"});
}
toolbox::MenuRef DayMenu() {
  return MenuOf({"Weekdays", "Weekends", "Every Day", "-", "Monday", "Tuesday", "Wednesday", "Thursday",
                 "Friday", "Saturday", "Sunday"});
}
toolbox::MenuRef ActionMenu() {
  return MenuOf({"Run the disconnect script", "Quit Truvane", "Shut down the computer",
                 "Put the computer to sleep", "Log out"});
}

// Mode 0, 1, 2 are items 1, 2, 3; any other item reads as mode 2.
std::int32_t ModeOfItem(std::int32_t item) {
  if (item == 1) return queue::kScheduleDelta;
  if (item == 2) return queue::kScheduleWeekly;
  return queue::kScheduleSpecificDate;
}

// One section's controls: the start's or the stop's.
struct Section {
  std::int32_t check, mode, delta, days, time, date, minutesLabel, atLabel;
};
constexpr Section kStart{kScheduleStartCheckID,
                         kScheduleStartModeID,
                         kScheduleStartDeltaID,
                         kScheduleStartDaysID,
                         kScheduleStartTimeID,
                         kScheduleStartDateID,
                         20,
                         21};
constexpr Section kStop{kScheduleStopCheckID,
                        kScheduleStopModeID,
                        kScheduleStopDeltaID,
                        kScheduleStopDaysID,
                        kScheduleStopTimeID,
                        kScheduleStopDateID,
                        22,
                        23};

void AddSection(toolbox::Window& w, const Section& s, double top, const char* title) {
  w.AddControl({.kind = ControlKind::kCheckBox,
                .id = ID(s.check),
                .bounds = {16, top, 170, kLine},
                .text = values::Localized(title)});
  toolbox::MenuRef modes = ModeMenu();
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = ID(s.mode),
                .bounds = {190, top, 180, kLine},
                .value = 1,
                .minimum = 1,
                .maximum = modes->CountItems(),
                .menu = modes});
  const double second = top + 32;
  // "after a delay of": the minutes.
  w.AddControl({.kind = ControlKind::kNumberText, .id = ID(s.delta), .bounds = {40, second, 70, kLine}});
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = ID(s.minutesLabel),
                .bounds = {116, second + 4, 200, 18},
                .text = values::Localized("minutes from now")});
  // "every week on": the days; "on a date": the date. Both at a time of day.
  toolbox::MenuRef days = DayMenu();
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = ID(s.days),
                .bounds = {40, second, 190, kLine},
                .minimum = 0,
                .maximum = days->CountItems(),
                .menu = days});
  w.AddControl({.kind = ControlKind::kDateTime,
                .id = ID(s.date),
                .bounds = {40, second, 190, kLine},
                .text = "yyyy-MM-dd"});
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = ID(s.atLabel),
                .bounds = {240, second + 4, 24, 18},
                .text = values::Localized("at")});
  w.AddControl({.kind = ControlKind::kDateTime,
                .id = ID(s.time),
                .bounds = {268, second, 100, kLine},
                .text = "HH:mm"});
  // The day pop-up may show no day at all.
  C(w, s.days)->SetMinimum(0);
}

// Shows the controls of the section's mode; a section that is off greys them.
void ShowMode(toolbox::Window& w, const Section& s) {
  const std::int32_t mode = ModeOfItem(C(w, s.mode)->Value());
  const bool on = C(w, s.check)->Value() != 0;
  C(w, s.delta)->SetVisible(mode == queue::kScheduleDelta);
  C(w, s.minutesLabel)->SetVisible(mode == queue::kScheduleDelta);
  C(w, s.days)->SetVisible(mode == queue::kScheduleWeekly);
  C(w, s.date)->SetVisible(mode == queue::kScheduleSpecificDate);
  C(w, s.atLabel)->SetVisible(mode != queue::kScheduleDelta);
  C(w, s.time)->SetVisible(mode != queue::kScheduleDelta);
  for (std::int32_t id : {s.mode, s.delta, s.days, s.date, s.time}) C(w, id)->SetEnabled(on);
}

void ShowActions(toolbox::Window& w) {
  C(w, kScheduleActionID)->SetEnabled(C(w, kScheduleUseActionID)->Value() != 0);
}

void ShowSchedule(toolbox::Window& w) {
  const queue::QueueSchedule& s = queue::GetQueueSchedule();
  const values::AbsoluteTime now = values::Now();
  const values::GregorianDate start = values::SplitDate(s.valid ? s.startDate : now).date;
  const values::GregorianDate stop = values::SplitDate(s.valid ? s.stopDate : now).date;
  SetDateControlValue(*C(w, kScheduleStartDateID), *C(w, kScheduleStartTimeID), start);
  SetDateControlValue(*C(w, kScheduleStopDateID), *C(w, kScheduleStopTimeID), stop);
  C(w, kScheduleStartCheckID)->SetValue(s.start ? 1 : 0);
  C(w, kScheduleStopCheckID)->SetValue(s.stop ? 1 : 0);
  C(w, kScheduleStartModeID)->SetValue(s.startMode + 1);
  C(w, kScheduleStopModeID)->SetValue(s.stopMode + 1);
  SetUpDayFlagsPopup(*C(w, kScheduleStartDaysID), s.startDayFlags);
  SetUpDayFlagsPopup(*C(w, kScheduleStopDaysID), s.stopDayFlags);
  C(w, kScheduleStartDeltaID)->SetText(std::to_string(s.startDelta));
  C(w, kScheduleStopDeltaID)->SetText(std::to_string(s.stopDelta));
  C(w, kScheduleActionID)
      ->SetValue(s.action >= 1 && s.action <= kActionCount ? static_cast<std::int32_t>(s.action) : 1);
  C(w, kScheduleUseActionID)->SetValue(s.useAction ? 1 : 0);
  ShowMode(w, kStart);
  ShowMode(w, kStop);
  ShowActions(w);
}

queue::ScheduleSheetValues ReadSheet(toolbox::Window& w) {
  queue::ScheduleSheetValues v;
  v.start = C(w, kScheduleStartCheckID)->Value() != 0;
  v.stop = C(w, kScheduleStopCheckID)->Value() != 0;
  v.startMode = ModeOfItem(C(w, kScheduleStartModeID)->Value());
  v.stopMode = ModeOfItem(C(w, kScheduleStopModeID)->Value());
  v.startDate = GetDateControlValue(w, kScheduleStartDateID, kScheduleStartTimeID);
  v.stopDate = GetDateControlValue(w, kScheduleStopDateID, kScheduleStopTimeID);
  v.startDelta = queue::ParseScheduleDelta(C(w, kScheduleStartDeltaID)->Text());
  v.stopDelta = queue::ParseScheduleDelta(C(w, kScheduleStopDeltaID)->Text());
  v.startDayFlags = GetCheckedDayFlags(*C(w, kScheduleStartDaysID)->PopUpMenu());
  v.stopDayFlags = GetCheckedDayFlags(*C(w, kScheduleStopDaysID)->PopUpMenu());
  v.useAction = C(w, kScheduleUseActionID)->Value() != 0;
  v.action = static_cast<std::uint32_t>(C(w, kScheduleActionID)->Value());
  return v;
}

void CloseSheet() {
  // Released, not kept hidden: the next open shows the schedule as it is then.
  std::shared_ptr<toolbox::Window> sheet = std::move(Sheet());
  if (sheet) sheet->Release();
}

void Ok(toolbox::Window& w) {
  if (const auto refused = queue::ApplyScheduleSheet(ReadSheet(w))) {
    toolbox::AlertRequest alert;
    alert.style = toolbox::AlertStyle::kWarning;
    alert.message = values::Localized(refused->c_str());
    alert.buttons = {{.text = values::Localized("OK"), .is_default = true}};
    alert.parent = &w;
    toolbox::GetPresenter().RunAlert(alert);
    return;
  }
  CloseSheet();
}

}  // namespace

values::AbsoluteTime GetDateControlValue(toolbox::Window& window, std::int32_t dateControl,
                                         std::int32_t timeControl) {
  const values::GregorianDate day = values::SplitDate(C(window, dateControl)->Value()).date;
  const values::GregorianDate clock = values::SplitDate(C(window, timeControl)->Value()).date;
  return values::AssembleDate({.year = day.year,
                               .month = day.month,
                               .day = day.day,
                               .hour = clock.hour,
                               .minute = clock.minute,
                               .second = 0});
}

void SetDateControlValue(toolbox::Control& date, toolbox::Control& time, const values::GregorianDate& when) {
  values::GregorianDate whole = when;
  whole.second = static_cast<double>(static_cast<int>(when.second));
  const auto at = static_cast<std::int32_t>(values::AssembleDate(whole));
  date.SetValue(at);
  time.SetValue(at);
}

std::uint32_t GetCheckedDayFlags(const toolbox::Menu& menu) {
  std::uint32_t flags = 0;
  for (int item = 1; item <= menu.CountItems() && item <= kLastDayItem; ++item)
    if (item != kDaySeparatorItem && menu.ItemMark(item) != 0) flags |= queue::DayFlagForMenuItem(item);
  return flags;
}

void SetUpDayFlagsPopup(toolbox::Control& popUp, std::uint32_t dayFlags) {
  toolbox::MenuRef menu = popUp.PopUpMenu();
  if (!menu) return;
  int first = 0;
  for (int item = 1; item <= menu->CountItems() && item <= kLastDayItem; ++item) {
    if (item == kDaySeparatorItem) continue;
    const bool checked = (dayFlags & queue::DayFlagForMenuItem(item)) != 0;
    menu->SetItemMark(item, checked ? toolbox::kCheckMark : 0);
    if (checked && first == 0) first = item;
  }
  popUp.RefreshMenu();
  popUp.SetMinimum(0);
  popUp.SetValue(first);
}

void SetCheckedMenuControlValue(toolbox::Control& popUp, int item, bool checked) {
  toolbox::MenuRef menu = popUp.PopUpMenu();
  if (!menu || !menu->Item(item)) return;
  const std::int32_t value = popUp.Value();
  menu->SetItemMark(item, checked ? toolbox::kCheckMark : 0);
  popUp.RefreshMenu();
  popUp.SetMinimum(0);
  popUp.SetValue(checked && value == 0 ? item : value);
}

void HandleDayFlagsMenuEvent(toolbox::Control& popUp, int chosenItem) {
  toolbox::MenuRef menu = popUp.PopUpMenu();
  if (!menu || chosenItem == kDaySeparatorItem || !menu->Item(chosenItem)) return;
  const bool checked = menu->ItemMark(chosenItem) == 0;
  menu->SetItemMark(chosenItem, checked ? toolbox::kCheckMark : 0);
  int value = chosenItem;
  if (!checked) {
    value = 0;
    for (int item = 1; item <= menu->CountItems(); ++item)
      if (menu->ItemMark(item) != 0) {
        value = item;
        break;
      }
  }
  popUp.RefreshMenu();
  popUp.SetMinimum(0);
  popUp.SetValue(value);
}

runtime::Status HandleScheduleSheetEvent(runtime::HandlerCall&, runtime::Event& event) {
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
    // Released with its parent (the quit releases every window): nothing keeps it after.
    Sheet().reset();
    return runtime::kEventNotHandledErr;
  }
  toolbox::Window* w = GetScheduleSheet();
  if (w == nullptr) return runtime::kEventNotHandledErr;
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
    CloseSheet();
    return runtime::kNoErr;
  }
  if (!event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess))
    return runtime::kEventNotHandledErr;
  const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
  if (command == toolbox::kCommandOK) {
    Ok(*w);
    return runtime::kNoErr;
  }
  if (command == toolbox::kCommandCancel) {
    CloseSheet();
    return runtime::kNoErr;
  }
  return runtime::kEventNotHandledErr;
}

toolbox::Window* GetScheduleSheet() {
  return Sheet() && !Sheet()->IsReleased() ? Sheet().get() : nullptr;
}

bool CanOpenScheduleSheet() {
  return GetMainWindow() != nullptr;
}

toolbox::Window* OpenScheduleSheet() {
  if (toolbox::Window* open = GetScheduleSheet()) {
    open->Select();
    return open;
  }
  toolbox::Window* main = GetMainWindow();
  if (main == nullptr) return nullptr;
  toolbox::WindowSpec frame;
  frame.kind = toolbox::WindowKind::kSheet;
  frame.title = values::Localized(kScheduleSheetTitle);
  frame.content = {0, 0, kWidth, kHeight};
  frame.parent = main;
  std::shared_ptr<toolbox::Window> sheet = toolbox::Window::Create(frame);
  toolbox::Window& w = *sheet;
  AddSection(w, kStart, 16, "Start the queue");
  AddSection(w, kStop, 90, "Stop the queue");
  w.AddControl({.kind = ControlKind::kCheckBox,
                .id = ID(kScheduleUseActionID),
                .bounds = {16, 164, 232, kLine},
                .text = values::Localized("After a scheduled stop:")});
  toolbox::MenuRef actions = ActionMenu();
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = ID(kScheduleActionID),
                .bounds = {252, 164, 250, kLine},
                .value = 1,
                .minimum = 1,
                .maximum = actions->CountItems(),
                .menu = actions});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = ID(kScheduleCancelButtonID),
                .bounds = {kWidth - 200, kHeight - 40, 90, kLine},
                .text = values::Localized("Cancel"),
                .command = toolbox::kCommandCancel,
                .is_cancel = true});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = ID(kScheduleOKButtonID),
                .bounds = {kWidth - 104, kHeight - 40, 90, kLine},
                .text = values::Localized("OK"),
                .command = toolbox::kCommandOK,
                .is_default = true});
  for (const Section* s : {&kStart, &kStop}) {
    const Section section = *s;
    C(w, section.check)->SetValueChangedHandler([section](toolbox::Control& c) {
      ShowMode(c.window(), section);
    });
    C(w, section.mode)->SetValueChangedHandler([section](toolbox::Control& c) {
      ShowMode(c.window(), section);
    });
    C(w, section.days)->SetValueChangedHandler([](toolbox::Control& c) {
      HandleDayFlagsMenuEvent(c, c.Value());
    });
  }
  C(w, kScheduleUseActionID)->SetValueChangedHandler([](toolbox::Control& c) { ShowActions(c.window()); });
  w.InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                    {toolbox::kEventClassWindow, toolbox::kEventWindowClose},
                    {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                   HandleScheduleSheetEvent);
  Sheet() = sheet;
  w.SetFrameAutosaveKey(kScheduleFrameKey);
  ShowSchedule(w);
  if (w.ShowSheet() != runtime::kNoErr) {
    CloseSheet();
    return nullptr;
  }
  return &w;
}

}  // namespace ui
