#pragma once
// How a toolbar's row fits the width of its window. Every button keeps the width its
// label and icon need, so a label is never cut; a view item (the search field) lies
// between its least and greatest width; flexible spaces share what is left. When the
// items do not fit at their least widths, a chevron at the row's right end stands for
// those that leave, which its menu lists. The views stay (a search field cannot be typed
// into from a menu), as do the flexible spaces that keep them at the row's end; the
// buttons and separators are kept from the row's start while they fit, and the rest
// leave. A separator left just before the first button that leaves goes too, so no gap
// stands where the buttons end. Only when the views alone do not fit does the row keep
// what fits from its start, views or not.
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
  // Per slot: not in the row and listed by the chevron's menu, in the row's order.
  std::vector<bool> overflowed;
  bool chevron = false;
  int chevronX = 0;
};

ToolbarRowLayout LayOutToolbarRow(const std::vector<ToolbarSlot>& items, int width,
                                  const ToolbarRowMetrics& metrics = {});

// The least width that shows every slot.
int ToolbarRowFullWidth(const std::vector<ToolbarSlot>& items, const ToolbarRowMetrics& metrics = {});

}  // namespace toolbox
