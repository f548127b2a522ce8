#pragma once
// Conversions between the toolbox's types and Qt's. Internal to the toolbox: only its
// own .cpp files include this header (it includes Qt).

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <string>

#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/theme/font.h"

namespace toolbox {

inline QString ToQString(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string FromQString(const QString& s) {
  return s.toStdString();
}

inline QPointF ToQPoint(Point p) {
  return {p.x, p.y};
}
inline QRectF ToQRect(const Rect& r) {
  return {r.x, r.y, r.width, r.height};
}
inline Rect FromQRect(const QRectF& r) {
  return {r.x(), r.y(), r.width(), r.height()};
}

inline QColor ToQColor(const Color& c) {
  QColor q;
  q.setRgbF(static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue),
            static_cast<float>(c.alpha));
  return q;
}
inline Color FromQColor(const QColor& q) {
  return {q.redF(), q.greenF(), q.blueF(), q.alphaF()};
}

inline QTransform ToQTransform(const AffineTransform& t) {
  return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
}

inline QFont ToQFont(const Font& f) {
  QFont q;
  if (!f.family.empty()) q.setFamily(ToQString(f.family));
  q.setPointSizeF(f.size);
  q.setBold(f.bold);
  q.setItalic(f.italic);
  return q;
}

inline Font FromQFont(const QFont& q) {
  return {FromQString(q.family()), q.pointSizeF() > 0 ? q.pointSizeF() : q.pixelSize() * 0.75, q.bold(),
          q.italic()};
}

}  // namespace toolbox
