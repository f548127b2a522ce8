#include "platform/toolbox/drawing/image.h"

#include <QPainter>

#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/painter_context.h"
#include "platform/toolbox/drawing/qt_convert.h"

namespace toolbox {

Image::Image() = default;
Image::~Image() = default;
Image::Image(const Image&) = default;
Image& Image::operator=(const Image&) = default;
Image::Image(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}

QImage ToQImage(const Image& image) {
  return image.impl() ? image.impl()->image : QImage();
}

Image FromQImage(QImage image) {
  if (image.isNull()) return Image();
  auto impl = std::make_shared<Image::Impl>();
  impl->image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  return Image(std::move(impl));
}

std::optional<Image> Image::LoadPng(const std::string& path) {
  QImage image;
  if (!image.load(ToQString(path), "PNG")) return std::nullopt;
  return FromQImage(std::move(image));
}

Image Image::Render(int width, int height, Origin origin, const std::function<void(DrawingContext&)>& draw) {
  QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    PainterContext context(painter, {0, 0, double(width), double(height)}, origin);
    draw(context);
  }
  return FromQImage(std::move(image));
}

bool Image::IsNull() const {
  return !impl_ || impl_->image.isNull();
}
int Image::width() const {
  return impl_ ? impl_->image.width() : 0;
}
int Image::height() const {
  return impl_ ? impl_->image.height() : 0;
}

std::uint32_t Image::Argb(int x, int y) const {
  if (!impl_ || !impl_->image.valid(x, y)) return 0;
  return qUnpremultiply(impl_->image.pixel(x, y));
}

Color Image::PixelAt(int x, int y) const {
  const std::uint32_t p = Argb(x, y);
  return Color::FromBytes(qRed(p), qGreen(p), qBlue(p), qAlpha(p));
}

bool Image::SavePng(const std::string& path) const {
  return impl_ && impl_->image.save(ToQString(path), "PNG");
}

Image Image::Slice(int x, int y, int width, int height) const {
  if (!impl_) return Image();
  return FromQImage(impl_->image.copy(x, y, width, height));
}

}  // namespace toolbox
