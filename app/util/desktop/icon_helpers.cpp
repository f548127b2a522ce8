#include "app/util/desktop/icon_helpers.h"

#include <map>

namespace util {

ui::OSStatus GetIconRefForFileName(const std::string& name, ui::IconRef* out) {
  // Main thread only; lives as long as the program.
  static std::map<std::string, ui::IconRef> cache;
  *out = nullptr;
  const std::size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string::npos;
  const std::string extension = has_extension ? name.substr(dot + 1) : std::string();
  if (has_extension) {
    auto it = cache.find(extension);
    if (it != cache.end()) {
      *out = it->second;
      return ui::kNoErr;
    }
  }
  ui::IconRef icon;
  const ui::OSStatus status = ui::UiServicesSlot::Get().GetIconForExtension(extension, &icon);
  if (status == ui::kNoErr && icon) {
    if (has_extension) cache.emplace(extension, icon);
    *out = std::move(icon);
  }
  return status;
}

ui::OSStatus RegisterBundleIcon(values::FourCharCode creator, values::FourCharCode type,
                                const std::string& resource_name, ui::IconRef* out) {
  *out = ui::UiServicesSlot::Get().RegisterIconResource(creator, type, resource_name);
  return *out ? ui::kNoErr : ui::kFileNotFoundErr;
}

ui::OSStatus DrawIconRefInRect(ui::CGContextRef context, const util::CGRect& rect, std::int16_t alignment,
                               std::int16_t transform, const std::optional<ui::RGBColor>& label_colour,
                               std::uint32_t flags, const ui::IconRef& icon) {
  if (!icon) return ui::kNoErr;
  ui::UiServices& services = ui::UiServicesSlot::Get();
  services.SaveGraphicsState(context);
  // Mirror about the rectangle's horizontal centre line: y -> (y + maxY) - y.
  services.TranslateContext(context, 0, rect.y + (rect.y + rect.height));
  services.ScaleContext(context, 1, -1);
  const ui::OSStatus status =
      services.PlotIcon(context, rect, alignment, transform, label_colour, flags, *icon);
  services.RestoreGraphicsState(context);
  return status;
}

}  // namespace util
