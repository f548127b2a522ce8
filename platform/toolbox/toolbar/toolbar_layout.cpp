#include "platform/toolbox/toolbar/toolbar_layout.h"

#include <algorithm>

namespace toolbox {

namespace {

using Kind = ToolbarSlot::Kind;

// The width of the first `count` items at their least, with the spacing between them.
int LeastWidth(const std::vector<ToolbarSlot>& items, std::size_t count, int spacing) {
  int total = 0;
  for (std::size_t i = 0; i < count; ++i) total += std::max(0, items[i].minimum) + (i > 0 ? spacing : 0);
  return total;
}

bool IsGap(const ToolbarSlot& slot) {
  return slot.kind == Kind::kSeparator || slot.kind == Kind::kFlexibleSpace;
}

}  // namespace

int ToolbarRowFullWidth(const std::vector<ToolbarSlot>& items, const ToolbarRowMetrics& metrics) {
  return 2 * metrics.margin + LeastWidth(items, items.size(), metrics.spacing);
}

ToolbarRowLayout LayOutToolbarRow(const std::vector<ToolbarSlot>& items, int width,
                                  const ToolbarRowMetrics& metrics) {
  ToolbarRowLayout layout;
  const std::size_t n = items.size();
  layout.shown.assign(n, false);
  layout.x.assign(n, 0);
  layout.width.assign(n, 0);

  std::size_t kept = n;
  int room = width - 2 * metrics.margin;
  if (LeastWidth(items, n, metrics.spacing) > room) {
    layout.chevron = true;
    room -= metrics.chevron + metrics.spacing;
    kept = 0;
    while (kept < n && LeastWidth(items, kept + 1, metrics.spacing) <= room) ++kept;
    layout.overflow = kept;
    while (kept > 0 && IsGap(items[kept - 1])) --kept;
  } else {
    layout.overflow = n;
  }

  // What is left over widens the views to their greatest width, then fills the spaces.
  int extra = std::max(0, room - LeastWidth(items, kept, metrics.spacing));
  for (std::size_t i = 0; i < kept; ++i) {
    layout.shown[i] = true;
    layout.width[i] = std::max(0, items[i].minimum);
    if (items[i].kind == Kind::kView && extra > 0) {
      const int grow = std::min(extra, std::max(0, items[i].maximum - layout.width[i]));
      layout.width[i] += grow;
      extra -= grow;
    }
  }
  const auto spaces =
      static_cast<int>(std::count_if(items.begin(), items.begin() + static_cast<long>(kept),
                                     [](const ToolbarSlot& s) { return s.kind == Kind::kFlexibleSpace; }));
  for (std::size_t i = 0, seen = 0; i < kept && spaces > 0; ++i) {
    if (items[i].kind != Kind::kFlexibleSpace) continue;
    // The first spaces take the remainder of the division, one pixel each.
    layout.width[i] += extra / spaces + (static_cast<int>(seen) < extra % spaces ? 1 : 0);
    ++seen;
  }

  int x = metrics.margin;
  for (std::size_t i = 0; i < kept; ++i) {
    layout.x[i] = x;
    x += layout.width[i] + metrics.spacing;
  }
  if (layout.chevron) layout.chevronX = width - metrics.margin - metrics.chevron;
  return layout;
}

}  // namespace toolbox
