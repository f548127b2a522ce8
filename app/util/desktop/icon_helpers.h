#pragma once
// Icons by file-name extension, kept in a cache for the program's life (one look-up per
// extension), the application's own icons, and drawing an icon into a flipped context.

#include <cstdint>
#include <optional>
#include <string>

#include "app/ui/services/ui_services.h"

namespace util {

// The icon for the name's extension (the text after the last "."): "archive.tar.gz"
// asks for "gz". A name without "." asks for the icon of no extension, which is not
// cached. `out` is null on failure.
ui::OSStatus GetIconRefForFileName(const std::string& name, ui::IconRef* out);

// Registers the application's icon resource `resource_name` under (creator, type);
// kFileNotFoundErr and a null `out` when the resource is missing.
ui::OSStatus RegisterBundleIcon(values::FourCharCode creator, values::FourCharCode type,
                                const std::string& resource_name, ui::IconRef* out);

// Plots the icon into `rect` of a context whose y axis runs downwards (the custom
// views'), flipping it about the rectangle so the icon stands upright. kNoErr without
// drawing when there is no icon.
ui::OSStatus DrawIconRefInRect(ui::CGContextRef context, const util::CGRect& rect, std::int16_t alignment,
                               std::int16_t transform, const std::optional<ui::RGBColor>& label_colour,
                               std::uint32_t flags, const ui::IconRef& icon);

}  // namespace util
