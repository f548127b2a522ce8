#include "platform/toolbox/drawing/color_blend.h"

#include <algorithm>

#include "platform/toolbox/drawing/image_impl.h"

namespace toolbox {
namespace {

// Luminosity and the colour operations of W3C Compositing and Blending.
double Lum(double r, double g, double b) {
  return 0.3 * r + 0.59 * g + 0.11 * b;
}

void ClipColor(double& r, double& g, double& b) {
  const double l = Lum(r, g, b);
  const double n = std::min({r, g, b}), x = std::max({r, g, b});
  if (n < 0) {
    r = l + (r - l) * l / (l - n);
    g = l + (g - l) * l / (l - n);
    b = l + (b - l) * l / (l - n);
  }
  if (x > 1) {
    r = l + (r - l) * (1 - l) / (x - l);
    g = l + (g - l) * (1 - l) / (x - l);
    b = l + (b - l) * (1 - l) / (x - l);
  }
}

void SetLum(double& r, double& g, double& b, double l) {
  const double d = l - Lum(r, g, b);
  r += d;
  g += d;
  b += d;
  ClipColor(r, g, b);
}

}  // namespace

Image ApplyColorBlend(const Image& image, const Color& tint) {
  QImage out = ToQImage(image).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const QRgb p = line[x];
      double r = tint.red, g = tint.green, b = tint.blue;
      SetLum(r, g, b, Lum(qRed(p) / 255.0, qGreen(p) / 255.0, qBlue(p) / 255.0));
      // Mixed by the tint's alpha over the original.
      const double a = tint.alpha;
      auto mix = [a](double blended, int original) {
        return std::clamp(static_cast<int>((blended * a + original / 255.0 * (1 - a)) * 255.0 + 0.5), 0, 255);
      };
      line[x] = qRgba(mix(r, qRed(p)), mix(g, qGreen(p)), mix(b, qBlue(p)), qAlpha(p));
    }
  }
  return FromQImage(std::move(out));
}

}  // namespace toolbox
