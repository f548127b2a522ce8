#include "app/ui/source_list/custom_list.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/theme/font.h"
#include "platform/toolbox/theme/theme.h"

namespace ui {

using toolbox::Color;
using toolbox::DrawingContext;
using toolbox::Point;
using toolbox::Rect;

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr auto kBlinkDelay = std::chrono::milliseconds(110);
// How far below the top of the view a revealed row lands.
constexpr double kRevealMargin = 40;

void DrawIcon(DrawingContext& ctx, const toolbox::Image& image, const Rect& r, bool dimmed) {
  ctx.SaveGState();
  if (dimmed) ctx.SetAlpha(0.5);
  ctx.DrawImage(r, image);
  ctx.RestoreGState();
}

toolbox::Font ListFont(int themeFont) {
  return toolbox::GetThemeFont(themeFont == 3 ? toolbox::ThemeFont::kSystem
                                              : toolbox::ThemeFont::kSmallSystem);
}

}  // namespace

// ---- rows ----

TRCustomListRow::TRCustomListRow(std::optional<toolbox::Image> icon_, std::string label_,
                                 std::uint32_t identifier_)
    : icon(std::move(icon_)), label(std::move(label_)), identifier(identifier_) {}

TRCustomListRow::~TRCustomListRow() {
  if (animationTimer_) animationTimer_->Invalidate();
}

void TRCustomListRow::setShowProgress(bool on) {
  showProgress_ = on;
  if (on && !animationTimer_) {
    std::weak_ptr<TRCustomListRow> weak = weak_from_this();
    animationTimer_ = runtime::Timer::Create(kProgressInterval, kProgressInterval, [weak](runtime::Timer&) {
      if (auto row = weak.lock()) {
        row->progressStep_ = (row->progressStep_ + 1) % toolbox::kChasingArrowsSteps;
        if (row->parent) row->parent->InvalidateRow(row.get());
      }
    });
    runtime::RunLoop::Main()->AddTimer(animationTimer_);
  } else if (!on && animationTimer_) {
    animationTimer_->Invalidate();
    animationTimer_.reset();
  }
}

void TRCustomListRow::setChildren(std::vector<RowRef> children) {
  for (const auto& child : children) {
    child->parentRow = this;
    child->parent = parent;
  }
  children_ = std::move(children);
}

bool CustomListRowIsSelectable(const TRCustomListRow& row) {
  return row.selectable && (row.state & kRowStateSeparator) == 0;
}

RowSet RowSetDifference(const RowSet& a, const RowSet& b) {
  RowSet out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
  return out;
}

RowSet RowSetUnion(const RowSet& a, const RowSet& b) {
  RowSet out = a;
  out.insert(b.begin(), b.end());
  return out;
}

// ---- the list ----

CustomList::CustomList() = default;

CustomList::~CustomList() {
  for (auto& t : blinkTimers_) t->Invalidate();
}

CustomList* AsCustomList(toolbox::View* view) {
  return dynamic_cast<CustomList*>(view);
}
CustomList* AsCustomList(toolbox::Control* control) {
  return control ? AsCustomList(control->GetView()) : nullptr;
}

toolbox::Control* CreateCustomListInScrollView(toolbox::Window& window, toolbox::ControlSpec desc) {
  if (desc.id.signature == 0)
    desc.id = {toolbox::kApplicationSignature, static_cast<std::int32_t>(kCustomListControlID)};
  auto list = std::make_shared<CustomList>();
  toolbox::Control* control = window.AddScrollingView(desc, list);
  if (!control) return nullptr;
  if (auto* host = list->GetScrollHost()) {
    host->SetScrollBars(false, true);
    host->SetLineSize({0, list->RowHeight()});
    CustomList* raw = list.get();
    host->SetFrameChangedHandler([raw] { raw->FrameChanged(); });
  }
  list->SetTopRows({});
  return control;
}

