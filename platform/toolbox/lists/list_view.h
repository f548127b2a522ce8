#pragma once
// The list view: a multi-column list of rows that the client describes by callbacks, not
// by copying data in.
//
//   Items     are opaque ids (the client's record addresses) that the client adds to a
//             container - the root or a container row - and removes again; an id is in the
//             list at most once. A container row's children are added by the client when
//             it is opened (the opened notification) and dropped when it is closed.
//   Cells     are pulled, when a row is drawn or asked for, from the item-data callback by
//             (item, property id) through the typed setters of ListItemData. Properties 2,
//             3 and 4 are questions about the row (selectable, editable, container); a
//             callback answers kListPropertyNotSupported for what the row kind lacks.
//   Columns   are property ids with a kind, flags, a title, a minimum and maximum width
//             (a width set or dragged outside them is brought back inside), a title offset,
//             a justification and a place; a column can be present with width 0 (hidden).
//   Sorting   is by one column property and an order; the compare callback answers "first
//             before second" for the increasing order and the list reverses it. The
//             callback need not be a strict weak order (rows it calls equal in one pair and
//             ordered in another), so rows are sorted by a stable merge and placed by a
//             bounded binary search: never undefined, and equal rows keep their order.
//   Refresh   UpdateItems re-reads and re-places only the rows named; nothing else is asked.
//   Editing   the editable question (property 3) is asked once, when editing starts, never
//             while drawing: the answer may be one-shot.
//
//   Cells     of custom columns are drawn by the client and may hold numbered buttons: a
//             press on one is tracked by the list - the button drawn pressed while the
//             mouse stays over it - and reported when released over it.
//   Menus     a contextual click asks the client for a menu, shows it through the
//             presenter and hands back what was chosen.
//   Drags     rows dragged out carry the items the client gives for them; drags over
//             the list are offered to the client with the row under the mouse.
//   Events    keys pressed in the list, its drawing (after the standard drawing) and its
//             size changes go as runtime events (control_events.h) to its event target -
//             the pane's it is embedded in - so that the window's handlers see them.
//
// The list's widget goes into a window by Embed (into a user-pane control); a list that is
// not embedded works all the same off-screen (tests, headless runs).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/event_target.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/toolbox/views/drag.h"

namespace toolbox {

class Control;
class ListTree;

using ListItemID = std::uintptr_t;  // 0: no item (the root container)
using ListPropertyID = std::uint32_t;

inline constexpr ListPropertyID kListPropertySelectable = 2;
inline constexpr ListPropertyID kListPropertyEditable = 3;
inline constexpr ListPropertyID kListPropertyContainer = 4;

inline constexpr Status kListNoErr = 0;
inline constexpr Status kListPropertyNotSupported = -4971;
inline constexpr Status kListItemNotFound = -4970;
inline constexpr Status kListParamErr = -50;

enum class ListColumnKind { kText, kDate, kCustom, kIconAndText, kIcon, kCheckBox };

enum ListColumnFlag : unsigned {
  kListColumnSelectable = 1u << 0,
  kListColumnMovable = 1u << 1,
  kListColumnSortable = 1u << 2,
  kListColumnTypeSelect = 1u << 3,
  kListColumnEditable = 1u << 4,
  kListColumnRelativeDate = 1u << 5,
};

enum class ListJustification { kLeft, kCenter, kRight };

struct ListColumnDesc {
  ListPropertyID property = 0;
  ListColumnKind kind = ListColumnKind::kText;
  unsigned flags = 0;
  std::string title;
  int min_width = 0;
  int max_width = 0;
  ListJustification justification = ListJustification::kLeft;
  int title_offset = 0;
};

inline constexpr int kListAppendColumn = -1;

enum class ListSortOrder : std::uint16_t { kIncreasing = 1, kDecreasing = 2 };

// Icon transforms.
inline constexpr int kIconTransformNone = 0;
inline constexpr int kIconTransformDisabled = 1;

// One cell's value both ways: the item-data callback sets it on a get and reads it on a
// set. Only what was set is there.
class ListItemData {
 public:
  void SetText(std::string text) { text_ = std::move(text); }
  void SetIcon(Image icon, int transform = kIconTransformNone) {
    icon_ = std::move(icon);
    transform_ = transform;
  }
  void SetBoolean(bool value) { boolean_ = value; }
  void SetDate(double absolute_time) { date_ = absolute_time; }
  // Check boxes: on or off.
  void SetCheckBox(bool on) { check_ = on; }

  const std::optional<std::string>& text() const { return text_; }
  const std::optional<Image>& icon() const { return icon_; }
  int icon_transform() const { return transform_; }
  const std::optional<bool>& boolean() const { return boolean_; }
  const std::optional<double>& date() const { return date_; }
  const std::optional<bool>& check_box() const { return check_; }

