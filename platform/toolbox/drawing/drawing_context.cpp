#include "platform/toolbox/drawing/drawing_context.h"

#include <cmath>
#include <numbers>

namespace toolbox {

DrawingContext::DrawingContext(const Rect& bounds, Origin origin) : bounds_(bounds), origin_(origin) {
  if (origin == Origin::kBottomLeft) {
    // Device space is top-left; user space starts with y up from the bottom edge.
    state_.ctm = AffineTransform{1, 0, 0, -1, 0, bounds.y * 2 + bounds.height};
  }
}

void DrawingContext::SaveGState() {
  saved_.push_back(state_);
}

void DrawingContext::RestoreGState() {
  if (saved_.empty()) return;
  state_ = std::move(saved_.back());
  saved_.pop_back();
}

void DrawingContext::TranslateCTM(double dx, double dy) {
  state_.ctm = state_.ctm.Concat(AffineTransform::Translation(dx, dy));
}
void DrawingContext::ScaleCTM(double sx, double sy) {
  state_.ctm = state_.ctm.Concat(AffineTransform::Scale(sx, sy));
}
void DrawingContext::ConcatCTM(const AffineTransform& t) {
  state_.ctm = state_.ctm.Concat(t);
}
void DrawingContext::FlipVertically(double height) {
  TranslateCTM(0, height);
  ScaleCTM(1, -1);
}

void DrawingContext::SetLineDash(double phase, std::vector<double> lengths) {
  // A pattern of nothing but zeros would never advance: treat it as solid.
  bool any = false;
  for (double l : lengths) any = any || l > 0;
  state_.dash_phase = any ? phase : 0;
  state_.dash = any ? std::move(lengths) : std::vector<double>{};
}

void DrawingContext::SetFillPattern(const Image& tile, std::optional<Color> stencil_color) {
  if (tile.IsNull() || tile.width() <= 0 || tile.height() <= 0) {
    state_.fill_pattern.reset();
    return;
  }
  state_.fill_pattern = FillPattern{tile, stencil_color};
}

void DrawingContext::Add(PathElement::Kind kind, Point p, Point c1, Point c2) {
  const AffineTransform& m = state_.ctm;
  path_.push_back({kind, m.Apply(p), m.Apply(c1), m.Apply(c2)});
}

void DrawingContext::MoveToPoint(double x, double y) {
  subpath_start_ = {x, y};
  Add(PathElement::Kind::kMove, {x, y});
}
void DrawingContext::AddLineToPoint(double x, double y) {
  if (path_.empty()) return MoveToPoint(x, y);
  Add(PathElement::Kind::kLine, {x, y});
}
void DrawingContext::AddCurveToPoint(double c1x, double c1y, double c2x, double c2y, double x, double y) {
  if (path_.empty()) MoveToPoint(c1x, c1y);
  Add(PathElement::Kind::kCurve, {x, y}, {c1x, c1y}, {c2x, c2y});
}
void DrawingContext::ClosePath() {
  if (path_.empty() || path_.back().kind == PathElement::Kind::kClose) return;
  path_.push_back({PathElement::Kind::kClose, state_.ctm.Apply(subpath_start_), {}, {}});
}

void DrawingContext::AddRect(const Rect& r) {
  MoveToPoint(r.x, r.y);
  AddLineToPoint(r.Right(), r.y);
  AddLineToPoint(r.Right(), r.Bottom());
  AddLineToPoint(r.x, r.Bottom());
  ClosePath();
}

void DrawingContext::AddEllipseInRect(const Rect& r) {
  // Four cubic quarter arcs; k places the control points for a circle's best fit.
  constexpr double k = 0.5522847498;
  const double cx = r.x + r.width / 2, cy = r.y + r.height / 2, rx = r.width / 2, ry = r.height / 2;
  MoveToPoint(cx + rx, cy);
  AddCurveToPoint(cx + rx, cy + k * ry, cx + k * rx, cy + ry, cx, cy + ry);
  AddCurveToPoint(cx - k * rx, cy + ry, cx - rx, cy + k * ry, cx - rx, cy);
  AddCurveToPoint(cx - rx, cy - k * ry, cx - k * rx, cy - ry, cx, cy - ry);
  AddCurveToPoint(cx + k * rx, cy - ry, cx + rx, cy - k * ry, cx + rx, cy);
  ClosePath();
}

void DrawingContext::AddRoundedRect(const Rect& r, double radius) {
  radius = std::min({radius, r.width / 2, r.height / 2});
  if (radius <= 0) return AddRect(r);
  constexpr double k = 0.5522847498;
  const double l = r.x, t = r.y, rt = r.Right(), b = r.Bottom(), q = radius * (1 - k);
  MoveToPoint(l + radius, t);
  AddLineToPoint(rt - radius, t);
  AddCurveToPoint(rt - q, t, rt, t + q, rt, t + radius);
  AddLineToPoint(rt, b - radius);
  AddCurveToPoint(rt, b - q, rt - q, b, rt - radius, b);
  AddLineToPoint(l + radius, b);
  AddCurveToPoint(l + q, b, l, b - q, l, b - radius);
  AddLineToPoint(l, t + radius);
  AddCurveToPoint(l, t + q, l + q, t, l + radius, t);
  ClosePath();
}

void DrawingContext::FillPath(FillRule rule) {
  if (!path_.empty()) DoPath(PathOp::kFill, path_, rule);
  path_.clear();
}

void DrawingContext::StrokePath() {
  if (!path_.empty()) DoPath(PathOp::kStroke, path_, FillRule::kWinding);
  path_.clear();
}

void DrawingContext::ClipToPath(FillRule rule) {
  if (path_.empty()) return;
  double l = path_[0].point.x, t = path_[0].point.y, r = l, b = t;
  for (const PathElement& e : path_) {
    l = std::min(l, e.point.x);
    t = std::min(t, e.point.y);
    r = std::max(r, e.point.x);
    b = std::max(b, e.point.y);
  }
  const Rect box = RectFromEdges(l, t, r, b);
  DoPath(PathOp::kClip, path_, rule);
  state_.clip = state_.clip ? state_.clip->Intersect(box) : box;
  path_.clear();
}

void DrawingContext::FillRect(const Rect& r) {
  std::vector<PathElement> saved = std::move(path_);
  path_.clear();
  AddRect(r);
  FillPath();
  path_ = std::move(saved);
}

void DrawingContext::StrokeRect(const Rect& r) {
  std::vector<PathElement> saved = std::move(path_);
  path_.clear();
  AddRect(r);
  StrokePath();
  path_ = std::move(saved);
}

void DrawingContext::FillEllipseInRect(const Rect& r) {
  std::vector<PathElement> saved = std::move(path_);
  path_.clear();
  AddEllipseInRect(r);
  FillPath();
  path_ = std::move(saved);
}

void DrawingContext::StrokeLine(Point from, Point to) {
  std::vector<PathElement> saved = std::move(path_);
  path_.clear();
  MoveToPoint(from.x, from.y);
  AddLineToPoint(to.x, to.y);
  StrokePath();
  path_ = std::move(saved);
}

void DrawingContext::ClearRect(const Rect& r) {
  DoClearRect(DeviceRect(r));
}

void DrawingContext::ClipToRect(const Rect& r) {
  std::vector<PathElement> saved = std::move(path_);
  path_.clear();
  AddRect(r);
  ClipToPath();
  path_ = std::move(saved);
}

}  // namespace toolbox
