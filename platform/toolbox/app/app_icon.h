#pragma once
// The application's own icon: every window's icon (the window manager's title bar and task
// switcher show it) and the name under which the desktop finds the program's .desktop file.

#include <string>

#include "platform/toolbox/drawing/image.h"

namespace toolbox {

// `desktop_file` is the .desktop file's name without its extension ("truvane").
void SetApplicationIcon(const Image& icon, const std::string& desktop_file);
// The icon set, null before.
Image ApplicationIcon();

}  // namespace toolbox
