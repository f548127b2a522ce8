#include "app/ui/rule_editor/rule_editor_window.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/queue/folders/view_ids.h"
#include "app/queue/smartfolders/rule_editor_model.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/source_list/source_list.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using queue::RuleController;
using queue::RuleMenuItem;
using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr double kWidth = 640;
constexpr double kRowsTop = 44;
constexpr double kControlHeight = 24;

toolbox::ControlID ID(std::int32_t n) {
  return {kApplicationSignature, n};
}

toolbox::MenuRef MenuOf(const std::vector<RuleMenuItem>& items) {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  for (const RuleMenuItem& item : items) menu->AppendItem(values::Localized(item.title));
  return menu;
}

// Pop-ups show items; the rows speak tags.
int TagAt(const std::vector<RuleMenuItem>& items, std::int32_t value) {
  const auto index = static_cast<std::size_t>(value - 1);
  return value >= 1 && index < items.size() ? items[index].tag : items.front().tag;
}
std::int32_t ValueOf(const std::vector<RuleMenuItem>& items, std::int64_t tag) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].tag == tag) return static_cast<std::int32_t>(i + 1);
  return 1;
}

// The pop-up each tagged field of a row stands in.
struct TaggedPopUp {
  RuleRowControl control;
  const std::vector<RuleMenuItem>& (*items)();
};

class RuleEditor {
 public:
  explicit RuleEditor(queue::SmartFolderRef folder) : model_(std::move(folder)) {}

  toolbox::Window* Open();

 private:
  toolbox::Control* C(std::size_t row, RuleRowControl which) const {
    return window_->FindControl(ID(RuleRowControlID(row, which)));
  }
  void AddRowControls(std::size_t row);
  void ShowRow(std::size_t row);
  void ReadRow(std::size_t row);
  void ReadAll();
  void ShowAll();
  void Layout();
  void Changed(std::size_t row, RuleRowControl which);
  void Ok();
  void Close();

  queue::SmartFolderRuleEditorController model_;
  std::shared_ptr<toolbox::Window> window_;
  std::size_t madeRows_ = 0;
};

// The open editors, by their window; each goes when its window is disposed of.
std::map<std::uint64_t, std::unique_ptr<RuleEditor>>& OpenEditors() {
  static std::map<std::uint64_t, std::unique_ptr<RuleEditor>> editors;
  return editors;
}

struct RowPiece {
  RuleRowControl which;
  ControlKind kind;
  double x, width;
  const std::vector<RuleMenuItem>& (*items)();
  const char* text;
};

// Where each control of a row stands; those of one kind share the space after the kind
// pop-up.
const std::vector<RowPiece>& RowPieces() {
  static const std::vector<RowPiece> pieces = {
      {kRowKindPopUp, ControlKind::kPopUpButton, 12, 150, queue::RuleCriteriaNames, nullptr},
      {kRowNameClass, ControlKind::kPopUpButton, 168, 220, queue::RuleStringOperations, nullptr},
      {kRowNameText, ControlKind::kEditText, 394, 170, nullptr, nullptr},
      {kRowURLClass, ControlKind::kPopUpButton, 168, 220, queue::RuleStringOperations, nullptr},
      {kRowURLText, ControlKind::kEditText, 394, 170, nullptr, nullptr},
      {kRowSizeClass, ControlKind::kPopUpButton, 168, 120, queue::RuleSizeComparisons, nullptr},
      {kRowSizeNumber, ControlKind::kNumberText, 294, 80, nullptr, nullptr},
      {kRowSizeUnit, ControlKind::kPopUpButton, 380, 90, queue::RuleSizeUnits, nullptr},
      {kRowStatusClass, ControlKind::kPopUpButton, 168, 90, queue::RuleStatusClasses, nullptr},
      {kRowStatusValue, ControlKind::kPopUpButton, 264, 150, queue::RuleStatusValues, nullptr},
      {kRowTypeClass, ControlKind::kPopUpButton, 168, 110, queue::RuleTypeClasses, nullptr},
      {kRowTypeText, ControlKind::kEditText, 284, 280, nullptr, nullptr},
      {kRowStartPeriod, ControlKind::kPopUpButton, 168, 190, queue::RuleDatePeriods, nullptr},
      {kRowStartDays, ControlKind::kNumberText, 364, 60, nullptr, nullptr},
      {kRowStartLabel, ControlKind::kStaticText, 430, 60, nullptr, "days"},
      {kRowEndPeriod, ControlKind::kPopUpButton, 168, 190, queue::RuleDatePeriods, nullptr},
      {kRowEndDays, ControlKind::kNumberText, 364, 60, nullptr, nullptr},
      {kRowEndLabel, ControlKind::kStaticText, 430, 60, nullptr, "days"},
      {kRowRemoveButton, ControlKind::kPushButton, 572, 28, nullptr, "-"},
      {kRowAddButton, ControlKind::kPushButton, 604, 28, nullptr, "+"},
  };
  return pieces;
}

