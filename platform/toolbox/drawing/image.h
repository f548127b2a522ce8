#pragma once
// Images: immutable bitmaps with alpha, shared by copy (like the platform's image
// references: a cache, a menu item and a view may all hold the same one). Loaded from
// PNG files, made by drawing into a bitmap context, saved as PNG (screenshots).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/toolbox/drawing/geometry.h"

namespace toolbox {

class DrawingContext;

// Where a context's origin is: top-left with y down (views, windows) or bottom-left
// with y up (the platform's bitmap contexts, the Dock tile).
enum class Origin { kTopLeft, kBottomLeft };

class Image {
 public:
  Image();  // the null image
  ~Image();
  Image(const Image&);
  Image& operator=(const Image&);

  static std::optional<Image> LoadPng(const std::string& path);
  // A transparent bitmap of that size, drawn on by `draw`.
  static Image Render(int width, int height, Origin origin, const std::function<void(DrawingContext&)>& draw);

  bool IsNull() const;
  int width() const;
  int height() const;
  // Straight (not premultiplied) colour of a pixel, rows from the top; clear outside.
  Color PixelAt(int x, int y) const;
  // The pixel as 0xAARRGGBB.
  std::uint32_t Argb(int x, int y) const;
  bool SavePng(const std::string& path) const;
  // A part of the image (image slicing), in pixels from the top-left.
  Image Slice(int x, int y, int width, int height) const;

  struct Impl;
  explicit Image(std::shared_ptr<const Impl> impl);
  const Impl* impl() const { return impl_.get(); }

 private:
  std::shared_ptr<const Impl> impl_;
};

}  // namespace toolbox
