// The source-list view on its own: the owner's veto and the order of what it hears,
// clicks with the modifiers, the arrow keys, scrolling, badges, renaming and right clicks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/source_list/custom_list.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/windows/window.h"
#include "tests/fakes/scripted_presenter.h"

namespace ui {
namespace {

// Records what the view tells its owner, and refuses what `refuse` says.
class RecordingOwner : public CustomListOwner {
 public:
  std::vector<std::string> log;
  std::function<bool(const RowSet&)> refuse;
  std::string renamed;
  std::optional<bool> CanChangeSelection(CustomList&, const RowSet& proposed) override {
    log.push_back("can " + std::to_string(proposed.size()));
    if (refuse && refuse(proposed)) return false;
    return std::nullopt;
  }
  void RowsLeftSelection(CustomList&, const RowSet& removed) override {
    log.push_back("left " + std::to_string(removed.size()));
  }
  void RowsJoinedSelection(CustomList&, const RowSet& added) override {
    log.push_back("joined " + std::to_string(added.size()));
  }
  void SelectionChanged(CustomList&) override { log.push_back("changed"); }
  toolbox::MenuRef ContextMenuForRow(CustomList&, const RowRef& row) override {
    log.push_back("menu " + std::to_string(row ? row->identifier : 0));
    auto menu = toolbox::Menu::Create(0);
    menu->AppendItem("Item");
    return menu;
  }
  void RenameEnded(CustomList&, const RowRef&, const std::string& text) override { renamed = text; }
  void DisclosureClicked(CustomList&, const RowRef& row) override {
    log.push_back("disclosure " + std::to_string(row->identifier));
  }
};

class CustomListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolbox::WindowSpec desc;
    desc.content = {0, 0, 220, 200};
    window_ = toolbox::Window::Create(desc);
    toolbox::ControlSpec c;
    c.bounds = {0, 0, 220, 200};
    control_ = CreateCustomListInScrollView(*window_, c);
    list_ = AsCustomList(control_);
    list_->SetOwner(&owner_);
    // Section A (1) with rows 11, 12, 13; section B (2) with rows 21, 22.
    a_ = Section(1, {11, 12, 13});
    b_ = Section(2, {21, 22});
    list_->SetTopRows({a_, b_});
    owner_.log.clear();
    window_->Show();
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  void TearDown() override { window_->Release(); }

  RowRef Section(std::uint32_t id, std::vector<std::uint32_t> children) {
    auto section = std::make_shared<TRCustomListRow>(std::nullopt, "S" + std::to_string(id), id);
    section->selectable = false;
    std::vector<RowRef> rows;
    for (auto c : children)
      rows.push_back(std::make_shared<TRCustomListRow>(std::nullopt, "R" + std::to_string(c), c));
    section->setChildren(rows);
    return section;
  }
  RowRef Row(std::uint32_t id) { return list_->GetRowByIdentifier(id); }
  std::set<std::uint32_t> Selected() {
    std::set<std::uint32_t> ids;
    for (const auto& r : list_->CopySelection()) ids.insert(r->identifier);
    return ids;
  }
  // A click in the middle of the shown row at `index`.
  void Click(int index, unsigned modifiers = 0, double x = 80) {
    const double y = index * list_->RowHeight() + list_->RowHeight() / 2;
    list_->HandleMouseDown({{x, y}, modifiers});
    list_->HandleMouseUp({{x, y}, modifiers});
  }
  void Key(int key, unsigned modifiers = 0) { list_->HandleKey({"", key, modifiers}); }