void CustomList::SetTopRows(std::vector<RowRef> rows) {
  if (rows == topRows_ && !rows.empty()) return;
  // Rows that leave the list leave the selection too - children of a section that went
  // as well as the section, so that no selection names a row no longer shown anywhere.
  RowSet kept;
  for (const auto& row : rows) {
    kept.insert(row);
    if (row->children()) kept.insert(row->children()->begin(), row->children()->end());
  }
  RowSet newSelection;
  for (const auto& row : selection_)
    if (kept.count(row)) newSelection.insert(row);
  if (rowInEdit_ && !kept.count(rowInEdit_)) EndRename();
  topRows_ = std::move(rows);
  DropCaches();
  for (const auto& row : topRows_) {
    row->parent = this;
    if (row->children())
      for (const auto& child : *row->children()) child->parent = this;
  }
  RebuildRowMap();
  SetSelection(newSelection);
  if (rowInEdit_) RevealRow(rowInEdit_);
  UpdateImageSize();
  Invalidate();
}

int CustomList::SetFontSize(int size) {
  if (size != 1 && size != 2) return kParamErr;
  const int font = size == 1 ? 3 : 1;
  if (font == font_) return 0;
  font_ = font;
  rowHeight_ = size == 1 ? 20.0 : 18.0;
  if (auto* host = GetScrollHost()) host->SetLineSize({0, rowHeight_});
  UpdateImageSize();
  Invalidate();
  return 0;
}

void CustomList::RebuildRowMap() {
  rowMap_.clear();
  for (const auto& top : topRows_) {
    if (top->children())
      for (const auto& child : *top->children()) rowMap_[child->identifier] = child;
    rowMap_[top->identifier] = top;
  }
}

void CustomList::DropCaches() {
  shownRows_.reset();
  allRows_.reset();
}

const std::vector<RowRef>& CustomList::GetVisibleRows() {
  if (!shownRows_) {
    std::vector<RowRef> rows;
    for (const auto& top : topRows_) {
      rows.push_back(top);
      if (top->open && top->children())
        rows.insert(rows.end(), top->children()->begin(), top->children()->end());
    }
    shownRows_ = std::move(rows);
  }
  return *shownRows_;
}

const std::vector<RowRef>& CustomList::AllRows() {
  if (!allRows_) {
    std::vector<RowRef> rows;
    for (const auto& top : topRows_) {
      rows.push_back(top);
      if (top->children()) rows.insert(rows.end(), top->children()->begin(), top->children()->end());
    }
    allRows_ = std::move(rows);
  }
  return *allRows_;
}

void CustomList::FlushVisibleRows() {
  DropCaches();
  UpdateImageSize();
  Invalidate();
}

void CustomList::SetRowChildren(const RowRef& row, std::vector<RowRef> children) {
  if (!row) return;
  row->setChildren(std::move(children));
  for (const auto& child : *row->children()) child->parent = this;
  DropCaches();
  RebuildRowMap();
  UpdateImageSize();
  Invalidate();
}

void CustomList::RemoveChild(const RowRef& parent, const RowRef& child) {
  if (!parent || !parent->children()) return;
  std::vector<RowRef> children = *parent->children();
  const auto it = std::find(children.begin(), children.end(), child);
  if (it == children.end()) return;
  children.erase(it);
  SetRowChildren(parent, std::move(children));
}

RowRef CustomList::GetSelectedRow() const {
  return selection_.empty() ? nullptr : *selection_.begin();
}

RowRef CustomList::GetRowByIdentifier(std::uint32_t identifier) const {
  const auto it = rowMap_.find(identifier);
  return it == rowMap_.end() ? nullptr : it->second;
}

int CustomList::SetSelection(const RowSet& rows) {
  if (owner_) {
    const auto answer = owner_->CanChangeSelection(*this, rows);
    if (answer && !*answer) return -1;
  }
  const RowSet removed = RowSetDifference(selection_, rows);
  const RowSet added = RowSetDifference(rows, selection_);
  if (removed.empty() && added.empty()) return 0;
  if (owner_ && !removed.empty()) owner_->RowsLeftSelection(*this, removed);
  if (owner_ && !added.empty()) owner_->RowsJoinedSelection(*this, added);
  selection_ = rows;
  if (owner_) owner_->SelectionChanged(*this);
  Invalidate();
  return 0;
}

