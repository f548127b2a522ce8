#pragma once
// The drawing context over a QPainter (views, bitmaps, grabs). Internal users give it
// the painter; the windows' code only ever sees DrawingContext.

#include "platform/toolbox/drawing/drawing_context.h"

class QPainter;
class QPainterPath;

namespace toolbox {

class PainterContext : public DrawingContext {
 public:
  // The painter must outlive the context; its state is restored when the context ends.
  PainterContext(QPainter& painter, const Rect& bounds, Origin origin);
  ~PainterContext() override;

  void SaveGState() override;
  void RestoreGState() override;
  void DrawImage(const Rect& r, const Image& image) override;
  void DrawLinearGradient(const Gradient& gradient, Point start, Point end) override;
  void DrawText(const std::string& text, const Rect& r, const TextStyle& style) override;

 protected:
  void DoPath(PathOp op, const std::vector<PathElement>& path, FillRule rule) override;
  void DoClearRect(const Rect& device_rect) override;

 private:
  // Draws `paint` with the transform that keeps an image or text upright in `r`.
  template <class F>
  void Upright(const Rect& r, F&& paint);
  void ApplyCompositionMode();

  QPainter& painter_;
  int depth_ = 0;
};

}  // namespace toolbox
