#pragma once
// The drawing context the windows' custom views draw into, in the platform's Quartz
// style: a current transformation (CTM) applied to everything, a graphics state saved
// and restored as a stack (colours, line width, caps, dashes, alpha, blend mode, clip),
// a current path built point by point and then filled, stroked or used as a clip.
//
// Two things differ from Qt's painter and are kept as the platform has them:
//   - dash lengths and the dash phase are absolute lengths in user space, not multiples
//     of the line width;
//   - a context may have its origin at the bottom-left with y up (Origin::kBottomLeft);
//     images and text are still drawn upright in their rectangles.
// Path points are taken through the CTM when they are added (as the platform does), so
// changing the CTM between MoveTo and Fill does not move what is already in the path.
//
// A fill pattern replaces the fill colour for fills (not strokes, images or text): an
// image tile repeated without gaps from the pattern phase in user space, taken through
// the CTM like the path. The tile stays upright as images do: the phase is its top-left
// corner in a y-down user space and its bottom-left corner in a y-up one. An uncoloured pattern uses only the
// tile's alpha, painted in its colour. Setting a fill colour ends the pattern; the phase is state of its own
// and outlives it.
//
// `PainterContext` draws with QPainter; `RecordingContext` records what was drawn, in
// device coordinates with the state in force, for tests.

#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/drawing/image.h"
#include "platform/toolbox/theme/font.h"

namespace toolbox {

enum class LineCap { kButt, kRound, kSquare };
enum class LineJoin { kMiter, kRound, kBevel };
enum class FillRule { kWinding, kEvenOdd };
// kColor: the hue and saturation of the source with the luminance of what is under it
// (the tint of the LCD display); QPainter has none, so contexts do it per pixel.
enum class BlendMode { kNormal, kSourceAtop, kMultiply, kColor };

struct Gradient {
  struct Stop {
    double location = 0;  // 0 to 1
    Color color;
    bool operator==(const Stop&) const = default;
  };
  std::vector<Stop> stops;
  bool operator==(const Gradient&) const = default;
};

// One element of a path, in device coordinates.
struct PathElement {
  enum class Kind { kMove, kLine, kCurve, kClose };
  Kind kind = Kind::kMove;
  Point point;     // end point
  Point control1;  // curves only
  Point control2;
  bool operator==(const PathElement&) const = default;
};

struct FillPattern {
  Image tile;
  // Set for an uncoloured pattern: the tile is a stencil painted in this colour.
  std::optional<Color> color;
};

struct GraphicsState {
  AffineTransform ctm;
  Color fill = Color::Black();
  std::optional<FillPattern> fill_pattern;  // when set, fills use it instead of `fill`
  Point pattern_phase;                      // user space, where a tile's top-left corner lies
  Color stroke = Color::Black();
  double line_width = 1;
  LineCap cap = LineCap::kButt;
  LineJoin join = LineJoin::kMiter;
  double dash_phase = 0;
  std::vector<double> dash;  // absolute lengths; empty = solid
  double alpha = 1;
  BlendMode blend = BlendMode::kNormal;
  std::optional<Rect> clip;  // device-space bounds of the clip; nothing = unclipped
};

class DrawingContext {
 public:
  // `bounds`: the area drawn into, in the context's own coordinates at the start.
  DrawingContext(const Rect& bounds, Origin origin);
  virtual ~DrawingContext() = default;
  DrawingContext(const DrawingContext&) = delete;
  DrawingContext& operator=(const DrawingContext&) = delete;

  Rect bounds() const { return bounds_; }
  Origin origin() const { return origin_; }
  const GraphicsState& state() const { return state_; }

  virtual void SaveGState();
  virtual void RestoreGState();  // unbalanced restores are ignored

  void TranslateCTM(double dx, double dy);
  void ScaleCTM(double sx, double sy);
  void ConcatCTM(const AffineTransform& t);
  // Flips the y axis within `height` (a view drawing bottom-up content).
  void FlipVertically(double height);

  void SetFillColor(const Color& c) {
    state_.fill = c;
    state_.fill_pattern.reset();
  }
  // A null tile (or an empty one) leaves the fill colour in force.
  void SetFillPattern(const Image& tile, std::optional<Color> stencil_color = std::nullopt);
  void SetPatternPhase(Point phase) { state_.pattern_phase = phase; }
  void SetStrokeColor(const Color& c) { state_.stroke = c; }
  void SetLineWidth(double w) { state_.line_width = w; }
  void SetLineCap(LineCap cap) { state_.cap = cap; }
  void SetLineJoin(LineJoin join) { state_.join = join; }
  // Absolute lengths in user space (scaled by the CTM like the line width).
  void SetLineDash(double phase, std::vector<double> lengths);
  void SetAlpha(double a) { state_.alpha = a; }
  void SetBlendMode(BlendMode mode) { state_.blend = mode; }

  // The current path.
  void BeginPath() { path_.clear(); }
  void MoveToPoint(double x, double y);
  void AddLineToPoint(double x, double y);
  void AddCurveToPoint(double c1x, double c1y, double c2x, double c2y, double x, double y);
  void AddRect(const Rect& r);
  void AddEllipseInRect(const Rect& r);
  void AddRoundedRect(const Rect& r, double radius);
  void ClosePath();
  bool IsPathEmpty() const { return path_.empty(); }
  // Fill and stroke consume the path.
  void FillPath(FillRule rule = FillRule::kWinding);
  void StrokePath();
  // Intersects the clip with the path and consumes it.
  void ClipToPath(FillRule rule = FillRule::kWinding);

  void FillRect(const Rect& r);
  void StrokeRect(const Rect& r);
  void FillEllipseInRect(const Rect& r);
  void StrokeLine(Point from, Point to);
  void ClearRect(const Rect& r);
  void ClipToRect(const Rect& r);

  // The image scaled into `r`, upright whatever the origin.
  virtual void DrawImage(const Rect& r, const Image& image) = 0;
  // Fills the clip (or the whole context) with the gradient from `start` to `end`,
  // padded beyond its ends.
  virtual void DrawLinearGradient(const Gradient& gradient, Point start, Point end) = 0;
  // Text in `r`, upright; see TextStyle for wrapping and truncation.
  virtual void DrawText(const std::string& text, const Rect& r, const TextStyle& style) = 0;

 protected:
  enum class PathOp { kFill, kStroke, kClip };
  // The path in device coordinates; the CTM and the rest of the state in `state()`.
  virtual void DoPath(PathOp op, const std::vector<PathElement>& path, FillRule rule) = 0;
  virtual void DoClearRect(const Rect& device_rect) = 0;
  // Device-space rectangle of `r` through the CTM.
  Rect DeviceRect(const Rect& r) const { return state_.ctm.Apply(r); }

 private:
  void Add(PathElement::Kind kind, Point p, Point c1 = {}, Point c2 = {});

  Rect bounds_;
  Origin origin_;
  GraphicsState state_;
  std::vector<GraphicsState> saved_;
  std::vector<PathElement> path_;
  Point subpath_start_;
};

}  // namespace toolbox
