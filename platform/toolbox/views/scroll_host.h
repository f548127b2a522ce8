#pragma once
// A scroll host shows a custom view larger than its frame: the view draws its whole
// image (its own coordinates, 0,0 at the image's top-left), the host shows the control part
// at the current origin with scroll bars as needed. The view's owner tells the host
// the image size and the line size (one click of a scroll-bar arrow); the host answers
// the visible area and scrolls to an origin or to bring a rectangle into view. Mouse
// events reach the view in image coordinates, so hit tests need no offset.

#include <functional>

#include "platform/toolbox/drawing/geometry.h"

class QScrollArea;

namespace toolbox {

class ScrollHost {
 public:
  explicit ScrollHost(QScrollArea* area) : area_(area) {}

  void SetImageSize(Size size);
  Size ImageSize() const;
  void SetLineSize(Size size);
  // Which scroll bars may show (each only when the image is larger that way).
  void SetScrollBars(bool horizontal, bool vertical);
  bool IsScrollBarVisible(bool horizontal) const;

  // The image point at the top-left of the frame.
  Point Origin() const;
  // Clamped so that no area beyond the image shows.
  void ScrollTo(Point origin);
  // The control part of the image shown now.
  Rect VisibleArea() const;
  // The least scroll that shows `r` (its top-left part when it is larger than the frame).
  void ScrollRectToVisible(const Rect& r);
  // The size of the frame the image is shown in (without the scroll bars).
  Size FrameSize() const;
  // Called after the frame changed size (the view may size its image to it).
  void SetFrameChangedHandler(std::function<void()> handler);

 private:
  QScrollArea* area_;  // owned by the window's widget tree
};

}  // namespace toolbox
