#pragma once
// How a toolbar's row fits the width of its window. Every button keeps the width its
// label and icon need, so a label is never cut; a view item (the search field) lies
// between its least and greatest width; flexible spaces share what is left. When the
// items do not fit at their least widths, the row keeps those at its start that fit and
// a chevron at its right end stands for the rest, which its menu lists - the platform's
// own rule for a toolbar narrower than its items. A separator or space left at the end of
// the kept part goes too, so the row never ends in a gap before the chevron.
//
// Pure arithmetic on widths in pixels: the Qt row measures its widgets and places them
// where this says.

#include <cstddef>
#include <vector>

namespace toolbox {

struct ToolbarSlot {
  enum class Kind { kItem, kView, kSeparator, kFlexibleSpace };
  Kind kind = Kind::kItem;
  int minimum = 0;  // the width an item needs; a view's least width
  int maximum = 0;  // a view's greatest width (ignored for the other kinds)
};

struct ToolbarRowMetrics {
  int margin = 6;    // left and right of the row
  int spacing = 2;   // between two items, and before the chevron
  int chevron = 20;  // the chevron's width
};

struct ToolbarRowLayout {
  // Per slot: whether it is in the row, and where (x from the row's left edge).
  std::vector<bool> shown;
  std::vector<int> x, width;
  // Slots from `overflow` on are not in the row; the chevron lists them.
  std::size_t overflow = 0;
  bool chevron = false;
  int chevronX = 0;
};

ToolbarRowLayout LayOutToolbarRow(const std::vector<ToolbarSlot>& items, int width,
                                  const ToolbarRowMetrics& metrics = {});

// The least width that shows every slot.
int ToolbarRowFullWidth(const std::vector<ToolbarSlot>& items, const ToolbarRowMetrics& metrics = {});

}  // namespace toolbox