void CustomList::SelectRow(const RowRef& row) {
  if (row) SetSelection({row});
}

int CustomList::IndexOfShown(const TRCustomListRow* row) {
  const auto& shown = GetVisibleRows();
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (shown[i].get() == row) return static_cast<int>(i);
  return -1;
}

void CustomList::InvalidateRow(const TRCustomListRow* row) {
  if (IndexOfShown(row) < 0) return;
  // The view draws only what meets the update area; a band is cheap to ask for whole.
  Invalidate();
}

double CustomList::ViewHeight() const {
  if (auto* host = GetScrollHost()) return host->FrameSize().height;
  return GetSize().height;
}

void CustomList::FrameChanged() {
  UpdateImageSize();
  Invalidate();
}

double CustomList::ScrollOffset() const {
  if (auto* host = GetScrollHost()) return host->Origin().y;
  return 0;
}

void CustomList::UpdateImageSize() {
  auto* host = GetScrollHost();
  if (!host) return;
  const double rows = static_cast<double>(GetVisibleRows().size()) * rowHeight_;
  const toolbox::Size frame = host->FrameSize();
  // As wide as the frame, and at least as tall, so that the gradient fills it.
  host->SetImageSize({frame.width, std::max(rows, frame.height)});
  ClampScroll();
}

void CustomList::ClampScroll() {
  ScrollTo(ScrollOffset());
}

void CustomList::ScrollTo(double y) {
  auto* host = GetScrollHost();
  if (!host) return;
  const double rows = static_cast<double>(GetVisibleRows().size()) * rowHeight_;
  y = std::max(0.0, std::min(y, rows - ViewHeight()));
  if (y != host->Origin().y) host->ScrollTo({0, y});
}

void CustomList::RevealRow(const RowRef& row) {
  const int index = IndexOfShown(row.get());
  if (index < 0) return;
  const double top = index * rowHeight_ - ScrollOffset();
  if (top >= 0 && top + rowHeight_ <= ViewHeight()) return;
  ScrollTo(index * rowHeight_ - kRevealMargin);
}

void CustomList::ScrollByKey(int key) {
  const double offset = ScrollOffset(), page = ViewHeight() - rowHeight_;
  const double rows = static_cast<double>(GetVisibleRows().size()) * rowHeight_;
  switch (key) {
    case toolbox::kKeyHome:
      return ScrollTo(0);
    case toolbox::kKeyEnd:
      return ScrollTo(rows - ViewHeight());
    case toolbox::kKeyPageUp:
      return ScrollTo(offset - page);
    case toolbox::kKeyPageDown:
      return ScrollTo(offset + page);
    case toolbox::kKeyUp:
      return ScrollTo(offset - rowHeight_);
    case toolbox::kKeyDown:
      return ScrollTo(offset + rowHeight_);
    default:
      return;
  }
}

void CustomList::OnBoundsChanged(const Rect&, const Rect&) {
  UpdateImageSize();
}

// ---- drawing ----

void CustomList::Draw(DrawingContext& ctx, const Rect& dirty) {
  const toolbox::Size size = GetSize();
  const Rect area = dirty.IsEmpty() ? Rect{0, 0, size.width, size.height} : dirty;
  // White at the top of the view to 235/255 at its bottom, whatever the scroll.
  const double top = ScrollOffset(), height = std::max(ViewHeight(), 1.0);
  ctx.SaveGState();
  ctx.ClipToRect(area);
  ctx.DrawLinearGradient(toolbox::Gradient{{{0, Color::White()}, {1, Color::FromBytes(235, 235, 235)}}},
                         {0, top}, {0, top + height});
  ctx.RestoreGState();

  const auto& shown = GetVisibleRows();
  const int first = static_cast<int>(std::floor(area.y / rowHeight_));
  // One row more than whole rows in the area: a partly shown last row is drawn too.
  const int last = first + static_cast<int>(std::ceil(area.height / rowHeight_));
  for (int i = std::max(0, first); i <= last && i < static_cast<int>(shown.size()); ++i) {
    ctx.SaveGState();
    DrawRow(ctx, *shown[i], i * rowHeight_, size.width);
    ctx.RestoreGState();
  }
}

