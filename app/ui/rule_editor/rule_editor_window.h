#pragma once
// The smart-folder rule editor's window, over the headless editor of
// app/queue/smartfolders/rule_editor_model.h: the any/all pop-up at the top, one row of
// controls per rule (the kind pop-up, the kind's own controls, "-" and "+"), Cancel and OK
// at the bottom. The window is as tall as its rows need: one row height per row.
//
// Each row's controls are made once for every kind and the kind's own are shown; rows
// that go are hidden, not destroyed, because a row's "-" button removes its own row from
// within its own handler. Before anything reads the rows (a row added or removed, a kind
// changed, OK) the controls' state is read back into the model, and after a change the
// model is shown again, so the model is always what the user sees.
//
// OK with a row that cannot be saved shows its reason in an alert sheet and keeps the
// window; otherwise the window goes and the folder takes the rule, or a new "Untitled"
// smart folder appears selected in the source list with its name being edited. Cancel and
// the close box change nothing. Several editors may be open at once.
//
// Main thread only.

#include <cstdint>

#include "app/queue/smartfolders/smart_folder.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

// Control numbers (signature 'Truv').
inline constexpr std::int32_t kRuleMatchPopUpID = 1;
inline constexpr std::int32_t kRuleOKButtonID = 2;
inline constexpr std::int32_t kRuleCancelButtonID = 3;
// Row r's controls are kRuleRowBaseID + r * kRuleRowIDStride + one of these.
inline constexpr std::int32_t kRuleRowBaseID = 1000;
inline constexpr std::int32_t kRuleRowIDStride = 100;
enum RuleRowControl : std::int32_t {
  kRowKindPopUp = 0,
  kRowNameClass = 1,
  kRowNameText = 2,
  kRowURLClass = 3,
  kRowURLText = 4,
  kRowSizeClass = 5,
  kRowSizeNumber = 6,
  kRowSizeUnit = 7,
  kRowStatusClass = 8,
  kRowStatusValue = 9,
  kRowTypeClass = 10,
  kRowTypeText = 11,
  kRowStartPeriod = 12,
  kRowStartDays = 13,
  kRowStartLabel = 14,
  kRowEndPeriod = 15,
  kRowEndDays = 16,
  kRowEndLabel = 17,
  kRowRemoveButton = 18,
  kRowAddButton = 19,
};
constexpr std::int32_t RuleRowControlID(std::size_t row, RuleRowControl which) {
  return kRuleRowBaseID + static_cast<std::int32_t>(row) * kRuleRowIDStride + which;
}

// The window's content height with no rows.
inline constexpr double kRuleEditorBaseHeight = 100;

// Opens a rule editor on the folder, or for a new smart folder when it is null; the window.
toolbox::Window* OpenSmartFolderRuleEditor(const queue::SmartFolderRef& folder);

// 'eSFe': the editor on the source list's selected row when it is a type or user smart
// folder (the date folders are not edited); nothing otherwise.
void EditSelectedSmartFolder();
// Whether 'eSFe' has a folder to edit.
bool CanEditSelectedSmartFolder();

}  // namespace ui
