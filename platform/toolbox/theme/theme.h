#pragma once
// The theme pieces the windows draw themselves - progress bars, disclosure triangles,
// separators, list header buttons, placards - drawn through a DrawingContext so that
// they look the same in every view and can be checked against a RecordingContext.
// Colours are the theme's (ThemeColors); the geometry is fixed here.

#include <string>

#include "platform/toolbox/drawing/drawing_context.h"

namespace toolbox {

struct ThemeColors {
  static constexpr Color Frame() { return Color::FromBytes(128, 128, 128); }
  static constexpr Color Track() { return Color::FromBytes(224, 224, 224); }
  static constexpr Color Fill() { return Color::FromBytes(70, 130, 210); }
  static constexpr Color FillPressed() { return Color::FromBytes(40, 90, 170); }
  static constexpr Color Separator() { return Color::FromBytes(190, 190, 190); }
  static constexpr Color HeaderTop() { return Color::FromBytes(250, 250, 250); }
  static constexpr Color HeaderBottom() { return Color::FromBytes(225, 225, 225); }
  static constexpr Color HeaderPressed() { return Color::FromBytes(200, 200, 200); }
  static constexpr Color Text() { return Color::Black(); }
  static constexpr Color Triangle() { return Color::FromBytes(90, 90, 90); }
};

// A determinate bar filled to `fraction` (clamped to 0..1) of its width.
void DrawProgressBar(DrawingContext& ctx, const Rect& r, double fraction);
// An indeterminate bar: diagonal stripes moved by `phase` (pixels; callers advance it
// with a timer).
void DrawIndeterminateProgressBar(DrawingContext& ctx, const Rect& r, double phase);

// The chasing arrows (the asynchronous progress indicator): twelve spokes round the
// centre of `r`, the one at `step` (callers advance it with a timer, modulo 12) darkest
// and the ones behind it fading.
inline constexpr int kChasingArrowsSteps = 12;
void DrawChasingArrows(DrawingContext& ctx, const Rect& r, int step);

// A triangle pointing right (closed) or down (open), centred in `r`.
void DrawDisclosureTriangle(DrawingContext& ctx, const Rect& r, bool open, bool pressed);

// A one-pixel line along the middle of `r`: horizontal when `r` is wider than tall.
void DrawSeparator(DrawingContext& ctx, const Rect& r);

enum class SortIndicator { kNone, kAscending, kDescending };
// A list column header: gradient face, bottom and right edges, title (truncated at the
// end) and the sort arrow at the right.
void DrawListHeaderButton(DrawingContext& ctx, const Rect& r, const std::string& title, SortIndicator sort,
                          bool pressed, TextAlignment alignment = TextAlignment::kLeft);

// A framed strip with a text, as under a text view.
void DrawPlacard(DrawingContext& ctx, const Rect& r, const std::string& text);

}  // namespace toolbox
