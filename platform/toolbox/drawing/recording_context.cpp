#include "platform/toolbox/drawing/recording_context.h"

#include <cstdio>

namespace toolbox {
namespace {

Rect PathBounds(const std::vector<PathElement>& path) {
  if (path.empty()) return {};
  double l = path[0].point.x, t = path[0].point.y, r = l, b = t;
  for (const PathElement& e : path) {
    l = std::min(l, e.point.x);
    t = std::min(t, e.point.y);
    r = std::max(r, e.point.x);
    b = std::max(b, e.point.y);
  }
  return RectFromEdges(l, t, r, b);
}

const char* KindName(RecordedOp::Kind k) {
  switch (k) {
    case RecordedOp::Kind::kFill:
      return "fill";
    case RecordedOp::Kind::kStroke:
      return "stroke";
    case RecordedOp::Kind::kClip:
      return "clip";
    case RecordedOp::Kind::kClear:
      return "clear";
    case RecordedOp::Kind::kImage:
      return "image";
    case RecordedOp::Kind::kGradient:
      return "gradient";
    case RecordedOp::Kind::kText:
      return "text";
  }
  return "?";
}

}  // namespace

std::vector<RecordedOp> RecordingContext::OpsOfKind(RecordedOp::Kind kind) const {
  std::vector<RecordedOp> out;
  for (const RecordedOp& op : ops_)
    if (op.kind == kind) out.push_back(op);
  return out;
}

std::string RecordingContext::Describe() const {
  std::string out;
  for (const RecordedOp& op : ops_) {
    const Color& c = op.kind == RecordedOp::Kind::kStroke ? op.state.stroke : op.state.fill;
    char line[200];
    std::snprintf(line, sizeof line, "%s %g,%g %gx%g rgba(%.3f,%.3f,%.3f,%.3f) %s\n", KindName(op.kind),
                  op.rect.x, op.rect.y, op.rect.width, op.rect.height, c.red, c.green, c.blue,
                  c.alpha * op.state.alpha, op.text.c_str());
    out += line;
    if (op.pattern_tile) {
      std::snprintf(line, sizeof line, "  pattern %gx%g phase %g,%g\n", op.pattern_tile->width,
                    op.pattern_tile->height, op.pattern_phase.x, op.pattern_phase.y);
      out += line;
    }
  }
  return out;
}

void RecordingContext::DoPath(PathOp op, const std::vector<PathElement>& path, FillRule rule) {
  RecordedOp r;
  r.kind = op == PathOp::kFill     ? RecordedOp::Kind::kFill
           : op == PathOp::kStroke ? RecordedOp::Kind::kStroke
                                   : RecordedOp::Kind::kClip;
  r.rect = PathBounds(path);
  r.path = path;
  r.rule = rule;
  r.state = state();
  if (op == PathOp::kFill && state().fill_pattern) {
    const Image& tile = state().fill_pattern->tile;
    r.pattern_tile = Size{double(tile.width()), double(tile.height())};
    r.pattern_phase = state().ctm.Apply(state().pattern_phase);
  }
  ops_.push_back(std::move(r));
}

void RecordingContext::DoClearRect(const Rect& device_rect) {
  RecordedOp r;
  r.kind = RecordedOp::Kind::kClear;
  r.rect = device_rect;
  r.state = state();
  ops_.push_back(std::move(r));
}

void RecordingContext::DrawImage(const Rect& rect, const Image& image) {
  RecordedOp r;
  r.kind = RecordedOp::Kind::kImage;
  r.rect = DeviceRect(rect);
  r.state = state();
  r.image_size = {double(image.width()), double(image.height())};
  ops_.push_back(std::move(r));
}

void RecordingContext::DrawLinearGradient(const Gradient& gradient, Point start, Point end) {
  RecordedOp r;
  r.kind = RecordedOp::Kind::kGradient;
  r.rect = state().clip ? *state().clip : bounds();
  r.state = state();
  r.gradient = gradient;
  r.start = state().ctm.Apply(start);
  r.end = state().ctm.Apply(end);
  ops_.push_back(std::move(r));
}

void RecordingContext::DrawText(const std::string& text, const Rect& rect, const TextStyle& style) {
  RecordedOp r;
  r.kind = RecordedOp::Kind::kText;
  r.rect = DeviceRect(rect);
  r.state = state();
  r.text = text;
  r.style = style;
  ops_.push_back(std::move(r));
}

}  // namespace toolbox
