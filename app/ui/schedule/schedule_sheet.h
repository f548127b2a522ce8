#pragma once
// The schedule sheet on the main window: when the whole queue starts and stops (after a
// number of minutes, weekly on chosen days at a time of day, or at a date), and what the
// computer does after a scheduled stop. It shows the application's one schedule
// (app/queue/schedule/queue_schedule.h); OK validates and stores what it holds, an
// alert sheet tells why it refused and the sheet stays; Cancel changes nothing.
//
// Each section shows the controls of its mode: the minutes for "after a delay", the day
// pop-up and a time for "weekly", a date and a time for "at a date". The day pop-ups hold
// check marks: choosing a day toggles it.
//
// Main thread only.

#include <cstdint>

#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/clock.h"
#include "platform/values/date_time.h"

namespace ui {

// Control numbers (signature 'Truv').
inline constexpr std::int32_t kScheduleStartCheckID = 1;
inline constexpr std::int32_t kScheduleStopCheckID = 2;
inline constexpr std::int32_t kScheduleStartModeID = 3;
inline constexpr std::int32_t kScheduleStopModeID = 4;
inline constexpr std::int32_t kScheduleStartDeltaID = 5;
inline constexpr std::int32_t kScheduleStopDeltaID = 6;
inline constexpr std::int32_t kScheduleStartDaysID = 7;
inline constexpr std::int32_t kScheduleStopDaysID = 8;
inline constexpr std::int32_t kScheduleStartTimeID = 9;
inline constexpr std::int32_t kScheduleStopTimeID = 10;
inline constexpr std::int32_t kScheduleStartDateID = 11;
inline constexpr std::int32_t kScheduleStopDateID = 12;
inline constexpr std::int32_t kScheduleUseActionID = 13;
inline constexpr std::int32_t kScheduleActionID = 14;
inline constexpr std::int32_t kScheduleOKButtonID = 15;
inline constexpr std::int32_t kScheduleCancelButtonID = 16;

inline constexpr const char kScheduleFrameKey[] = "Schedule WindowFrame";
inline constexpr const char kScheduleSheetTitle[] = "Schedule";

// Shows the sheet on the main window (brings it forward when it is open); the sheet, or
// nullptr when there is no main window.
toolbox::Window* OpenScheduleSheet();
// The sheet while it is open, else nullptr.
toolbox::Window* GetScheduleSheet();
// Whether 'Sche' can open it.
bool CanOpenScheduleSheet();

// The sheet's handler: OK, Cancel, the close box, a mode or a day chosen.
runtime::Status HandleScheduleSheetEvent(runtime::HandlerCall& call, runtime::Event& event);

// Year, month and day from the date control, hour and minute from the time control,
// seconds 0, in the default time zone.
values::AbsoluteTime GetDateControlValue(toolbox::Window& window, std::int32_t dateControl,
                                         std::int32_t timeControl);
// Both pickers set to the date (seconds dropped).
void SetDateControlValue(toolbox::Control& date, toolbox::Control& time, const values::GregorianDate& when);

// The day pop-up's marks from day flags; its value the first checked item (0 when none).
void SetUpDayFlagsPopup(toolbox::Control& popUp, std::uint32_t dayFlags);
// The day flags of a day pop-up's checked items.
std::uint32_t GetCheckedDayFlags(const toolbox::Menu& menu);
// Checks or unchecks an item; checking one while the pop-up's value is 0 makes it the value.
void SetCheckedMenuControlValue(toolbox::Control& popUp, int item, bool checked);
// A day chosen in the pop-up: its mark toggles; after an uncheck the value becomes the
// first item still checked (0 when none).
void HandleDayFlagsMenuEvent(toolbox::Control& popUp, int chosenItem);

}  // namespace ui