void CustomList::DrawRow(DrawingContext& ctx, TRCustomListRow& row, double top, double width) {
  const Rect rowRect{0, top, width, rowHeight_};
  if (row.state & kRowStateSeparator) {
    toolbox::DrawSeparator(ctx, rowRect);
    return;
  }
  Rect label = rowRect;
  const bool section = row.children().has_value();
  if (section) {
    toolbox::DrawDisclosureTriangle(ctx, {4, top + 1, 16, 16}, row.open,
                                    pressedInside_ && pressedRow_.get() == &row);
    label.x += 22;
    label.width += 10 - 22;
  } else {
    label.x += 40;
    label.width -= 8 + 40;
  }

  const bool active = window() && window()->IsActive();
  const Color highlight = active ? Color::FromBytes(61, 126, 205) : Color::FromBytes(170, 178, 190);
  const double luminance = 0.299 * highlight.red + 0.587 * highlight.green + 0.114 * highlight.blue;
  const bool selected = selection_.count(row.shared_from_this()) != 0;
  bool whiteLabel = false;
  if ((selected || (row.state & kRowStateDropTarget)) && !(row.state & (kRowStateBlink1 | kRowStateBlink3))) {
    ctx.SetFillColor(highlight);
    ctx.FillRect(rowRect);
    whiteLabel = selected && luminance < 0.8;
  }
  const bool dimmed = (row.state & kRowStateDimmed) != 0;

  if (row.state & kRowStateBlinkMask) {
    const std::uint32_t s = row.state;
    std::uint32_t next = 0;
    if ((s & kRowStateBlink1) && (s & kRowStateBlink2))
      next = kRowStateBlink3;
    else if (s & kRowStateBlink1)
      next = kRowStateBlink2;
    else if (s & kRowStateBlink2)
      next = kRowStateBlink3;
    row.state = (s & ~kRowStateBlinkMask) | next;
    ScheduleBlinkStep(row.shared_from_this());
  }

  const double iconY = top + (rowHeight_ - 16) / 2;
  const double right = width;
  const bool hasBadge = row.badgeValue >= 0;
  const bool hasButton = row.buttonIcon.has_value();
  if (hasButton) {
    const auto& image = row.buttonDown && row.buttonClickedIcon ? *row.buttonClickedIcon : *row.buttonIcon;
    DrawIcon(ctx, image, {right - 18, iconY, 16, 16}, false);
    label.width -= 18;
  }
  if (row.secondaryIcon) {
    double x = right - 18 - (hasBadge ? 18 : 0) - (hasButton ? 18 : 0);
    DrawIcon(ctx, *row.secondaryIcon, {x, iconY, 16, 16}, false);
    label.width -= 18;
  }
  if (!section && row.icon) DrawIcon(ctx, *row.icon, {20, iconY, 16, 16}, dimmed);
  if (hasBadge) {
    const std::string text = std::to_string(row.badgeValue);
    const toolbox::Font font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallEmphasized);
    const double measured = std::ceil(toolbox::MeasureText(text, font).width);
    const double extra = measured - 8 >= 8 ? measured - 8 : 0;
    const double mid = top + rowHeight_ / 2;
    // The 16-pixel line with round caps from right - 10 - extra to right - 10: filled as
    // the pill it draws, which also shows when the line has no length.
    ctx.SetFillColor(whiteLabel ? Color{1, 1, 1, 0.9} : Color{0.6, 0.6, 0.6, 1});
    ctx.BeginPath();
    ctx.AddRoundedRect({right - 18 - extra, mid - 8, 16 + extra, 16}, 8);
    ctx.FillPath();
    toolbox::TextStyle style;
    style.font = font;
    style.color = whiteLabel ? highlight : Color::White();
    style.alignment = toolbox::TextAlignment::kCenter;
    style.truncation = toolbox::Truncation::kEnd;
    style.center_vertically = true;
    ctx.DrawText(text, {right - 8 - extra - 10, iconY, 16 + extra, 16}, style);
    label.width -= 16 + extra + 2;
  }
  if (row.showProgress()) {
    const double x =
        right - 18 - 18 * ((row.secondaryIcon ? 1 : 0) + (hasButton ? 1 : 0) + (hasBadge ? 1 : 0));
    toolbox::DrawChasingArrows(ctx, {x, iconY, 16, 16}, row.progressStep());
    label.width -= 20;
  }

  if (row.state & kRowStateEditing) return;
  toolbox::TextStyle style;
  style.truncation = toolbox::Truncation::kMiddle;
  style.center_vertically = true;
  if (section) {
    style.font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallEmphasized);
    style.color = Color::FromBytes(96, 110, 128);
  } else {
    style.font = ListFont(font_);
    style.color = whiteLabel ? Color::White() : Color::Black();
  }
  ctx.DrawText(row.label, label, style);
}

