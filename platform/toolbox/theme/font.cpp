#include "platform/toolbox/theme/font.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QString>
#include <atomic>
#include <cmath>
#include <utility>

#include "platform/toolbox/drawing/qt_convert.h"

namespace toolbox {
namespace {
std::atomic<double> g_base_size{13};
}

void SetThemeFontBaseSize(double points) {
  g_base_size = points > 0 ? points : 13;
}

namespace {
int g_font_size_preference = 2;  // main thread
std::function<void(int)>& FontSizeObserver() {
  static std::function<void(int)> observer;
  return observer;
}
}  // namespace

void SetFontSizePreference(int value) {
  if (value != 1) value = 2;
  if (value == g_font_size_preference) return;
  g_font_size_preference = value;
  if (FontSizeObserver()) FontSizeObserver()(value);
}

int FontSizePreference() {
  return g_font_size_preference;
}

ThemeFont ListThemeFont() {
  return g_font_size_preference == 1 ? ThemeFont::kSystem : ThemeFont::kSmallSystem;
}

void SetFontSizeObserver(std::function<void(int)> observer) {
  FontSizeObserver() = std::move(observer);
}

Font GetThemeFont(ThemeFont which) {
  const double base = g_base_size.load();
  switch (which) {
    case ThemeFont::kSystem:
      return {"", base, false, false};
    case ThemeFont::kEmphasizedSystem:
      return {"", base, true, false};
    case ThemeFont::kSmallSystem:
      return {"", base - 2, false, false};
    case ThemeFont::kSmallEmphasized:
      return {"", base - 2, true, false};
    case ThemeFont::kLabel:
      return {"", base - 3, false, false};
    case ThemeFont::kMini:
      return {"", base - 4, false, false};
  }
  return {"", base, false, false};
}

Size MeasureText(const std::string& text, const Font& font) {
  QFontMetricsF metrics(ToQFont(font));
  return {metrics.horizontalAdvance(ToQString(text)), metrics.height()};
}

Size MeasureWrappedText(const std::string& text, const Font& font, double width) {
  QFontMetricsF metrics(ToQFont(font));
  // A bounding rectangle tall enough for any text; the metrics shrink it to the text.
  const QRectF box = metrics.boundingRect(QRectF(0, 0, std::max(width, 1.0), 1e6),
                                          Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, ToQString(text));
  return {std::ceil(box.width()), std::ceil(box.height())};
}

std::string TruncateText(const std::string& text, const Font& font, double width, Truncation mode) {
  if (mode == Truncation::kNone) return text;
  QFontMetricsF metrics(ToQFont(font));
  const QString s = ToQString(text);
  if (metrics.horizontalAdvance(s) <= width) return text;
  return FromQString(
      metrics.elidedText(s, mode == Truncation::kMiddle ? Qt::ElideMiddle : Qt::ElideRight, width));
}

double LineHeight(const Font& font) {
  return QFontMetricsF(ToQFont(font)).height();
}

}  // namespace toolbox
