#pragma once
// The Qt side of toolbox::Image; internal to the toolbox.

#include <QImage>

#include "platform/toolbox/drawing/image.h"

namespace toolbox {

struct Image::Impl {
  QImage image;  // Format_ARGB32_Premultiplied
};

QImage ToQImage(const Image& image);
Image FromQImage(QImage image);

}  // namespace toolbox