// The controls that belong to each kind (the kind pop-up and the buttons are in every row).
const std::vector<RuleRowControl>& KindPieces(int type) {
  static const std::vector<RuleRowControl> pieces[queue::kRuleCriteriaTypeCount] = {
      {kRowNameClass, kRowNameText},
      {kRowSizeClass, kRowSizeNumber, kRowSizeUnit},
      {kRowURLClass, kRowURLText},
      {kRowStatusClass, kRowStatusValue},
      {kRowTypeClass, kRowTypeText},
      {kRowStartPeriod, kRowStartDays, kRowStartLabel},
      {kRowEndPeriod, kRowEndDays, kRowEndLabel},
  };
  return pieces[type >= 0 && type < queue::kRuleCriteriaTypeCount ? type : 0];
}

void RuleEditor::AddRowControls(std::size_t row) {
  const double y = kRowsTop + queue::kRuleRowHeight * static_cast<double>(row);
  for (const RowPiece& piece : RowPieces()) {
    toolbox::ControlSpec look;
    look.kind = piece.kind;
    look.id = ID(RuleRowControlID(row, piece.which));
    const double height = piece.kind == ControlKind::kStaticText ? 18 : kControlHeight;
    look.bounds = {
        piece.x, y + (queue::kRuleRowHeight - height) / 2 + (piece.kind == ControlKind::kStaticText ? 2 : 0),
        piece.width, height};
    if (piece.text) look.text = values::Localized(piece.text);
    if (piece.items) {
      look.menu = MenuOf(piece.items());
      look.value = 1;
      look.minimum = 1;
      look.maximum = look.menu->CountItems();
    }
    toolbox::Control* control = window_->AddControl(look);
    const RuleRowControl which = piece.which;
    if (piece.kind == ControlKind::kPopUpButton || piece.kind == ControlKind::kPushButton)
      control->SetValueChangedHandler([this, row, which](toolbox::Control&) { Changed(row, which); });
  }
}

// The model's row into its controls.
void RuleEditor::ShowRow(std::size_t row) {
  const RuleController& r = model_.ruleControllers()[row];
  auto popUp = [&](RuleRowControl which, const std::vector<RuleMenuItem>& items, std::int64_t tag) {
    if (toolbox::Control* c = C(row, which)) c->SetValue(ValueOf(items, tag));
  };
  auto text = [&](RuleRowControl which, const std::string& value) {
    if (toolbox::Control* c = C(row, which); c && c->Text() != value) c->SetText(value);
  };
  popUp(kRowKindPopUp, queue::RuleCriteriaNames(), r.type);
  popUp(kRowNameClass, queue::RuleStringOperations(), r.fileNameClass);
  text(kRowNameText, r.fileNameCriteria);
  popUp(kRowURLClass, queue::RuleStringOperations(), r.fileURLClass);
  text(kRowURLText, r.fileURLCriteria);
  popUp(kRowSizeClass, queue::RuleSizeComparisons(), r.fileSizeClass);
  text(kRowSizeNumber, r.fileSizeCriteria);
  popUp(kRowSizeUnit, queue::RuleSizeUnits(), r.fileSizeUnit);
  popUp(kRowStatusClass, queue::RuleStatusClasses(), r.downloadStatusClass);
  popUp(kRowStatusValue, queue::RuleStatusValues(), r.downloadStatusCriteria);
  popUp(kRowTypeClass, queue::RuleTypeClasses(), r.fileTypeClass);
  text(kRowTypeText, r.fileTypeCriteria);
  popUp(kRowStartPeriod, queue::RuleDatePeriods(), r.startDateClass);
  text(kRowStartDays, r.startDateCriteria);
  popUp(kRowEndPeriod, queue::RuleDatePeriods(), r.endDateClass);
  text(kRowEndDays, r.endDateCriteria);

  for (const RowPiece& piece : RowPieces())
    if (piece.which != kRowKindPopUp && piece.which != kRowRemoveButton && piece.which != kRowAddButton)
      C(row, piece.which)->SetVisible(false);
  for (RuleRowControl which : KindPieces(r.type)) {
    bool shown = true;
    if (which == kRowStartDays || which == kRowStartLabel) shown = r.startDateDaysShown;
    if (which == kRowEndDays || which == kRowEndLabel) shown = r.endDateDaysShown;
    C(row, which)->SetVisible(shown);
  }
  for (RuleRowControl which : {kRowKindPopUp, kRowRemoveButton, kRowAddButton})
    C(row, which)->SetVisible(true);
  C(row, kRowRemoveButton)->SetEnabled(model_.canRemoveRow());
  C(row, kRowAddButton)->SetEnabled(model_.canAddRow());
}

