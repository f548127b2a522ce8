#include "app/ui/toolbar/toolbar_icons.h"

#include <map>

#include "app/ui/views/resource_images.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/theme/icons.h"

namespace ui {

using toolbox::Color;
using toolbox::DrawingContext;
using values::FourCC;

namespace {

constexpr int kSide = 32;

// A rounded tile of one colour with a white sign on it.
toolbox::Image Tile(Color color, const char* sign) {
  return toolbox::Image::Render(kSide, kSide, toolbox::Origin::kTopLeft, [&](DrawingContext& ctx) {
    ctx.SetFillColor(color);
    ctx.BeginPath();
    ctx.AddRoundedRect({2, 2, kSide - 4, kSide - 4}, 7);
    ctx.FillPath();
    toolbox::TextStyle style;
    style.font.size = 17;
    style.font.bold = true;
    style.color = Color::White();
    style.alignment = toolbox::TextAlignment::kCenter;
    style.center_vertically = true;
    ctx.DrawText(sign, {0, 0, kSide, kSide}, style);
  });
}

struct Drawn {
  values::FourCharCode type;
  Color color;
  const char* sign;
};

}  // namespace

std::optional<toolbox::Image> GetToolbarIcon(values::FourCharCode type) {
  if (auto registered = GetIcon(kAppCreator, type)) return registered;
  static const Drawn kDrawn[] = {
      {FourCC("_TAd"), Color::FromBytes(60, 150, 70), "+"},
      {FourCC("_TEd"), Color::FromBytes(110, 110, 120), "\u270E"},
      {FourCC("_TSt"), Color::FromBytes(200, 60, 50), "\u25A0"},
      {FourCC("_TDF"), Color::FromBytes(70, 130, 200), "\u2193"},
      {FourCC("_Tsc"), Color::FromBytes(150, 100, 180), "\u25F7"},
      {FourCC("_TRm"), Color::FromBytes(170, 60, 60), "\u2212"},
      {FourCC("fldr"), Color::FromBytes(90, 150, 220), "\u2717"},
      {FourCC("_TCI"), Color::FromBytes(130, 130, 130), "\u2715"},
      {FourCC("_TDo"), Color::FromBytes(50, 150, 80), "\u25B6"},
      {FourCC("RSIc"), Color::FromBytes(220, 120, 40), "\u2191"},
      {FourCC("_Tup"), Color::FromBytes(60, 120, 190), "\u2191"},
      {FourCC("_TLo"), Color::FromBytes(90, 90, 100), "\u2261"},
      {FourCC("_TaF"), Color::FromBytes(40, 130, 150), "\u21E9"},
      {FourCC("_TRv"), Color::FromBytes(80, 110, 160), "\u2315"},
  };
  static std::map<values::FourCharCode, toolbox::Image> cache;
  if (auto it = cache.find(type); it != cache.end()) return it->second;
  for (const Drawn& d : kDrawn) {
    if (d.type != type) continue;
    toolbox::Image image = Tile(d.color, d.sign);
    toolbox::RegisterIcon(kAppCreator, type, image);
    cache[type] = image;
    return image;
  }
  return std::nullopt;
}

}  // namespace ui
