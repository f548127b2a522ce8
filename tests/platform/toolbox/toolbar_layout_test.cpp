// The toolbar's row in the width it has: items at their own width (never narrower, so no
// label is cut), the view between its least and greatest width, spaces taking the rest,
// and, when the items do not fit, the last buttons under the chevron while the search field
// stays, with no gap left where the buttons end.
#include "platform/toolbox/toolbar/toolbar_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace toolbox {
namespace {

using Kind = ToolbarSlot::Kind;

ToolbarSlot Item(int width) {
  return {Kind::kItem, width, width};
}
ToolbarSlot Separator() {
  return {Kind::kSeparator, 8, 8};
}
ToolbarSlot Space() {
  return {Kind::kFlexibleSpace, 0, 0};
}
ToolbarSlot View(int least, int greatest) {
  return {Kind::kView, least, greatest};
}

// Margins 6, spacing 2, chevron 20 (the defaults).
TEST(ToolbarLayout, NarrowRowsMoveTheirLastButtonsUnderTheChevronAndKeepTheField) {
  // Three items of 50, a separator, a space and a search field of 150 to 250.
  const std::vector<ToolbarSlot> row = {Item(50), Item(50), Item(50), Separator(), Space(), View(150, 250)};
  // At their least: 12 + 50*3 + 8 + 0 + 150 + 5*2 = 330.
  ASSERT_EQ(ToolbarRowFullWidth(row), 330);
  struct Case {
    int width;
    std::vector<bool> shown;       // per slot
    std::vector<bool> overflowed;  // per slot: listed by the chevron
    int viewWidth, spaceWidth;     // when shown
  } cases[] = {
      // Room to spare: the field grows to 250, the space takes the rest.
      {600,
       {true, true, true, true, true, true},
       {false, false, false, false, false, false},
       250,
       600 - 330 - 100},
      // Just enough: everything at its least.
      {330, {true, true, true, true, true, true}, {false, false, false, false, false, false}, 150, 0},
      {380, {true, true, true, true, true, true}, {false, false, false, false, false, false}, 200, 0},
      // One pixel short: the last button and the separator after it leave; the field stays
      // at the row's end and takes what the button left: 329 - 12 - 22 - (50 + 2 + 50 + 2 + 0 + 2).
      {329, {true, true, false, false, true, true}, {false, false, true, true, false, false}, 189, 0},
      {260, {true, false, false, false, true, true}, {false, true, true, true, false, false}, 172, 0},
      // Only the field (with the space before it) beside the chevron.
      {200, {false, false, false, false, true, true}, {true, true, true, true, false, false}, 164, 0},
      // Not even the field fits: what fits from the start, as many buttons as there is room.
      {170, {true, true, false, false, false, false}, {false, false, true, true, false, true}, 0, 0},
      // Room for one item beside the chevron: 12 + 50 + 2 + 20 = 84.
      {84, {true, false, false, false, false, false}, {false, true, true, true, false, true}, 0, 0},
      {83, {false, false, false, false, false, false}, {true, true, true, true, false, true}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("width " + std::to_string(c.width));
    const ToolbarRowLayout layout = LayOutToolbarRow(row, c.width);
    EXPECT_EQ(layout.chevron, c.width < 330);
    EXPECT_EQ(layout.shown, c.shown);
    EXPECT_EQ(layout.overflowed, c.overflowed);
    int right = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (!layout.shown[i]) continue;
      // An item is never narrower than it needs, and items never overlap.
      if (row[i].kind == Kind::kItem) {
        EXPECT_EQ(layout.width[i], row[i].minimum) << i;
      }
      EXPECT_GE(layout.x[i], right) << i;
      right = layout.x[i] + layout.width[i];
    }
    EXPECT_LE(right, layout.chevron ? layout.chevronX : c.width - 6);
    if (layout.chevron) {
      EXPECT_EQ(layout.chevronX, c.width - 6 - 20);
    }
    if (layout.shown[5]) {
      EXPECT_EQ(layout.width[5], c.viewWidth);
    }
    if (layout.shown[4]) {
      EXPECT_EQ(layout.width[4], c.spaceWidth);
    }
  }
}

TEST(ToolbarLayout, TwoSpacesShareWhatIsLeftAndNoSpaceLeavesItOver) {
  // At least 12 + 40 + 0 + 0 + 40 + 3*2 = 98; 103 leaves 5 over.
  const std::vector<ToolbarSlot> spaced = {Item(40), Space(), Space(), Item(40)};
  const ToolbarRowLayout layout = LayOutToolbarRow(spaced, 103);
  EXPECT_EQ(layout.width[1], 3);
  EXPECT_EQ(layout.width[2], 2);
  EXPECT_EQ(layout.x[3], 103 - 6 - 40);

  const ToolbarRowLayout packed = LayOutToolbarRow({Item(40), Item(40)}, 500);
  EXPECT_EQ(packed.x[0], 6);
  EXPECT_EQ(packed.x[1], 48);
  EXPECT_FALSE(packed.chevron);
}

}  // namespace
}  // namespace toolbox
