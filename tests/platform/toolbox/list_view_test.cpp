// The list view driven off-screen: rows added and removed, columns with bounds, a stable
// sort under a compare that is not a strict weak order, refreshes that ask only the changed
// rows, the editable question asked once, parts of custom cells tracked while pressed, and
// drags and menus handed to the client.
#include "platform/toolbox/lists/list_view.h"

#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/windows/window.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace toolbox {
namespace {

constexpr ListPropertyID kName = 1025;
constexpr ListPropertyID kSize = 1027;

struct Record {
  std::string name;
  int size = 0;
  bool container = false;
};

class ListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ListCallbacks cb;
    cb.item_data = [this](ListItemID id, ListPropertyID p, ListItemData& d, bool set) -> Status {
      ++asked[id];
      auto& r = *reinterpret_cast<Record*>(id);
      if (set) {
        if (d.text()) r.name = *d.text();
        return kListNoErr;
      }
      switch (p) {
        case kName:
          d.SetText(r.name);
          return kListNoErr;
        case kSize:
          d.SetText(std::to_string(r.size));
          return kListNoErr;
        case kListPropertyContainer:
          d.SetBoolean(r.container);
          return kListNoErr;
        case kListPropertyEditable:
          ++editable_asked;
          d.SetBoolean(editable_once);
          editable_once = false;
          return kListNoErr;
        default:
          return kListPropertyNotSupported;
      }
    };
    cb.compare = [](ListItemID a, ListItemID b, ListPropertyID p) {
      const auto& ra = *reinterpret_cast<Record*>(a);
      const auto& rb = *reinterpret_cast<Record*>(b);
      if (p == kSize) return ra.size < rb.size;
      return ra.name < rb.name;
    };
    list.SetCallbacks(cb);
    ListColumnDesc name{kName, ListColumnKind::kText, kListColumnSortable | kListColumnEditable, "Name", 60,
                        500};
    ListColumnDesc size{kSize, ListColumnKind::kText, kListColumnSortable, "Size", 40, 200};
    ASSERT_EQ(list.AddColumn(name), kListNoErr);
    ASSERT_EQ(list.AddColumn(size), kListNoErr);
  }
  static ListItemID Id(Record& r) { return reinterpret_cast<ListItemID>(&r); }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (auto id : list.Items()) out.push_back(reinterpret_cast<Record*>(id)->name);
    return out;
  }

  ListView list;
  std::map<ListItemID, int> asked;
  int editable_asked = 0;
  bool editable_once = false;
};

TEST_F(ListViewTest, RowsAppearSortedAndLeave) {
  Record a{"b", 3}, b{"a", 1}, c{"c", 2};
  list.SetSortProperty(kName);
  list.AddItems(0, {Id(a), Id(b), Id(c)});
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(list.CellText(Id(a), kSize), "3");
  list.SetSortOrder(ListSortOrder::kDecreasing);
  EXPECT_EQ(Names(), (std::vector<std::string>{"c", "b", "a"}));
  list.SetSortOrder(ListSortOrder::kIncreasing);
  list.SetSortProperty(kSize);
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c", "b"}));
  list.RemoveItems(0, {Id(c)});
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(list.HasItem(Id(c)));
  list.AddItems(0, {Id(a)});  // already there: skipped
  EXPECT_EQ(list.ItemCount(), 2u);
}

TEST_F(ListViewTest, EqualRowsKeepTheirOrderUnderAnyCompare) {
  // Every pair "equal" except one: a compare that is no strict weak order must not break
  // the list, and rows it calls equal keep the order they were added in.
  std::vector<Record> rows(40);
  std::vector<ListItemID> ids;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].name = "r" + std::to_string(i);
    rows[i].size = i == 7 ? 1 : 0;
    ids.push_back(Id(rows[i]));
  }
  list.SetSortProperty(kSize);
  list.AddItems(0, ids);
  auto names = Names();
  ASSERT_EQ(names.size(), rows.size());
  EXPECT_EQ(names.back(), "r7");
  EXPECT_EQ(names.front(), "r0");
  EXPECT_EQ(names[7], "r8");
}

