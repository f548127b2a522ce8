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

// The width of the kept slots at their least, with the spacing between them.
int KeptWidth(const std::vector<ToolbarSlot>& items, const std::vector<bool>& keep, int spacing) {
  int total = 0, count = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!keep[i]) continue;
    total += std::max(0, items[i].minimum) + (count > 0 ? spacing : 0);
    ++count;
  }
  return total;
}

// What stays in a row too narrow for every slot, within `room` (the chevron's width already
// taken off): see the header.
std::vector<bool> KeptInANarrowRow(const std::vector<ToolbarSlot>& items, int room, int spacing) {
  const std::size_t n = items.size();
  std::vector<bool> keep(n, false);
  for (std::size_t i = 0; i < n; ++i)
    keep[i] = items[i].kind == Kind::kView || items[i].kind == Kind::kFlexibleSpace;
  std::size_t cut = n;
  if (KeptWidth(items, keep, spacing) <= room) {
    for (std::size_t i = 0; i < n && cut == n; ++i) {
      if (keep[i]) continue;
      keep[i] = true;
      if (KeptWidth(items, keep, spacing) > room) {
        keep[i] = false;
        cut = i;
      }
    }
  } else {
    // Not even the views fit: what fits from the start, views or not.
    keep.assign(n, false);
    cut = 0;
    while (cut < n) {
      keep[cut] = true;
      if (LeastWidth(items, cut + 1, spacing) > room) {
        keep[cut] = false;
        break;
      }
      ++cut;
    }
    for (std::size_t i = cut; i > 0 && IsGap(items[i - 1]); --i) keep[i - 1] = false;
    return keep;
  }
  for (std::size_t i = cut; i > 0 && IsGap(items[i - 1]); --i)
    if (items[i - 1].kind == Kind::kSeparator) keep[i - 1] = false;
  return keep;
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

  layout.overflowed.assign(n, false);
  std::vector<bool> keep(n, true);
  int room = width - 2 * metrics.margin;
  if (LeastWidth(items, n, metrics.spacing) > room) {
    layout.chevron = true;
    room -= metrics.chevron + metrics.spacing;
    keep = KeptInANarrowRow(items, room, metrics.spacing);
    // The chevron lists what left (its menu turns separators into dividers between items).
    for (std::size_t i = 0; i < n; ++i)
      layout.overflowed[i] = !keep[i] && items[i].kind != Kind::kFlexibleSpace;
  }

  // What is left over widens the views to their greatest width, then fills the spaces.
  int extra = std::max(0, room - KeptWidth(items, keep, metrics.spacing));
  for (std::size_t i = 0; i < n; ++i) {
    if (!keep[i]) continue;
    layout.shown[i] = true;
    layout.width[i] = std::max(0, items[i].minimum);
    if (items[i].kind == Kind::kView && extra > 0) {
      const int grow = std::min(extra, std::max(0, items[i].maximum - layout.width[i]));
      layout.width[i] += grow;
      extra -= grow;
    }
  }
  int spaces = 0;
  for (std::size_t i = 0; i < n; ++i) spaces += keep[i] && items[i].kind == Kind::kFlexibleSpace ? 1 : 0;
  for (std::size_t i = 0, seen = 0; i < n && spaces > 0; ++i) {
    if (!keep[i] || items[i].kind != Kind::kFlexibleSpace) continue;
    // The first spaces take the remainder of the division, one pixel each.
    layout.width[i] += extra / spaces + (static_cast<int>(seen) < extra % spaces ? 1 : 0);
    ++seen;
  }

  int x = metrics.margin;
  for (std::size_t i = 0; i < n; ++i) {
    if (!keep[i]) continue;
    layout.x[i] = x;
    x += layout.width[i] + metrics.spacing;
  }
  if (layout.chevron) layout.chevronX = width - metrics.margin - metrics.chevron;
  return layout;
}

}  // namespace toolbox
