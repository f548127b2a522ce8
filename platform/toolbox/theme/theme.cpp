#include "platform/toolbox/theme/theme.h"

#include <algorithm>
#include <cmath>

namespace toolbox {
namespace {

// Lines of width 1 land on pixel centres when drawn half a pixel in.
Rect Crisp(const Rect& r) {
  return {r.x + 0.5, r.y + 0.5, r.width - 1, r.height - 1};
}

}  // namespace

void DrawProgressBar(DrawingContext& ctx, const Rect& r, double fraction) {
  if (r.IsEmpty()) return;
  fraction = std::isnan(fraction) ? 0 : std::clamp(fraction, 0.0, 1.0);
  ctx.SaveGState();
  ctx.SetFillColor(ThemeColors::Track());
  ctx.FillRect(r);
  const Rect inner = r.Inset(1, 1);
  if (fraction > 0 && !inner.IsEmpty()) {
    ctx.SetFillColor(ThemeColors::Fill());
    ctx.FillRect({inner.x, inner.y, inner.width * fraction, inner.height});
  }
  ctx.SetStrokeColor(ThemeColors::Frame());
  ctx.SetLineWidth(1);
  ctx.StrokeRect(Crisp(r));
  ctx.RestoreGState();
}

void DrawIndeterminateProgressBar(DrawingContext& ctx, const Rect& r, double phase) {
  if (r.IsEmpty()) return;
  constexpr double kStripe = 8;  // stripe width; the pattern repeats every two stripes
  ctx.SaveGState();
  ctx.SetFillColor(ThemeColors::Track());
  ctx.FillRect(r);
  ctx.ClipToRect(r.Inset(1, 1));
  ctx.SetFillColor(ThemeColors::Fill());
  const double offset = std::fmod(phase, 2 * kStripe);
  for (double x = r.x - r.height - 2 * kStripe + offset; x < r.Right(); x += 2 * kStripe) {
    ctx.MoveToPoint(x, r.Bottom());
    ctx.AddLineToPoint(x + r.height, r.y);
    ctx.AddLineToPoint(x + r.height + kStripe, r.y);
    ctx.AddLineToPoint(x + kStripe, r.Bottom());
    ctx.ClosePath();
  }
  ctx.FillPath();
  ctx.RestoreGState();
  ctx.SaveGState();
  ctx.SetStrokeColor(ThemeColors::Frame());
  ctx.SetLineWidth(1);
  ctx.StrokeRect(Crisp(r));
  ctx.RestoreGState();
}

void DrawChasingArrows(DrawingContext& ctx, const Rect& r, int step) {
  const double radius = std::min(r.width, r.height) / 2;
  if (radius <= 0) return;
  const double cx = r.x + r.width / 2;
  const double cy = r.y + r.height / 2;
  const int lead = ((step % kChasingArrowsSteps) + kChasingArrowsSteps) % kChasingArrowsSteps;
  ctx.SaveGState();
  ctx.SetLineWidth(std::max(1.0, radius / 4));
  ctx.SetLineCap(LineCap::kRound);
  for (int i = 0; i < kChasingArrowsSteps; ++i) {
    // Clockwise from twelve o'clock; a spoke `behind` steps behind the lead is lighter.
    const int behind = (lead - i + kChasingArrowsSteps) % kChasingArrowsSteps;
    const double angle = 2 * M_PI * i / kChasingArrowsSteps;
    const double dx = std::sin(angle);
    const double dy = -std::cos(angle);
    Color c = ThemeColors::Triangle();
    c.alpha = 1.0 - 0.75 * behind / (kChasingArrowsSteps - 1);
    ctx.SetStrokeColor(c);
    ctx.StrokeLine({cx + dx * radius * 0.45, cy + dy * radius * 0.45},
                   {cx + dx * radius * 0.85, cy + dy * radius * 0.85});
  }
  ctx.RestoreGState();
}

void DrawDisclosureTriangle(DrawingContext& ctx, const Rect& r, bool open, bool pressed) {
  const double side = std::min(r.width, r.height) * 0.6;
  const Point c = r.Center();
  ctx.SaveGState();
  ctx.SetFillColor(pressed ? Color::Black() : ThemeColors::Triangle());
  if (open) {
    ctx.MoveToPoint(c.x - side / 2, c.y - side / 4);
    ctx.AddLineToPoint(c.x + side / 2, c.y - side / 4);
    ctx.AddLineToPoint(c.x, c.y + side / 2);
  } else {
    ctx.MoveToPoint(c.x - side / 4, c.y - side / 2);
    ctx.AddLineToPoint(c.x + side / 2, c.y);
    ctx.AddLineToPoint(c.x - side / 4, c.y + side / 2);
  }
  ctx.ClosePath();
  ctx.FillPath();
  ctx.RestoreGState();
}

void DrawSeparator(DrawingContext& ctx, const Rect& r) {
  ctx.SaveGState();
  ctx.SetFillColor(ThemeColors::Separator());
  if (r.width >= r.height) {
    ctx.FillRect({r.x, std::floor(r.y + r.height / 2), r.width, 1});
  } else {
    ctx.FillRect({std::floor(r.x + r.width / 2), r.y, 1, r.height});
  }
  ctx.RestoreGState();
}

void DrawListHeaderButton(DrawingContext& ctx, const Rect& r, const std::string& title, SortIndicator sort,
                          bool pressed, TextAlignment alignment) {
  if (r.IsEmpty()) return;
  ctx.SaveGState();
  ctx.ClipToRect(r);
  if (pressed) {
    ctx.SetFillColor(ThemeColors::HeaderPressed());
    ctx.FillRect(r);
  } else {
    ctx.DrawLinearGradient({{{0, ThemeColors::HeaderTop()}, {1, ThemeColors::HeaderBottom()}}}, {r.x, r.y},
                           {r.x, r.Bottom()});
  }
  ctx.SetFillColor(ThemeColors::Separator());
  ctx.FillRect({r.x, r.Bottom() - 1, r.width, 1});
  ctx.FillRect({r.Right() - 1, r.y + 2, 1, r.height - 4});

  constexpr double kArrowSpace = 14;
  const double text_right = sort == SortIndicator::kNone ? r.Right() - 4 : r.Right() - kArrowSpace - 2;
  TextStyle style;
  style.font = GetThemeFont(ThemeFont::kSmallSystem);
  style.color = ThemeColors::Text();
  style.alignment = alignment;
  style.truncation = Truncation::kEnd;
  style.center_vertically = true;
  ctx.DrawText(title, RectFromEdges(r.x + 6, r.y, std::max(r.x + 6, text_right), r.Bottom() - 1), style);

  if (sort != SortIndicator::kNone) {
    const Point c{r.Right() - kArrowSpace / 2 - 2, r.y + (r.height - 1) / 2};
    ctx.SetFillColor(ThemeColors::Triangle());
    const double h = 3.5;
    if (sort == SortIndicator::kAscending) {
      ctx.MoveToPoint(c.x - h, c.y + h / 2);
      ctx.AddLineToPoint(c.x + h, c.y + h / 2);
      ctx.AddLineToPoint(c.x, c.y - h / 2);
    } else {
      ctx.MoveToPoint(c.x - h, c.y - h / 2);
      ctx.AddLineToPoint(c.x + h, c.y - h / 2);
      ctx.AddLineToPoint(c.x, c.y + h / 2);
    }
    ctx.ClosePath();
    ctx.FillPath();
  }
  ctx.RestoreGState();
}

void DrawPlacard(DrawingContext& ctx, const Rect& r, const std::string& text) {
  ctx.SaveGState();
  ctx.SetFillColor(ThemeColors::HeaderBottom());
  ctx.FillRect(r);
  ctx.SetStrokeColor(ThemeColors::Frame());
  ctx.StrokeRect(Crisp(r));
  TextStyle style;
  style.font = GetThemeFont(ThemeFont::kSmallSystem);
  style.truncation = Truncation::kEnd;
  style.center_vertically = true;
  ctx.DrawText(text, r.Inset(6, 1), style);
  ctx.RestoreGState();
}

}  // namespace toolbox