// The controls of a row into its model row.
void RuleEditor::ReadRow(std::size_t row) {
  RuleController& r = model_.ruleControllers()[row];
  auto tag = [&](RuleRowControl which, const std::vector<RuleMenuItem>& items) {
    return TagAt(items, C(row, which)->Value());
  };
  auto text = [&](RuleRowControl which) { return C(row, which)->Text(); };
  r.fileNameClass = tag(kRowNameClass, queue::RuleStringOperations());
  r.fileNameCriteria = text(kRowNameText);
  r.fileURLClass = tag(kRowURLClass, queue::RuleStringOperations());
  r.fileURLCriteria = text(kRowURLText);
  r.fileSizeClass = tag(kRowSizeClass, queue::RuleSizeComparisons());
  r.fileSizeCriteria = text(kRowSizeNumber);
  r.fileSizeUnit = tag(kRowSizeUnit, queue::RuleSizeUnits());
  r.downloadStatusClass = tag(kRowStatusClass, queue::RuleStatusClasses());
  r.downloadStatusCriteria = tag(kRowStatusValue, queue::RuleStatusValues());
  r.fileTypeClass = tag(kRowTypeClass, queue::RuleTypeClasses());
  r.fileTypeCriteria = text(kRowTypeText);
  r.startDateClass = tag(kRowStartPeriod, queue::RuleDatePeriods());
  r.startDateCriteria = text(kRowStartDays);
  r.endDateClass = tag(kRowEndPeriod, queue::RuleDatePeriods());
  r.endDateCriteria = text(kRowEndDays);
}

void RuleEditor::ReadAll() {
  for (std::size_t row = 0; row < model_.numberOfRows(); ++row) ReadRow(row);
  if (toolbox::Control* match = window_->FindControl(ID(kRuleMatchPopUpID)))
    model_.setMatchKind(TagAt(queue::RuleMatchKinds(), match->Value()));
}

// Rows made on demand and kept: a row's own "-" removes it from within its handler.
void RuleEditor::ShowAll() {
  const std::size_t rows = model_.numberOfRows();
  while (madeRows_ < rows) AddRowControls(madeRows_++);
  for (std::size_t row = 0; row < rows; ++row) ShowRow(row);
  for (std::size_t row = rows; row < madeRows_; ++row)
    for (const RowPiece& piece : RowPieces()) C(row, piece.which)->SetVisible(false);
  if (toolbox::Control* match = window_->FindControl(ID(kRuleMatchPopUpID)))
    match->SetValue(ValueOf(queue::RuleMatchKinds(), model_.matchKind()));
  Layout();
}

// The window's bottom edge moves with the rows; its top stays where it is.
void RuleEditor::Layout() {
  const toolbox::Rect content = window_->ContentBounds();
  const double height = kRuleEditorBaseHeight + model_.heightDelta();
  if (content.height != height) window_->SetContentBounds({content.x, content.y, content.width, height});
  const double buttonsTop = height - 44;
  if (toolbox::Control* ok = window_->FindControl(ID(kRuleOKButtonID)))
    ok->SetBounds({kWidth - 112, buttonsTop, 96, 28});
  if (toolbox::Control* cancel = window_->FindControl(ID(kRuleCancelButtonID)))
    cancel->SetBounds({kWidth - 216, buttonsTop, 96, 28});
}

void RuleEditor::Changed(std::size_t row, RuleRowControl which) {
  if (row >= model_.numberOfRows()) return;
  ReadAll();
  switch (which) {
    case kRowKindPopUp:
      model_.changeRuleType(row, TagAt(queue::RuleCriteriaNames(), C(row, kRowKindPopUp)->Value()));
      break;
    case kRowStartPeriod:
    case kRowEndPeriod:
      model_.ruleControllers()[row].classChanged();
      break;
    case kRowRemoveButton:
      model_.removeRow({row});
      break;
    case kRowAddButton:
      model_.addRow({row});
      break;
    default:
      return;
  }
  ShowAll();
}

