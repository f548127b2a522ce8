#pragma once
// Icons. The application's own icons are PNG files in its resource folder, registered
// under (creator, type) codes and looked up by them; file icons come from the desktop's
// icon theme by the file's type (its extension), with a plain document icon drawn by
// the layer when the theme has none, so a list never shows an empty cell.

#include <optional>
#include <string>

#include "platform/toolbox/drawing/image.h"
#include "platform/values/fourcc.h"

namespace toolbox {

// The folder of the application's resources: $TRUVANE_RESOURCES when set, else
// "share/truvane" beside the program's folder.
std::string ResourceFolder();
void SetResourceFolder(std::string folder);
// The path of a resource file in it (a name with its extension).
std::string ResourcePath(const std::string& name);

// Registers the PNG `<resource folder>/<resource_name>.png` (or an absolute path ending
// in ".png") under (creator, type); nothing when the file cannot be read.
std::optional<Image> RegisterIconResource(values::FourCharCode creator, values::FourCharCode type,
                                          const std::string& resource_name);
void RegisterIcon(values::FourCharCode creator, values::FourCharCode type, Image image);
std::optional<Image> FindIcon(values::FourCharCode creator, values::FourCharCode type);

// The icon for files with this extension ("zip", "" for a file without one), `size`
// pixels square. Folders: IconForFolder.
Image IconForFileExtension(const std::string& extension, int size = 32);
Image IconForFolder(int size = 32);

}  // namespace toolbox