  toolbox::WindowRef window_;
  toolbox::Control* control_ = nullptr;
  CustomList* list_ = nullptr;
  RecordingOwner owner_;
  RowRef a_, b_;
};

TEST_F(CustomListTest, OwnerIsAskedThenToldLeftJoinedChanged) {
  list_->SelectRow(Row(11));
  EXPECT_EQ(owner_.log, (std::vector<std::string>{"can 1", "joined 1", "changed"}));
  owner_.log.clear();
  list_->SelectRow(Row(12));
  EXPECT_EQ(owner_.log, (std::vector<std::string>{"can 1", "left 1", "joined 1", "changed"}));
  owner_.log.clear();
  // The same selection again: only the question.
  list_->SelectRow(Row(12));
  EXPECT_EQ(owner_.log, (std::vector<std::string>{"can 1"}));
  owner_.log.clear();
  // An empty proposal is asked like any other; a refusal changes nothing.
  owner_.refuse = [](const RowSet& s) { return s.empty(); };
  EXPECT_EQ(list_->SetSelection({}), -1);
  EXPECT_EQ(owner_.log, (std::vector<std::string>{"can 0"}));
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{12});
}

TEST_F(CustomListTest, ClicksWithModifiers) {
  // Shown rows: 0 A, 1 r11, 2 r12, 3 r13, 4 B, 5 r21, 6 r22.
  Click(1);
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{11});
  Click(3, toolbox::kModifierCommand);
  EXPECT_EQ(Selected(), (std::set<std::uint32_t>{11, 13}));
  Click(1, toolbox::kModifierCommand);
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{13});
  // Shift across a section takes the section row into the range.
  Click(5, toolbox::kModifierShift);
  EXPECT_EQ(Selected(), (std::set<std::uint32_t>{13, 2, 21}));
  // Refused, the clicked row alone is selected.
  owner_.refuse = [](const RowSet& s) { return s.size() > 1; };
  Click(2, toolbox::kModifierShift);
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{12});
  // Beyond the rows nothing happens.
  list_->HandleMouseDown({{80, 195}});
  list_->HandleMouseUp({{80, 195}});
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{12});
}

TEST_F(CustomListTest, DisclosureActsOnReleaseInsideOnly) {
  const double y = list_->RowHeight() * 4 + 8;  // section B
  list_->HandleMouseDown({{10, y}});
  list_->HandleMouseUp({{10, y}});
  EXPECT_EQ(owner_.log, std::vector<std::string>{"disclosure 2"});
  owner_.log.clear();
  list_->HandleMouseDown({{10, y}});
  list_->HandleMouseMoved({{120, y}});
  list_->HandleMouseUp({{120, y}});
  EXPECT_TRUE(owner_.log.empty());
}

TEST_F(CustomListTest, ArrowKeysSkipHiddenAndUnselectableRows) {
  struct Case {
    std::vector<std::uint32_t> start;
    int key;
    unsigned modifiers;
    std::set<std::uint32_t> after;
  } cases[] = {
      {{}, toolbox::kKeyDown, 0, {11}},
      {{}, toolbox::kKeyUp, 0, {22}},
      {{13}, toolbox::kKeyDown, 0, {21}},  // over section B
      {{21}, toolbox::kKeyUp, 0, {13}},
      {{11}, toolbox::kKeyUp, 0, {11}},  // nothing above
      {{12}, toolbox::kKeyDown, toolbox::kModifierShift, {12, 13}},
  };
  for (const auto& c : cases) {
    RowSet start;
    for (auto id : c.start) start.insert(Row(id));
    list_->SetSelection(start);
    Key(c.key, c.modifiers);
    EXPECT_EQ(Selected(), c.after) << c.key;
  }
  // Rows under a closed section are not shown and are skipped.
  a_->open = false;
  list_->FlushVisibleRows();
  list_->SetSelection({});
  Key(toolbox::kKeyDown);
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{21});
}

