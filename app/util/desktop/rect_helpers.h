#pragma once
// The two rectangle forms the windows use: whole-pixel rectangles given by their edges
// (window bounds, as stored in the preferences) and real-valued origin-and-size
// rectangles (drawing).

#include <cstdint>

namespace util {

struct Rect {
  std::int16_t top = 0;
  std::int16_t left = 0;
  std::int16_t bottom = 0;
  std::int16_t right = 0;
  bool operator==(const Rect&) const = default;
};

struct CGRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool operator==(const CGRect&) const = default;
};

void SetRectLTRB(Rect& r, std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom);

// x = left, y = top, width = right - left, height = bottom - top.
void RectToCGRect(const Rect& r, CGRect& out);

// left and top are x and y truncated toward zero; right and bottom are the truncated
// left and top plus width and height, added in single precision and truncated again.
void CGRectToRect(const CGRect& r, Rect& out);

}  // namespace util