 private:
  std::optional<std::string> text_;
  std::optional<Image> icon_;
  int transform_ = kIconTransformNone;
  std::optional<bool> boolean_;
  std::optional<double> date_;
  std::optional<bool> check_;
};

// Notifications to the client.
enum class ListNotification : int {
  kItemDoubleClicked = 7,
  kContainerOpened = 8,
  kContainerClosed = 10,
  kUserStateChanged = 13,  // the user moved, resized or sorted a column
  kSelectionSetChanged = 14,
  kUserToggledContainer = 16,
};

struct ListCustomDraw {
  ListItemID item = 0;
  ListPropertyID property = 0;
  Rect cell;  // in the context
  bool selected = false;
  bool active = true;      // the list's window is the active one
  int pressed_button = 0;  // the button being pressed in this cell, 0 = none
};

// What a press in a custom cell does (ListCallbacks::cell_press): a part above 0 is
// tracked; these two are not.
inline constexpr int kCellPressNormal = 0;  // an ordinary click: selects the row
inline constexpr int kCellPressTaken = -1;  // the cell took it: nothing else happens

struct ListCallbacks {
  // get: fill `data`; set (the user edited the cell): read `data`.
  std::function<Status(ListItemID item, ListPropertyID property, ListItemData& data, bool set)> item_data;
  std::function<bool(ListItemID first, ListItemID second, ListPropertyID sort_property)> compare;
  std::function<void(ListItemID item, ListNotification what)> notify;
  // Cells of custom columns; nothing is drawn without it.
  std::function<void(DrawingContext& ctx, const ListCustomDraw& cell)> custom_draw;
  // A press at `where` in a custom cell (both in the list's coordinates): the button to
  // track, or kCellPressNormal / kCellPressTaken.
  std::function<int(ListItemID item, ListPropertyID property, const Rect& cell, Point where)> cell_press;
  // A tracked button released over itself.
  std::function<void(ListItemID item, ListPropertyID property, int part)> cell_clicked;
  // The help tag (tool tip) of a cell; "" for none.
  std::function<std::string(ListItemID item, ListPropertyID property)> help_tag;
  // The contextual menu of the selection (`header`: the click was on the column header),
  // nullptr for none; then what was chosen from it.
  std::function<MenuRef(bool header)> context_menu;
  std::function<void(const MenuSelection& chosen)> menu_chosen;
  // Drags out: the flavours of one dragged row (nothing: the row is not dragged).
  std::function<std::optional<DragItem>(ListItemID item)> drag_item;
  // Drags over the list, with the row under the mouse (0: none).
  std::function<bool(const Drag& drag, ListItemID target)> accept_drag;
  std::function<bool(const Drag& drag, ListItemID target)> receive_drag;
  // A drag of rows has ended with `action` (kDragActionNone: refused or cancelled).
  std::function<void(const Drag& drag, unsigned action)> drag_ended;
};

class ListView {
 public:
  ListView();
  ~ListView();
  ListView(const ListView&) = delete;
  ListView& operator=(const ListView&) = delete;

  void SetCallbacks(ListCallbacks callbacks);
  // Told of every cell as the list paints it: what a person sees changes only then, whatever
  // a fresh query of the callbacks would answer (tests of redrawing).
  void SetCellPaintObserver(std::function<void(ListItemID item, ListPropertyID property)> observer);

  // ---- Columns ----
  // Adds the column at display `position` (kListAppendColumn: after the last) with the
  // list's default width; an id already present is refused (kListParamErr).
  Status AddColumn(const ListColumnDesc& desc, int position = kListAppendColumn);
  Status RemoveColumn(ListPropertyID property);
  void RemoveAllColumns();
  bool HasColumn(ListPropertyID property) const;
  // Property ids in display order.
  std::vector<ListPropertyID> Columns() const;
  std::optional<ListColumnDesc> ColumnDesc(ListPropertyID property) const;
  std::optional<int> ColumnWidth(ListPropertyID property) const;
  // The width the column's title needs to be shown whole.
  std::optional<int> ColumnTitleWidth(ListPropertyID property) const;
  // Brought within the column's bounds, except 0, which hides the column.
  Status SetColumnWidth(ListPropertyID property, int width);
  // Moves a present column to display `position`.
  Status MoveColumn(ListPropertyID property, int position);
  // Widths shared out: columns whose width is 0 stay hidden, the others are fitted to the
  // list's width within their bounds.
  void AutoSizeColumns();
  int default_column_width() const { return 80; }

  // ---- Sorting ----
  ListPropertyID SortProperty() const;
  void SetSortProperty(ListPropertyID property);
  ListSortOrder SortOrder() const;
  void SetSortOrder(ListSortOrder order);

  // ---- Items ----
  // Adds below `container` (0: the target); ids already present are skipped.
  Status AddItems(ListItemID container, const std::vector<ListItemID>& items);
  // Removes these items (with their children) from wherever they are; an empty list
  // removes every child of `container`.
  Status RemoveItems(ListItemID container, const std::vector<ListItemID>& items);
  void RemoveAllItems();
  bool HasItem(ListItemID item) const;
  // Children of `container` in row order (0: the target); recursive includes the open
  // containers' children, depth first.
  std::vector<ListItemID> Items(ListItemID container = 0, bool recursive = false,
                                bool selected_only = false) const;
  std::size_t ItemCount(ListItemID container = 0, bool recursive = false) const;
  // The row's index under its container, -1 when absent.
  int RowIndex(ListItemID item) const;
  ListItemID Parent(ListItemID item) const;