TEST_F(CustomListTest, ScrollingStaysWithinTheRows) {
  auto* host = list_->GetScrollHost();
  ASSERT_NE(host, nullptr);
  // Seven rows fit in 200 pixels: nothing to scroll.
  list_->ScrollTo(100);
  EXPECT_EQ(list_->ScrollOffset(), 0);
  std::vector<RowRef> many;
  for (std::uint32_t i = 0; i < 30; ++i)
    many.push_back(std::make_shared<TRCustomListRow>(std::nullopt, "x", 100 + i));
  list_->SetRowChildren(b_, many);
  toolbox::Application::Shared().ProcessPendingEvents();
  const double bottom = list_->GetVisibleRows().size() * list_->RowHeight() - host->VisibleArea().height;
  list_->ScrollTo(-50);
  EXPECT_EQ(list_->ScrollOffset(), 0);
  list_->ScrollTo(100000);
  EXPECT_NEAR(list_->ScrollOffset(), bottom, 1);
  Key(toolbox::kKeyHome);
  EXPECT_EQ(list_->ScrollOffset(), 0);
  Key(toolbox::kKeyEnd);
  EXPECT_NEAR(list_->ScrollOffset(), bottom, 1);
}

TEST_F(CustomListTest, SmallFontMakesShorterRows) {
  EXPECT_EQ(list_->RowHeight(), 20);
  EXPECT_EQ(list_->SetFontSize(2), 0);
  EXPECT_EQ(list_->RowHeight(), 18);
  EXPECT_EQ(list_->SetFontSize(3), kParamErr);
  EXPECT_EQ(list_->RowHeight(), 18);
}

TEST_F(CustomListTest, BadgesFromZeroUpAndNoneAtMinusOne) {
  // The badge is a grey pill at the right of the row.
  const auto greyPixels = [&](int row) {
    const toolbox::Image image = window_->Grab();
    int grey = 0;
    const int top = static_cast<int>(row * list_->RowHeight());
    for (int y = top + 4; y < top + 16; ++y)
      for (int x = 150; x < 218; ++x) {
        const auto c = image.PixelAt(x, y);
        if (std::abs(c.red - 0.6) < 0.08 && std::abs(c.green - 0.6) < 0.08) ++grey;
      }
    return grey;
  };
  EXPECT_EQ(greyPixels(1), 0);
  Row(11)->badgeValue = 0;
  list_->Invalidate();
  toolbox::Application::Shared().ProcessPendingEvents();
  const int narrow = greyPixels(1);
  EXPECT_GT(narrow, 40);
  Row(11)->badgeValue = 12345;
  list_->Invalidate();
  toolbox::Application::Shared().ProcessPendingEvents();
  EXPECT_GT(greyPixels(1), narrow) << "wider numbers widen the pill";
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    window_->GrabToPng(std::string(keep) + "/source_list_badges.png");
}

TEST_F(CustomListTest, RenameReportsTheFieldTextEvenOnEscape) {
  list_->BeginRename(Row(12));
  ASSERT_NE(list_->EditField(), nullptr);
  EXPECT_TRUE(Row(12)->state & kRowStateEditing);
  list_->EditField()->SetText("New name");
  list_->EndRename();
  EXPECT_EQ(owner_.renamed, "New name");
  EXPECT_FALSE(Row(12)->state & kRowStateEditing);
  EXPECT_EQ(window_->FindControl(toolbox::kApplicationSignature, values::FourCC("CLed")), nullptr);
}

TEST_F(CustomListTest, RightClickKeepsASelectionOfTwoAndAsksForTheClickedRow) {
  fakes::ScopedScriptedPresenter presenter;
  list_->SetSelection({Row(11), Row(12)});
  owner_.log.clear();
  EXPECT_TRUE(list_->HandleContextualClick({{80, list_->RowHeight() * 5 + 5}}));
  EXPECT_EQ(Selected(), (std::set<std::uint32_t>{11, 12}));
  EXPECT_EQ(owner_.log, std::vector<std::string>{"menu 21"});
  EXPECT_EQ(presenter->menus.size(), 1u);
  // With one row selected the clicked row is selected first.
  list_->SelectRow(Row(11));
  owner_.log.clear();
  list_->HandleContextualClick({{80, list_->RowHeight() * 5 + 5}});
  EXPECT_EQ(Selected(), std::set<std::uint32_t>{21});
}

TEST_F(CustomListTest, RemovingTopRowsDropsThemFromTheSelection) {
  list_->SelectRow(Row(21));
  list_->SetTopRows({a_});
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(Row(21), nullptr);
}

}  // namespace
}  // namespace ui
