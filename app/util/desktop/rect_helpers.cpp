#include "app/util/desktop/rect_helpers.h"

namespace util {

void SetRectLTRB(Rect& r, std::int16_t left, std::int16_t top, std::int16_t right, std::int16_t bottom) {
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
}

void RectToCGRect(const Rect& r, CGRect& out) {
  out.x = r.left;
  out.y = r.top;
  out.width = r.right - r.left;
  out.height = r.bottom - r.top;
}

void CGRectToRect(const CGRect& r, Rect& out) {
  out.left = static_cast<std::int16_t>(r.x);
  out.top = static_cast<std::int16_t>(r.y);
  out.right = static_cast<std::int16_t>(static_cast<float>(out.left) + static_cast<float>(r.width));
  out.bottom = static_cast<std::int16_t>(static_cast<float>(out.top) + static_cast<float>(r.height));
}

}  // namespace util