TEST_F(ListViewTest, RefreshAsksOnlyTheChangedRows) {
  std::vector<Record> rows(200);
  std::vector<ListItemID> ids;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].name = "n" + std::to_string(1000 + i);
    rows[i].size = static_cast<int>(i);
    ids.push_back(Id(rows[i]));
  }
  list.SetSortProperty(kSize);
  list.AddItems(0, ids);
  asked.clear();
  rows[3].size = 1000;  // moves to the end
  list.UpdateItems({Id(rows[3])});
  EXPECT_EQ(list.Items().back(), Id(rows[3]));
  // Only the changed row's cells were asked again; the other rows only took part in the
  // comparisons that placed it (the compare callback reads records, not cells).
  for (const auto& [id, n] : asked) EXPECT_EQ(id, Id(rows[3])) << "row asked: " << n;
}

TEST_F(ListViewTest, ColumnWidthsStayWithinBoundsAndZeroHides) {
  struct Case {
    int wanted;
    int got;
  } cases[] = {{10, 40}, {150, 150}, {900, 200}, {0, 0}};
  for (const auto& c : cases) {
    list.SetColumnWidth(kSize, c.wanted);
    EXPECT_EQ(list.ColumnWidth(kSize), c.got) << c.wanted;
  }
  EXPECT_EQ(list.AddColumn({kSize, ListColumnKind::kText, 0, "Size", 40, 200}), kListParamErr);
  ASSERT_EQ(list.MoveColumn(kSize, 0), kListNoErr);
  EXPECT_EQ(list.Columns(), (std::vector<ListPropertyID>{kSize, kName}));
  ASSERT_EQ(list.AddColumn({1030, ListColumnKind::kText, 0, "X", 10, 100}, 1), kListNoErr);
  EXPECT_EQ(list.Columns(), (std::vector<ListPropertyID>{kSize, 1030, kName}));
  list.RemoveColumn(kSize);
  EXPECT_EQ(list.Columns(), (std::vector<ListPropertyID>{1030, kName}));
}

TEST_F(ListViewTest, EditableIsAskedOnceWhenEditingStarts) {
  Record a{"old", 1};
  list.AddItems(0, {Id(a)});
  list.FlushPainting();
  EXPECT_EQ(editable_asked, 0) << "drawing never asks";
  EXPECT_FALSE(list.BeginEdit(Id(a), kName));
  EXPECT_EQ(editable_asked, 1);
  editable_once = true;
  EXPECT_FALSE(list.BeginEdit(Id(a), kSize)) << "a column that is not editable asks nothing";
  EXPECT_EQ(editable_asked, 1);
  ASSERT_TRUE(list.BeginEdit(Id(a), kName));
  list.CommitEdit("new");
  EXPECT_EQ(a.name, "new");
  EXPECT_FALSE(list.BeginEdit(Id(a), kName)) << "the one-shot answer was used";
}

TEST_F(ListViewTest, ContainersOpenUnderTheTarget) {
  Record folder{"f", 0, true}, child{"c", 1}, other{"o", 2};
  std::vector<ListItemID> opened;
  ListCallbacks cb;
  list.AddItems(0, {Id(folder), Id(other)});
  list.AddItems(Id(folder), {Id(child)});
  EXPECT_TRUE(list.IsOpen(Id(folder)));
  EXPECT_EQ(list.Items(0, true).size(), 3u);
  EXPECT_EQ(list.Parent(Id(child)), Id(folder));
  list.SetTarget(Id(folder));
  EXPECT_EQ(list.Items(), std::vector<ListItemID>{Id(child)});
  list.SetTarget(0);
  list.CloseContainer(Id(folder));
  EXPECT_FALSE(list.HasItem(Id(child)));
  list.SetSelectedItems({Id(other)});
  EXPECT_EQ(list.SelectedItems(), std::vector<ListItemID>{Id(other)});
}

}  // namespace
}  // namespace toolbox

