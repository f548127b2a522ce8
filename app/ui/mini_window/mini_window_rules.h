#pragma once
// The mini window's rules apart from its views: how its width snaps while the person
// drags its edge, when it turns compact, which of its buttons a download allows, the
// texts of its labels and display, and the step of the display's stripes.
//
// Width snapping: the window has two useful widths, compact (130) and full (290 or
// more). A drag that starts from the compact width needs only a small pull (to 140) to
// open it; one that starts wide must be pushed well in (to 279) before it collapses, so
// that a slight narrowing of a wide window never collapses it by accident.

#include <cstdint>
#include <optional>
#include <string>

namespace ui {

inline constexpr double kMiniCompactWidth = 130;
inline constexpr double kMiniFullWidth = 290;
// At or below this width the window shows its three labels instead of the display.
inline constexpr double kMiniCompactLimit = 135;
// A resize that starts at this structure width or less starts narrow.
inline constexpr double kMiniNarrowStartLimit = 149;

// The width a live resize settles on for the width `w` the person dragged to.
double SnapMiniWindowWidth(double w, bool narrowAtStart);
inline bool IsMiniWindowCompact(double width) {
  return width <= kMiniCompactLimit;
}
inline bool MiniResizeStartsNarrow(double structureWidth) {
  return structureWidth <= kMiniNarrowStartLimit;
}

// Start, stop and remove, for the followed download's status (nothing: none followed).
struct MiniButtons {
  bool start = false;
  bool stop = false;
  bool remove = false;
  friend bool operator==(const MiniButtons&, const MiniButtons&) = default;
};
MiniButtons MiniWindowButtonsFor(std::optional<std::int32_t> status);

// The total rate as the compact layout shows it: "9.9 K", "10 K", "1.5 M", "20 M".
std::string MiniWindowRateText(double kilobytesPerSecond);

// The time left as the display shows it ("-59s", "-1:00", "-1:00:00"); nothing when it
// cannot be told (rate at or below 0.2 KB/s, size unknown), where the display says
// "Unknown".
std::optional<std::string> LCDTimeLeftText(float kilobytesPerSecond, std::int64_t size, std::int64_t done);

// The stripes' phase after one change of the followed download: 0, -2, -4, -6, -1, -3,
// -5, 0 ...
inline int NextLCDStripePhase(int phase) {
  return (phase - 2) % 7;
}

}  // namespace ui