void CustomList::ScheduleBlinkStep(const RowRef& row) {
  std::weak_ptr<TRCustomListRow> weak = row;
  auto timer = runtime::Timer::Create(kBlinkDelay, runtime::Nanoseconds(0), [this, weak](runtime::Timer& t) {
    if (auto r = weak.lock()) InvalidateRow(r.get());
    std::erase_if(blinkTimers_, [&](const auto& p) { return p.get() == &t; });
  });
  blinkTimers_.push_back(timer);
  runtime::RunLoop::Main()->AddTimer(timer);
}

// ---- hit testing and clicks ----

int CustomList::HitTestRow(Point where, RowRef* out) {
  if (out) out->reset();
  if (where.y < 0) return 0;
  const auto& shown = GetVisibleRows();
  const auto index = static_cast<std::size_t>(std::floor(where.y / rowHeight_));
  if (index >= shown.size()) return 0;
  const RowRef& row = shown[index];
  if (out) *out = row;
  if (row->state & kRowStateSeparator) return 0;
  const double top = static_cast<double>(index) * rowHeight_;
  int part = kPartRowBody;
  const double width = GetSize().width;
  if (row->buttonIcon && Rect{width - 18, top + (rowHeight_ - 16) / 2, 16, 16}.Contains(where))
    part = kPartRowButton;
  if (row->children() && Rect{4, top + 1, 16, 16}.Contains(where)) part = kPartDisclosure;
  return part;
}

int CustomList::HitTest(Point where) {
  return HitTestRow(where, nullptr);
}

toolbox::Rect CustomList::PartRect(int part, const RowRef& row) {
  const int index = IndexOfShown(row.get());
  const double top = index * rowHeight_;
  if (part == kPartDisclosure) return {4, top + 1, 16, 16};
  return {GetSize().width - 18, top + (rowHeight_ - 16) / 2, 16, 16};
}