namespace toolbox {
namespace {

TEST(ListViewInWindow, FillsItsPaneAndOutlivesTheWindow) {
  auto list = std::make_unique<ListView>();
  list->AddColumn({1025, ListColumnKind::kText, 0, "Name", 60, 500});
  WindowSpec desc;
  desc.content = {100, 100, 400, 300};
  auto window = Window::Create(desc);
  ControlSpec pane;
  pane.kind = ControlKind::kUserPane;
  pane.id = {kApplicationSignature, 1};
  pane.bounds = {0, 0, 400, 300};
  list->Embed(*window->AddControl(pane));
  EXPECT_FALSE(window->Grab().IsNull());
  window->Release();
  list.reset();  // the widget went with the window; nothing is freed twice
}

// Parts of custom cells:// Parts of custom cells: tracked while pressed, drawn pressed only while the mouse
// is over them, acting only when released over themselves.
TEST(ListViewCells, PartsActOnlyWhenReleasedOverThemselves) {
  constexpr ListPropertyID kButtons = 1038;
  ListView list;
  std::vector<std::pair<ListItemID, int>> clicked;
  std::vector<int> drawnPressed;
  ListCallbacks cb;
  cb.item_data = [](ListItemID, ListPropertyID, ListItemData&, bool) { return kListNoErr; };
  cb.cell_press = [](ListItemID, ListPropertyID, const Rect& cell, Point where) {
    if (where.x < cell.x + 16) return 1;
    if (where.x < cell.x + 32) return 2;
    return kCellPressTaken;
  };
  cb.cell_clicked = [&](ListItemID item, ListPropertyID, int part) { clicked.emplace_back(item, part); };
  cb.custom_draw = [&](DrawingContext&, const ListCustomDraw& cell) {
    drawnPressed.push_back(cell.pressed_button);
  };
  list.SetCallbacks(cb);
  ASSERT_EQ(list.AddColumn({kButtons, ListColumnKind::kCustom, 0, "", 60, 60}), kListNoErr);
  Record r{"a"};
  const ListItemID id = reinterpret_cast<ListItemID>(&r);
  list.AddItems(0, {id});
  list.SetSize(200, 100);
  const auto cell = list.CellRect(id, kButtons);
  ASSERT_TRUE(cell);
  const Point onFirst{cell->x + 5, cell->y + 5};
  const Point onSecond{cell->x + 20, cell->y + 5};
  const Point outside{cell->x + 50, cell->y + 5};

  struct Case {
    Point release;
    std::vector<std::pair<ListItemID, int>> clicked;
  } cases[] = {{onFirst, {{id, 1}}}, {onSecond, {}}, {outside, {}}};
  for (const auto& c : cases) {
    clicked.clear();
    ASSERT_TRUE(list.PressCell(id, kButtons, onFirst));
    EXPECT_EQ(list.PressedPart(), 1);
    drawnPressed.clear();
    list.Grab();
    EXPECT_EQ(drawnPressed, std::vector<int>{1});
    list.TrackCell(c.release);
    drawnPressed.clear();
    list.Grab();
    EXPECT_EQ(drawnPressed, std::vector<int>{c.release.x == onFirst.x ? 1 : 0});
    list.ReleaseCell(c.release);
    EXPECT_EQ(clicked, c.clicked);
    EXPECT_EQ(list.PressedPart(), 0);
  }
  // A press the cell takes without a part: nothing tracked, nothing clicked.
  EXPECT_TRUE(list.PressCell(id, kButtons, outside));
  EXPECT_EQ(list.PressedPart(), 0);
  list.ReleaseCell(outside);
  EXPECT_TRUE(clicked.empty());
}

// Drags in and out go to the client with the row under them; a contextual click shows
// the client's menu and hands back the choice.
TEST(ListViewCells, DragsAndMenusReachTheClient) {
  ListView list;
  ListCallbacks cb;
  cb.item_data = [](ListItemID, ListPropertyID, ListItemData&, bool) { return kListNoErr; };
  cb.drag_item = [](ListItemID item) -> std::optional<DragItem> {
    if (item % 2) return std::nullopt;  // odd rows are not dragged
    DragItem d;
    d.flavors[kFlavorPlainText] = std::to_string(item);
    return d;
  };
  std::vector<ListItemID> targets;
  cb.accept_drag = [&](const Drag&, ListItemID target) {
    targets.push_back(target);
    return target != 0;
  };
  list.SetCallbacks(cb);
  list.AddColumn({1025, ListColumnKind::kText, 0, "Name", 60, 200});
  list.AddItems(0, {2, 3, 4});
  list.SetSelectedItems({2, 3, 4});
  const Drag drag = list.DragOfSelection();
  ASSERT_EQ(drag.items.size(), 2u);
  EXPECT_EQ(drag.items[0].Flavor(kFlavorPlainText), "2");
  EXPECT_EQ(drag.items[1].Flavor(kFlavorPlainText), "4");
  EXPECT_TRUE(list.AcceptsDrag(drag, 3));
  EXPECT_FALSE(list.AcceptsDrag(drag, 99)) << "a row not in the list is no row";
  EXPECT_EQ(targets, (std::vector<ListItemID>{3, 0}));
  EXPECT_FALSE(list.ReceiveDrag(drag, 3)) << "no receive callback";
  EXPECT_FALSE(list.ShowContextMenu(false).chosen()) << "no menu callback";
}

}  // namespace
}  // namespace toolbox
