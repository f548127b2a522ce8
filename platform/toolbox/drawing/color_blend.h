#pragma once
// The "color" blend mode, which QPainter lacks: each pixel takes the hue and saturation
// of the tint and keeps its own luminosity (the LCD display's tint over its grey
// artwork). Alpha is kept from the image.

#include "platform/toolbox/drawing/geometry.h"
#include "platform/toolbox/drawing/image.h"

namespace toolbox {

Image ApplyColorBlend(const Image& image, const Color& tint);

}  // namespace toolbox
