#pragma once
// A drawing context that records instead of drawing, for tests of views and theme
// pieces. Every operation is kept with its geometry in device coordinates (top-left,
// y down, the CTM applied) and a copy of the graphics state in force, so a test can ask
// "what was filled where, in which colour, under which clip".

#include <optional>
#include <string>
#include <vector>

#include "platform/toolbox/drawing/drawing_context.h"

namespace toolbox {

struct RecordedOp {
  enum class Kind { kFill, kStroke, kClip, kClear, kImage, kGradient, kText };
  Kind kind = Kind::kFill;
  Rect rect;                      // device-space bounds of what was drawn
  std::vector<PathElement> path;  // paths only
  FillRule rule = FillRule::kWinding;
  GraphicsState state;  // the state in force
  std::string text;     // text only: the text as given
  TextStyle style;      // text only
  Gradient gradient;    // gradients only
  Point start, end;     // gradients only, device space
  Size image_size;      // images only
  // Fills with a pattern: the tile's size and the phase in device space (the phase
  // itself, user space, is in `state`).
  std::optional<Size> pattern_tile;
  Point pattern_phase;
};

class RecordingContext : public DrawingContext {
 public:
  explicit RecordingContext(const Rect& bounds = {0, 0, 100, 100}, Origin origin = Origin::kTopLeft)
      : DrawingContext(bounds, origin) {}

  const std::vector<RecordedOp>& ops() const { return ops_; }
  void Clear() { ops_.clear(); }
  // The recorded operations of one kind, in order.
  std::vector<RecordedOp> OpsOfKind(RecordedOp::Kind kind) const;
  // A one-line summary per operation ("fill 10,20 30x40 #ff0000ff"), for failure messages.
  std::string Describe() const;

  void DrawImage(const Rect& r, const Image& image) override;
  void DrawLinearGradient(const Gradient& gradient, Point start, Point end) override;
  void DrawText(const std::string& text, const Rect& r, const TextStyle& style) override;

 protected:
  void DoPath(PathOp op, const std::vector<PathElement>& path, FillRule rule) override;
  void DoClearRect(const Rect& device_rect) override;

 private:
  std::vector<RecordedOp> ops_;
};

}  // namespace toolbox
