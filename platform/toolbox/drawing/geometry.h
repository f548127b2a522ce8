#pragma once
// Geometry of the user-interface layer: real-valued points, sizes and origin-and-size
// rectangles (window content coordinates, top-left origin, y down, unless a drawing
// context is told otherwise), colours with alpha, and affine transforms.

#include <algorithm>
#include <cmath>

namespace toolbox {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  double Left() const { return x; }
  double Top() const { return y; }
  double Right() const { return x + width; }
  double Bottom() const { return y + height; }
  Point Origin() const { return {x, y}; }
  Size GetSize() const { return {width, height}; }
  Point Center() const { return {x + width / 2, y + height / 2}; }
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  bool Contains(Point p) const { return p.x >= x && p.x < Right() && p.y >= y && p.y < Bottom(); }
  Rect Inset(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
  Rect Offset(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
  Rect Intersect(const Rect& o) const {
    const double l = std::max(x, o.x), t = std::max(y, o.y);
    const double r = std::min(Right(), o.Right()), b = std::min(Bottom(), o.Bottom());
    if (r <= l || b <= t) return {};
    return {l, t, r - l, b - t};
  }
  bool operator==(const Rect&) const = default;
};

inline Rect RectFromEdges(double left, double top, double right, double bottom) {
  return {left, top, right - left, bottom - top};
}

// Components from 0 to 1.
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
  bool operator==(const Color&) const = default;

  static constexpr Color Black() { return {0, 0, 0, 1}; }
  static constexpr Color White() { return {1, 1, 1, 1}; }
  static constexpr Color Clear() { return {0, 0, 0, 0}; }
  // From 8-bit components (what images hold).
  static constexpr Color FromBytes(int r, int g, int b, int a = 255) {
    return {r / 255.0, g / 255.0, b / 255.0, a / 255.0};
  }
};

// x' = a·x + c·y + tx, y' = b·x + d·y + ty (the platform's matrix order).
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  Point Apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // The bounding box of the transformed corners.
  Rect Apply(const Rect& r) const {
    const Point p[4] = {Apply(Point{r.x, r.y}), Apply(Point{r.Right(), r.y}), Apply(Point{r.x, r.Bottom()}),
                        Apply(Point{r.Right(), r.Bottom()})};
    double l = p[0].x, t = p[0].y, rr = p[0].x, bb = p[0].y;
    for (const Point& q : p) {
      l = std::min(l, q.x);
      t = std::min(t, q.y);
      rr = std::max(rr, q.x);
      bb = std::max(bb, q.y);
    }
    return {l, t, rr - l, bb - t};
  }
  // this, applied after `first`.
  AffineTransform Concat(const AffineTransform& first) const {
    return {a * first.a + c * first.b, b * first.a + d * first.b,        a * first.c + c * first.d,
            b * first.c + d * first.d, a * first.tx + c * first.ty + tx, b * first.tx + d * first.ty + ty};
  }
  static AffineTransform Translation(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
  static AffineTransform Scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  // Whether the y axis points up in device space (a Quartz-style context).
  bool FlipsY() const { return a * d - b * c < 0; }
  bool operator==(const AffineTransform&) const = default;
};

}  // namespace toolbox