void CustomList::OnTrack(int part, const toolbox::MouseEvent& event, bool released) {
  const bool press = !tracking_;
  tracking_ = !released;
  if (part == kPartRowButton || part == kPartDisclosure) {
    if (press) {
      HitTestRow(event.where, &pressedRow_);
      if (rowInEdit_) EndRename();
    }
    if (!pressedRow_) return;
    const bool inside = PartRect(part, pressedRow_).Contains(event.where);
    if (part == kPartRowButton) pressedRow_->buttonDown = inside && !released;
    pressedInside_ = inside && !released;
    InvalidateRow(pressedRow_.get());
    if (!released) return;
    RowRef row = std::exchange(pressedRow_, nullptr);
    pressedInside_ = false;
    if (inside && owner_) {
      if (part == kPartDisclosure)
        owner_->DisclosureClicked(*this, row);
      else
        owner_->ButtonClicked(*this, row);
    }
    return;
  }
  if (!press || part != kPartRowBody) return;
  RowRef row;
  if (HitTestRow(event.where, &row) != kPartRowBody || !row) return;
  if (rowInEdit_) EndRename();
  if (!focused_) {
    if (control()) control()->SetFocus();
    focused_ = true;
  }
  if (event.modifiers & toolbox::kModifierCommand) {
    RowSet proposed = selection_;
    if (proposed.count(row))
      proposed.erase(row);
    else
      proposed.insert(row);
    if (SetSelection(proposed) == -1) SelectRow(row);
  } else if (event.modifiers & toolbox::kModifierShift) {
    RowSet members = selection_;
    members.insert(row);
    const auto& shown = GetVisibleRows();
    int low = -1, high = -1;
    for (int i = 0; i < static_cast<int>(shown.size()); ++i) {
      if (!members.count(shown[i]) || shown[i]->state == kRowStateSeparator) continue;
      if (low < 0) low = i;
      high = i;
    }
    RowSet range;
    for (int i = low; i >= 0 && i <= high; ++i) range.insert(shown[i]);
    if (SetSelection(range) == -1) SelectRow(row);
  } else {
    SelectRow(row);
  }
}

bool CustomList::OnContextualClick(const toolbox::MouseEvent& event) {
  RowRef row;
  const int part = HitTestRow(event.where, &row);
  if (!focused_) {
    if (control()) control()->SetFocus();
    focused_ = true;
  }
  if (part == kPartRowBody && selection_.size() < 2) SelectRow(row);
  if (!owner_) return false;
  toolbox::MenuRef menu =
      owner_->ContextMenuForRow(*this, part == 0 && row && (row->state & kRowStateSeparator) ? nullptr : row);
  if (!menu) return false;
  toolbox::Point where = event.where;
  if (control()) {
    const Rect frame = control()->Bounds();
    where = {frame.x + where.x, frame.y + where.y - ScrollOffset()};
  }
  toolbox::PopUpContextualMenu(window(), where, menu);
  return true;
}

// ---- keys and focus ----

bool CustomList::OnKey(const toolbox::KeyEvent& event) {
  switch (event.key) {
    case toolbox::kKeyHome:
    case toolbox::kKeyEnd:
    case toolbox::kKeyPageUp:
    case toolbox::kKeyPageDown:
      ScrollByKey(event.key);
      return true;
    case toolbox::kKeyUp:
    case toolbox::kKeyDown:
      break;
    default:
      return false;
  }
  const bool up = event.key == toolbox::kKeyUp;
  const auto& all = AllRows();
  const auto& shown = GetVisibleRows();
  int from = up ? static_cast<int>(all.size()) : -1;
  bool any = false;
  for (int i = 0; i < static_cast<int>(all.size()); ++i) {
    if (!selection_.count(all[i]) || all[i]->state == kRowStateSeparator) continue;
    if (!any || (up ? i < from : i > from)) from = i;
    any = true;
  }
  if (!any) from = up ? static_cast<int>(all.size()) : -1;
  RowRef next;
  for (int i = from + (up ? -1 : 1); i >= 0 && i < static_cast<int>(all.size()); i += up ? -1 : 1) {
    if (CustomListRowIsSelectable(*all[i]) && std::find(shown.begin(), shown.end(), all[i]) != shown.end()) {
      next = all[i];
      break;
    }
  }
  if (next) {
    if (event.modifiers & toolbox::kModifierShift) {
      RowSet proposed = selection_;
      proposed.insert(next);
      if (SetSelection(proposed) == -1) SelectRow(next);
    } else {
      SelectRow(next);
    }
    const int index = IndexOfShown(next.get());
    const double top = index * rowHeight_ - ScrollOffset();
    if (top >= 0 && top + rowHeight_ <= ViewHeight()) return true;
  }
  ScrollByKey(event.key);
  return true;
}

void CustomList::OnFocusChanged(bool focused) {
  // The edit field taking the focus is part of the rename, not its end.
  if (!focused && rowInEdit_) return;
  focused_ = focused;
  Invalidate();
}

