#pragma once
// The source list's view: a flat, scrolling list of rows on a light grey gradient, grouped
// under section rows with disclosure triangles. A row has a 16-pixel icon, a label, and
// optionally a secondary icon (a lock), a push button (eject), a count badge and spinning
// progress arrows.
//
// The view knows nothing of downloads or hosts: a row carries a 32-bit identifier, and the
// owner (source_list_content.h) gives identifiers their meaning, builds the rows, answers
// what the view asks and reacts to what it reports through CustomListOwner:
//   before any change of the selection the owner may refuse it; then the rows that left,
//   the rows that joined, and "changed" are told in that order; a right click asks for
//   the row's menu; a rename ends with the field's text (Escape too - the owner decides);
//   a drag over a row asks whether the row takes it, a drop hands it over; the push button
//   and the disclosure triangle report a click released inside them.
//
// The view keeps its own selection (a set of rows, which may include rows hidden under a
// closed section). Only two levels are shown: the top rows and their direct children.
// Rows are held by the arrays that contain them; the view holds the top rows.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/runtime/run_loop.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/toolbox/views/view.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

class CustomList;

// Row state bits.
inline constexpr std::uint32_t kRowStateDropTarget = 2;
inline constexpr std::uint32_t kRowStateSeparator = 4;
inline constexpr std::uint32_t kRowStateEditing = 8;
inline constexpr std::uint32_t kRowStateDimmed = 16;
inline constexpr std::uint32_t kRowStateBlink1 = 32;
inline constexpr std::uint32_t kRowStateBlink2 = 64;
inline constexpr std::uint32_t kRowStateBlink3 = 128;
inline constexpr std::uint32_t kRowStateBlinkMask = 32 | 64 | 128;

// Hit-test parts.
inline constexpr int kPartRowBody = 172;
inline constexpr int kPartRowButton = 173;
inline constexpr int kPartDisclosure = 174;

inline constexpr values::FourCharCode kCustomListControlID = values::FourCC("CLis");

class TRCustomListRow;
using RowRef = std::shared_ptr<TRCustomListRow>;
using RowSet = std::set<RowRef>;

class TRCustomListRow : public std::enable_shared_from_this<TRCustomListRow> {
 public:
  // initWithIcon:andLabel:andIdentifier: selectable, open, no badge, no children.
  TRCustomListRow(std::optional<toolbox::Image> icon, std::string label, std::uint32_t identifier);
  ~TRCustomListRow();
  TRCustomListRow(const TRCustomListRow&) = delete;
  TRCustomListRow& operator=(const TRCustomListRow&) = delete;

  std::optional<toolbox::Image> icon;
  std::optional<toolbox::Image> secondaryIcon;
  std::string label;
  std::uint32_t state = 0;
  std::int32_t badgeValue = -1;
  std::uint32_t identifier = 0;
  CustomList* parent = nullptr;  // the list showing the row
  std::optional<toolbox::Image> buttonIcon;
  std::optional<toolbox::Image> buttonClickedIcon;
  bool buttonDown = false;
  bool open = true;
  bool selectable = true;
  TRCustomListRow* parentRow = nullptr;  // not owned

  bool showProgress() const { return showProgress_; }
  // On: a 0.2-second timer redraws the row (the arrows turn); off: the timer goes.
  void setShowProgress(bool on);
  int progressStep() const { return progressStep_; }

  // Present (possibly empty) on section rows only.
  const std::optional<std::vector<RowRef>>& children() const { return children_; }
  // Each child's parentRow becomes this row and its parent this row's list.
  void setChildren(std::vector<RowRef> children);

 private:
  bool showProgress_ = false;
  int progressStep_ = 0;
  std::shared_ptr<runtime::Timer> animationTimer_;
  std::optional<std::vector<RowRef>> children_;
};

// selectable and not a separator.
bool CustomListRowIsSelectable(const TRCustomListRow& row);

class CustomListOwner {
 public:
  virtual ~CustomListOwner() = default;
  // Before a change of the selection: false refuses it; nothing lets it go on.
  virtual std::optional<bool> CanChangeSelection(CustomList& list, const RowSet& proposed) {
    return std::nullopt;
  }
  virtual void RowsLeftSelection(CustomList& list, const RowSet& removed) {}
  virtual void RowsJoinedSelection(CustomList& list, const RowSet& added) {}
  virtual void SelectionChanged(CustomList& list) {}
  // The menu for a right click on `row` (null: no row under the mouse); null shows none.
  virtual toolbox::MenuRef ContextMenuForRow(CustomList& list, const RowRef& row) { return nullptr; }
  virtual void RenameEnded(CustomList& list, const RowRef& row, const std::string& text) {}
  // A drag moved onto a row not asked about before: true takes the row as drop target;
  // nothing: not answered.
  virtual std::optional<bool> AcceptDragOnRow(CustomList& list, const toolbox::Drag& drag,
                                              const RowRef& row) {
    return std::nullopt;
  }
  // A drop (row: the drop target, null when none): true when taken.
  virtual bool DropOnRow(CustomList& list, const toolbox::Drag& drag, const RowRef& row) { return false; }
  virtual void ButtonClicked(CustomList& list, const RowRef& row) {}
  virtual void DisclosureClicked(CustomList& list, const RowRef& row) {}
};

