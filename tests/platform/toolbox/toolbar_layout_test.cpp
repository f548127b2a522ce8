// The toolbar's row in the width it has: items at their own width (never narrower, so no
// label is cut), the view between its least and greatest width, spaces taking the rest,
// and, when the items do not fit, the last ones under the chevron with no gap left before it.
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
TEST(ToolbarLayout, NarrowRowsMoveTheirLastItemsUnderTheChevron) {
  // Three items of 50, a separator, a space and a search field of 150 to 250.
  const std::vector<ToolbarSlot> row = {Item(50), Item(50), Item(50), Separator(), Space(), View(150, 250)};
  // At their least: 12 + 50*3 + 8 + 0 + 150 + 5*2 = 330.
  ASSERT_EQ(ToolbarRowFullWidth(row), 330);
  struct Case {
    int width;
    std::size_t overflow;       // the first slot under the chevron
    std::vector<bool> shown;    // per slot
    int viewWidth, spaceWidth;  // when shown
  } cases[] = {
      // Room to spare: the field grows to 250, the space takes the rest.
      {600, 6, {true, true, true, true, true, true}, 250, 600 - 330 - 100},
      // Just enough: everything at its least.
      {330, 6, {true, true, true, true, true, true}, 150, 0},
      {380, 6, {true, true, true, true, true, true}, 200, 0},
      // One pixel short: the field goes under the chevron, and the separator and space
      // that would end the row go with it.
      {329, 5, {true, true, true, false, false, false}, 0, 0},
      // Room for one item beside the chevron: 12 + 50 + 2 + 20 = 84.
      {84, 1, {true, false, false, false, false, false}, 0, 0},
      {83, 0, {false, false, false, false, false, false}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("width " + std::to_string(c.width));
    const ToolbarRowLayout layout = LayOutToolbarRow(row, c.width);
    EXPECT_EQ(layout.overflow, c.overflow);
    EXPECT_EQ(layout.chevron, c.overflow < row.size());
    EXPECT_EQ(layout.shown, c.shown);
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