// ---- renaming ----

void CustomList::BeginRename(const RowRef& row) {
  if (!row || !control()) return;
  if (rowInEdit_) EndRename();
  RevealRow(row);
  const int index = IndexOfShown(row.get());
  if (index < 0) return;
  const Rect frame = control()->Bounds();
  const toolbox::Font font =
      toolbox::GetThemeFont(font_ == 3 ? toolbox::ThemeFont::kSystem : toolbox::ThemeFont::kSmallSystem);
  const double labelWidth = toolbox::MeasureText(row->label, font).width;
  const double x = frame.x + 36, y = frame.y + index * rowHeight_ - ScrollOffset();
  toolbox::ControlSpec desc;
  desc.kind = toolbox::ControlKind::kEditText;
  desc.id = {toolbox::kApplicationSignature, values::FourCC("CLed")};
  desc.text = row->label;
  desc.font = font;
  desc.bounds = {x, y, std::min(labelWidth + 60, frame.Right() - x - 2), rowHeight_};
  editField_ = window()->AddControl(desc);
  rowInEdit_ = row;
  row->state |= kRowStateEditing;
  InvalidateRow(row.get());
  editField_->SetFocus();
  editField_->SelectAllText();
  std::weak_ptr<toolbox::Window> win = window()->shared_from_this();
  editField_->SetEditingEndedHandler([this, win](toolbox::Control&) {
    // The field ends from inside its own event; the ending waits for the next pass.
    runtime::RunLoop::Main()->Perform([this, win] {
      if (!win.expired() && !win.lock()->IsReleased()) EndRename();
    });
  });
}

void CustomList::EndRename() {
  if (!rowInEdit_) return;
  RowRef row = std::exchange(rowInEdit_, nullptr);
  toolbox::Control* field = std::exchange(editField_, nullptr);
  const std::string text = field ? field->Text() : row->label;
  if (field) field->window().RemoveControl(field);
  if (owner_) owner_->RenameEnded(*this, row, text);
  row->state &= ~kRowStateEditing;
  InvalidateRow(row.get());
}

// ---- drags ----

void CustomList::ClearDropTarget() {
  if (dropTarget_) {
    dropTarget_->state &= ~kRowStateDropTarget;
    InvalidateRow(dropTarget_.get());
  }
  dropTarget_.reset();
  lastDragRow_.reset();
}

unsigned CustomList::OnDragEnter(const toolbox::Drag& drag) {
  return OnDragWithin(drag);
}

unsigned CustomList::OnDragWithin(const toolbox::Drag& drag) {
  constexpr unsigned kAny = toolbox::kDragActionCopy | toolbox::kDragActionMove;
  RowRef row;
  if (HitTestRow(drag.mouse, &row) != kPartRowBody || !row) {
    ClearDropTarget();
    return kAny;
  }
  if (dropTarget_ && dropTarget_ != row) {
    dropTarget_->state &= ~kRowStateDropTarget;
    InvalidateRow(dropTarget_.get());
    dropTarget_.reset();
  }
  if (row == lastDragRow_) return dropTarget_ == row || !owner_ ? kAny : toolbox::kDragActionNone;
  SetCursor(toolbox::CursorKind::kArrow);
  lastDragRow_ = row;
  if (!owner_) return kAny;
  const auto accepted = owner_->AcceptDragOnRow(*this, drag, row);
  if (!accepted) return kAny;
  if (!*accepted) return toolbox::kDragActionNone;
  row->state |= kRowStateDropTarget;
  InvalidateRow(row.get());
  dropTarget_ = row;
  return kAny;
}

void CustomList::OnDragLeave() {
  toolbox::SetThemeCursor(toolbox::CursorKind::kArrow);
  ClearDropTarget();
}

bool CustomList::OnDrop(const toolbox::Drag& drag) {
  const RowRef target = dropTarget_;
  const bool taken = owner_ && owner_->DropOnRow(*this, drag, target);
  ClearDropTarget();
  return taken;
}

}  // namespace ui
