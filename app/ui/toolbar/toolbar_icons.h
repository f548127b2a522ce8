#pragma once
// The toolbar's icons, by their type under the application's creator: a PNG of the type's
// name in the resource folder when there is one, else the program's own drawing.

#include <optional>

#include "platform/toolbox/drawing/image.h"
#include "platform/values/fourcc.h"

namespace ui {

std::optional<toolbox::Image> GetToolbarIcon(values::FourCharCode type);

}  // namespace ui