// Control Manager answers of the list's data.
inline constexpr int kControlDataBufferTooSmall = -30591;
inline constexpr int kControlDataNotSupported = -30581;
inline constexpr int kParamErr = -50;

class CustomList : public toolbox::View {
 public:
  CustomList();
  ~CustomList() override;

  void SetOwner(CustomListOwner* owner) { owner_ = owner; }

  // 'SRCm': the top rows.
  void SetTopRows(std::vector<RowRef> rows);
  const std::vector<RowRef>& TopRows() const { return topRows_; }
  // 'Font': 1 regular (views font, rows 20 high), 2 small (small system font, rows 18
  // high); -50 for another value.
  int SetFontSize(int size);
  double RowHeight() const { return rowHeight_; }

  int SetSelection(const RowSet& rows);  // 0 done or nothing to do, -1 refused
  void SelectRow(const RowRef& row);
  RowSet CopySelection() const { return selection_; }
  RowRef GetSelectedRow() const;
  RowRef GetRowByIdentifier(std::uint32_t identifier) const;
  const std::vector<RowRef>& GetVisibleRows();
  void FlushVisibleRows();
  void SetRowChildren(const RowRef& row, std::vector<RowRef> children);
  void RemoveChild(const RowRef& parent, const RowRef& child);
  void InvalidateRow(const TRCustomListRow* row);
  void RevealRow(const RowRef& row);
  void ScrollTo(double y);
  double ScrollOffset() const;
  void BeginRename(const RowRef& row);
  void EndRename();
  const RowRef& RowInEdit() const { return rowInEdit_; }
  toolbox::Control* EditField() const { return editField_; }
  bool IsFocused() const { return focused_; }
  const RowRef& DropTarget() const { return dropTarget_; }

  // The scroll host's frame changed size: the image follows its width.
  void FrameChanged();
  // Hit testing in the view's (image) coordinates: the part and its row.
  int HitTestRow(toolbox::Point where, RowRef* row);

  // toolbox::View
  void Draw(toolbox::DrawingContext& ctx, const toolbox::Rect& dirty) override;
  int HitTest(toolbox::Point where) override;
  // Every part is followed press to release: a row selects at the press; a triangle or
  // button acts at a release inside it.
  bool TracksContinuously(int part) const override { return true; }
  void OnTrack(int part, const toolbox::MouseEvent& event, bool released) override;
  bool OnContextualClick(const toolbox::MouseEvent& event) override;
  bool OnKey(const toolbox::KeyEvent& event) override;
  bool AcceptsFocus() const override { return true; }
  void OnFocusChanged(bool focused) override;
  void OnBoundsChanged(const toolbox::Rect& old_bounds, const toolbox::Rect& new_bounds) override;
  unsigned OnDragEnter(const toolbox::Drag& drag) override;
  unsigned OnDragWithin(const toolbox::Drag& drag) override;
  void OnDragLeave() override;
  bool OnDrop(const toolbox::Drag& drag) override;

 private:
  void RebuildRowMap();
  const std::vector<RowRef>& AllRows();
  void DropCaches();
  void UpdateImageSize();
  void ClampScroll();
  void ScrollByKey(int key);
  double ViewHeight() const;
  int IndexOfShown(const TRCustomListRow* row);
  void DrawRow(toolbox::DrawingContext& ctx, TRCustomListRow& row, double top, double width);
  void ScheduleBlinkStep(const RowRef& row);
  void ClearDropTarget();
  toolbox::Rect PartRect(int part, const RowRef& row);

  CustomListOwner* owner_ = nullptr;
  double rowHeight_ = 20.0;
  int font_ = 3;
  std::vector<RowRef> topRows_;
  std::unordered_map<std::uint32_t, RowRef> rowMap_;
  bool focused_ = false;
  RowSet selection_;
  RowRef rowInEdit_;
  toolbox::Control* editField_ = nullptr;
  RowRef dropTarget_;
  RowRef lastDragRow_;
  RowRef pressedRow_;  // the row whose button or triangle is being pressed
  bool pressedInside_ = false;
  bool tracking_ = false;
  std::optional<std::vector<RowRef>> shownRows_;
  std::optional<std::vector<RowRef>> allRows_;
  std::vector<std::shared_ptr<runtime::Timer>> blinkTimers_;
};

// The list inside a scroll host with auto-hiding scroll bars, added to `window` with
// `desc` (its id {'Truv','CLis'} unless given); the list is the control's view.
toolbox::Control* CreateCustomListInScrollView(toolbox::Window& window, toolbox::ControlSpec desc);
// The control's list, nullptr when it is not a custom list.
CustomList* AsCustomList(toolbox::View* view);
CustomList* AsCustomList(toolbox::Control* control);

// Set operations.
RowSet RowSetDifference(const RowSet& a, const RowSet& b);
RowSet RowSetUnion(const RowSet& a, const RowSet& b);

}  // namespace ui