  Status OpenContainer(ListItemID item);
  Status CloseContainer(ListItemID item);
  bool IsOpen(ListItemID item) const;
  // The column that shows the open/close triangle (0: none).
  void SetDisclosureColumn(ListPropertyID property);
  ListPropertyID DisclosureColumn() const;
  // The container whose children are the top level (0: the root).
  Status SetTarget(ListItemID container);
  ListItemID Target() const;

  // Asks the callback again for these rows (every row when `items` is empty), one
  // property or all (0), and moves them to their sorted place.
  void UpdateItems(const std::vector<ListItemID>& items, ListPropertyID property = 0);

  // ---- Selection ----
  void SetSelectedItems(const std::vector<ListItemID>& items);  // replaces the selection
  std::vector<ListItemID> SelectedItems() const;                // in row order
  bool IsSelected(ListItemID item) const;

  // ---- Cells ----
  // The cell as the callback gives it now (what the list draws).
  ListItemData Cell(ListItemID item, ListPropertyID property) const;
  // The text the list shows for the cell (dates formatted, check boxes "1"/"0").
  std::string CellText(ListItemID item, ListPropertyID property) const;
  // Starts editing a cell the way a user does: asks the editable question once and
  // answers whether editing started.
  bool BeginEdit(ListItemID item, ListPropertyID property);
  // Ends the editing begun and hands the text to the callback.
  void CommitEdit(const std::string& text);
  bool IsEditing() const;
  // Ends the editing as the user does: the editor's text goes to the callback (no text when
  // no editor is open, as off-screen: then the editing only ends).
  void EndEdit();
  // A click in a check-box cell: hands the new value to the callback.
  void ClickCheckBox(ListItemID item, ListPropertyID property);
  void ScrollToTop();
  // The cell's rectangle in the list's coordinates (the rows' area); nothing when the
  // row is not shown or the column is absent.
  std::optional<Rect> CellRect(ListItemID item, ListPropertyID property) const;
  // The row at a point of the list's coordinates, 0 for none.
  ListItemID ItemAt(Point where) const;

  // ---- Input, from Qt or from tests (points in the list's coordinates) ----
  // A mouse press in a cell: true when the cell took it (a part tracked, or taken).
  bool PressCell(ListItemID item, ListPropertyID property, Point where);
  // The mouse moved or was released while a part is tracked.
  void TrackCell(Point where);
  void ReleaseCell(Point where);
  // The button being tracked (0: none) and its row and column.
  int PressedPart() const;
  // The help tag of the cell.
  std::string HelpTag(ListItemID item, ListPropertyID property) const;
  // A contextual click: the menu shown (nullptr when none) and what was chosen.
  MenuSelection ShowContextMenu(bool header, Point where = {});
  // Drags out: the drag the selected rows make (no items when none can be dragged).
  Drag DragOfSelection() const;
  // Drags in, over the row `target` (0: none).
  bool AcceptsDrag(const Drag& drag, ListItemID target);
  bool ReceiveDrag(const Drag& drag, ListItemID target);
  void DragEnded(const Drag& drag, unsigned action);

  // Scrolls the row into view (its container opened first).
  void Reveal(ListItemID item);

  // ---- Events to the event target (Qt calls these; tests may too) ----
  // Embed sets the pane's target; nullptr: events go nowhere.
  void SetEventTarget(std::shared_ptr<runtime::EventTarget> target);
  // A key: true when a handler took it (the list then does nothing with it).
  bool KeyDown(std::uint8_t char_code);
  // After the standard drawing, into the same context (the rows' area, its coordinates).
  void SendDraw(DrawingContext& context);
  void SendBoundsChanged(Size current, Size previous);

  // ---- Scrolling ----
  // The sum of the shown columns' widths.
  int ColumnsWidth() const;
  // A bar hidden scrolls its axis back to 0.
  void SetScrollBarsShown(bool vertical, bool horizontal);
  bool VerticalScrollBarShown() const;
  bool HorizontalScrollBarShown() const;
  int HorizontalOffset() const;
  void SetHorizontalOffset(int offset);

  // ---- On screen ----
  // Puts the list into a user-pane control, filling it.
  void Embed(Control& pane);
  // Size of a list not embedded (tests, grabs).
  void SetSize(int width, int height);
  Image Grab() const;
  bool GrabToPng(const std::string& path) const;
  // Handles pending repaints now (tests that count callback calls).
  void FlushPainting();

  struct Impl;

 private:
  friend class ListTree;
  std::unique_ptr<Impl> impl_;
};

// Relative date text of the list's date columns ("Today 14:03", "Yesterday 09:00", else
// the medium date and the short time), `now` and the time in seconds since 2001.
std::string FormatRelativeListDate(double absolute_time, double now);

}  // namespace toolbox
