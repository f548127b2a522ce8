#include "platform/toolbox/drawing/painter_context.h"

#include <QBrush>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTextOption>

#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/qt_convert.h"

namespace toolbox {
namespace {

QPainterPath ToQPath(const std::vector<PathElement>& path, FillRule rule) {
  QPainterPath q;
  for (const PathElement& e : path) {
    switch (e.kind) {
      case PathElement::Kind::kMove:
        q.moveTo(ToQPoint(e.point));
        break;
      case PathElement::Kind::kLine:
        q.lineTo(ToQPoint(e.point));
        break;
      case PathElement::Kind::kCurve:
        q.cubicTo(ToQPoint(e.control1), ToQPoint(e.control2), ToQPoint(e.point));
        break;
      case PathElement::Kind::kClose:
        q.closeSubpath();
        break;
    }
  }
  q.setFillRule(rule == FillRule::kEvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
  return q;
}

Color WithAlpha(Color c, double alpha) {
  c.alpha *= alpha;
  return c;
}

// The factor by which the CTM scales lengths (the geometric mean of the axes).
double LengthScale(const AffineTransform& m) {
  const double det = std::abs(m.a * m.d - m.b * m.c);
  return det > 0 ? std::sqrt(det) : 1;
}

// The brush of a fill pattern, mapping tile pixels to device space: the tile placed at
// the phase in user space, then through the CTM (paths are drawn in device space).
QBrush PatternBrush(const FillPattern& pattern, Point phase, const AffineTransform& ctm) {
  QImage tile = ToQImage(pattern.tile);
  if (pattern.color) {
    // Uncoloured: keep the colour only where the tile has coverage.
    QImage stencil(tile.size(), QImage::Format_ARGB32_Premultiplied);
    stencil.fill(ToQColor(*pattern.color));
    QPainter p(&stencil);
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    p.drawImage(0, 0, tile);
    p.end();
    tile = std::move(stencil);
  }
  QBrush brush(tile);
  QTransform place = QTransform::fromTranslate(phase.x, phase.y);
  if (ctm.FlipsY()) place = QTransform(1, 0, 0, -1, 0, tile.height()) * place;
  brush.setTransform(place * ToQTransform(ctm));
  return brush;
}

}  // namespace

PainterContext::PainterContext(QPainter& painter, const Rect& bounds, Origin origin)
    : DrawingContext(bounds, origin), painter_(painter) {
  painter_.save();
  painter_.setRenderHint(QPainter::Antialiasing, true);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

PainterContext::~PainterContext() {
  while (depth_-- > 0) painter_.restore();
  painter_.restore();
}

void PainterContext::SaveGState() {
  DrawingContext::SaveGState();
  painter_.save();
  ++depth_;
}

void PainterContext::RestoreGState() {
  if (depth_ == 0) return;
  DrawingContext::RestoreGState();
  painter_.restore();
  --depth_;
}

void PainterContext::ApplyCompositionMode() {
  switch (state().blend) {
    case BlendMode::kNormal:
    case BlendMode::kColor:  // approximated by normal here; see TintWithColorBlend
      painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
      break;
    case BlendMode::kSourceAtop:
      painter_.setCompositionMode(QPainter::CompositionMode_SourceAtop);
      break;
    case BlendMode::kMultiply:
      painter_.setCompositionMode(QPainter::CompositionMode_Multiply);
      break;
  }
}

void PainterContext::DoPath(PathOp op, const std::vector<PathElement>& path, FillRule rule) {
  // Paths are in device space: draw them with the identity transform.
  painter_.setWorldTransform(QTransform());
  const QPainterPath q = ToQPath(path, rule);
  if (op == PathOp::kClip) {
    painter_.setClipPath(q, Qt::IntersectClip);
    return;
  }
  ApplyCompositionMode();
  if (op == PathOp::kFill) {
    if (state().fill_pattern) {
      painter_.setOpacity(state().alpha);
      painter_.fillPath(q, PatternBrush(*state().fill_pattern, state().pattern_phase, state().ctm));
      painter_.setOpacity(1);
      return;
    }
    painter_.fillPath(q, ToQColor(WithAlpha(state().fill, state().alpha)));
    return;
  }
  const double scale = LengthScale(state().ctm);
  const double width = std::max(state().line_width * scale, 0.0);
  QPen pen(ToQColor(WithAlpha(state().stroke, state().alpha)));
  pen.setWidthF(width);
  pen.setCapStyle(state().cap == LineCap::kRound    ? Qt::RoundCap
                  : state().cap == LineCap::kSquare ? Qt::SquareCap
                                                    : Qt::FlatCap);
  pen.setJoinStyle(state().join == LineJoin::kRound   ? Qt::RoundJoin
                   : state().join == LineJoin::kBevel ? Qt::BevelJoin
                                                      : Qt::MiterJoin);
  if (!state().dash.empty()) {
    // Qt measures dashes in pen widths (a cosmetic pen counts as width 1) and wants an
    // even count; the platform repeats an odd pattern, so write it out twice.
    const double unit = width > 0 ? width : 1;
    QList<qreal> pattern;
    for (double l : state().dash) pattern.append(std::max(l * scale / unit, 1e-3));
    if (pattern.size() % 2 != 0) pattern.append(pattern);
    pen.setDashPattern(pattern);
    pen.setDashOffset(state().dash_phase * scale / unit);
  }
  painter_.strokePath(q, pen);
}

void PainterContext::DoClearRect(const Rect& device_rect) {
  painter_.setWorldTransform(QTransform());
  painter_.save();
  painter_.setCompositionMode(QPainter::CompositionMode_Clear);
  painter_.fillRect(ToQRect(device_rect), Qt::transparent);
  painter_.restore();
}

template <class F>
void PainterContext::Upright(const Rect& r, F&& paint) {
  QTransform t = ToQTransform(state().ctm);
  if (state().ctm.FlipsY()) {
    // Mirror the rectangle about its own middle so its contents come out upright.
    t = QTransform(1, 0, 0, -1, 0, r.y * 2 + r.height) * t;
  }
  painter_.setWorldTransform(t);
  ApplyCompositionMode();
  painter_.setOpacity(state().alpha);
  paint();
  painter_.setOpacity(1);
}

void PainterContext::DrawImage(const Rect& r, const Image& image) {
  if (image.IsNull()) return;
  Upright(r, [&] { painter_.drawImage(ToQRect(r), ToQImage(image)); });
}

void PainterContext::DrawLinearGradient(const Gradient& gradient, Point start, Point end) {
  if (gradient.stops.empty()) return;
  painter_.setWorldTransform(ToQTransform(state().ctm));
  QLinearGradient g(ToQPoint(start), ToQPoint(end));
  for (const Gradient::Stop& s : gradient.stops)
    g.setColorAt(std::clamp(s.location, 0.0, 1.0), ToQColor(s.color));
  g.setSpread(QGradient::PadSpread);
  ApplyCompositionMode();
  painter_.setOpacity(state().alpha);
  // The clip limits the fill; without one the whole context is filled.
  const QTransform inverse = ToQTransform(state().ctm).inverted();
  const Rect device = state().clip ? *state().clip : Rect{0, 0, 1e5, 1e5};
  painter_.fillRect(inverse.mapRect(ToQRect(device)), QBrush(g));
  painter_.setOpacity(1);
}

void PainterContext::DrawText(const std::string& text, const Rect& r, const TextStyle& style) {
  Upright(r, [&] {
    painter_.setFont(ToQFont(style.font));
    painter_.setPen(ToQColor(style.color));
    int flags = style.alignment == TextAlignment::kCenter  ? Qt::AlignHCenter
                : style.alignment == TextAlignment::kRight ? Qt::AlignRight
                                                           : Qt::AlignLeft;
    flags |= style.center_vertically ? Qt::AlignVCenter : Qt::AlignTop;
    std::string shown = text;
    if (style.truncation == Truncation::kNone) {
      flags |= Qt::TextWordWrap;
    } else {
      flags |= Qt::TextSingleLine;
      shown = TruncateText(text, style.font, r.width, style.truncation);
    }
    painter_.drawText(ToQRect(r), flags, ToQString(shown));
  });
}

}  // namespace toolbox