void RuleEditor::Ok() {
  ReadAll();
  const auto outcome = model_.BuildPredicate();
  if (!outcome.predicate) {
    toolbox::AlertRequest alert;
    alert.style = toolbox::AlertStyle::kWarning;
    alert.message = outcome.message;
    alert.buttons = {{.text = values::Localized("OK"), .is_default = true}};
    alert.parent = window_.get();
    toolbox::GetPresenter().RunAlert(alert);
    return;
  }
  // The model outlives the window only until this returns: what is needed is taken first.
  const bool isNew = model_.folder() == nullptr;
  std::string failure;
  window_->Hide();
  const queue::SmartFolderRef folder = model_.ok(failure);
  if (isNew && folder) {
    if (CustomList* list = GetMainFolderList()) {
      if (RowRef row = SourceListAddFolderRow(*list, folder->uid())) {
        SourceListSortFolderRows(*list);
        list->SelectRow(row);
        list->RevealRow(row);
        list->BeginRename(row);
      }
    }
  }
  Close();
}

void RuleEditor::Close() {
  // Releasing disposes of the window, which destroys this editor: nothing after it.
  std::shared_ptr<toolbox::Window> window = window_;
  window->Release();
}

toolbox::Window* RuleEditor::Open() {
  toolbox::WindowSpec spec;
  spec.kind = toolbox::WindowKind::kDialog;
  spec.title = model_.title();
  spec.content = {0, 0, kWidth, kRuleEditorBaseHeight};
  window_ = toolbox::Window::Create(spec);
  window_->AddControl({.kind = ControlKind::kStaticText,
                       .id = ID(10),
                       .bounds = {14, 16, 56, 18},
                       .text = values::Localized("Match")});
  toolbox::MenuRef kinds = MenuOf(queue::RuleMatchKinds());
  window_->AddControl({.kind = ControlKind::kPopUpButton,
                       .id = ID(kRuleMatchPopUpID),
                       .bounds = {72, 12, 80, kControlHeight},
                       .value = 1,
                       .minimum = 1,
                       .maximum = kinds->CountItems(),
                       .menu = kinds});
  window_->AddControl({.kind = ControlKind::kStaticText,
                       .id = ID(11),
                       .bounds = {160, 16, 300, 18},
                       .text = values::Localized("of the following rules:")});
  window_->AddControl({.kind = ControlKind::kPushButton,
                       .id = ID(kRuleCancelButtonID),
                       .text = values::Localized("Cancel"),
                       .command = toolbox::kCommandCancel,
                       .is_cancel = true});
  window_->AddControl({.kind = ControlKind::kPushButton,
                       .id = ID(kRuleOKButtonID),
                       .text = values::Localized("OK"),
                       .command = toolbox::kCommandOK,
                       .is_default = true});
  window_->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                           {toolbox::kEventClassWindow, toolbox::kEventWindowClose},
                           {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                          [this](runtime::HandlerCall&, runtime::Event& event) -> runtime::Status {
                            if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
                              const std::uint64_t serial = window_->serial();
                              // Destroys this editor; the window is already going.
                              OpenEditors().erase(serial);
                              return runtime::kEventNotHandledErr;
                            }
                            if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose))
                              return runtime::kEventNotHandledErr;  // released: nothing changes
                            const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
                            if (command == toolbox::kCommandOK) {
                              Ok();
                              return runtime::kNoErr;
                            }
                            if (command == toolbox::kCommandCancel) {
                              Close();
                              return runtime::kNoErr;
                            }
                            return runtime::kEventNotHandledErr;
                          });
  ShowAll();
  window_->Center();
  window_->Select();
  if (toolbox::Control* first =
          C(0, model_.ruleControllers()[0].type == queue::kRuleFileName ? kRowNameText : kRowKindPopUp))
    first->SetFocus();
  return window_.get();
}

queue::SmartFolderRef SelectedSmartFolder() {
  CustomList* list = GetMainFolderList();
  const RowRef row = list ? list->GetSelectedRow() : nullptr;
  if (!row || !queue::IsSmartFolderID(row->identifier)) return nullptr;
  return queue::LookUpSmartFolder(row->identifier);
}

}  // namespace

toolbox::Window* OpenSmartFolderRuleEditor(const queue::SmartFolderRef& folder) {
  auto editor = std::make_unique<RuleEditor>(folder);
  toolbox::Window* window = editor->Open();
  // Kept until its window is disposed of (OK, Cancel or the close box).
  OpenEditors()[window->serial()] = std::move(editor);
  return window;
}

void EditSelectedSmartFolder() {
  if (queue::SmartFolderRef folder = SelectedSmartFolder()) OpenSmartFolderRuleEditor(folder);
}

bool CanEditSelectedSmartFolder() {
  return SelectedSmartFolder() != nullptr;
}

}  // namespace ui
