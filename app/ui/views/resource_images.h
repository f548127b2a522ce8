#pragma once
// The images of the main window's custom views and its icons.
//
// A view's image is a PNG resource looked up by name: a file "<name>.png" in the resource
// folder wins (so a theme can replace any of them); otherwise the program's own drawing of
// that name is used. The icons of the source list, the small buttons and the grip are
// registered under the application's creator 'Truv' (and the desktop's 'macs' for the
// computer, disk and server icons) the same way, once, by RegisterWindowIcons.

#include <optional>
#include <string>

#include "platform/toolbox/drawing/image.h"
#include "platform/values/fourcc.h"

namespace ui {

// The image of that resource name, nothing when neither a file nor a drawing of that name
// exists or the file does not decode.
std::optional<toolbox::Image> CreateImageFromResource(const std::string& name);

// Registers every icon the main window uses (a PNG of the icon's name in the resource
// folder when there is one). Safe to call more than once.
void RegisterWindowIcons();

// The registered icon, nothing when none is registered under (creator, type); the
// window's icons are registered on first use.
std::optional<toolbox::Image> GetIcon(values::FourCharCode creator, values::FourCharCode type);

inline constexpr values::FourCharCode kSystemCreator = values::FourCC("macs");
inline constexpr values::FourCharCode kAppCreator = values::FourCC("Truv");
// 'ƒ' is 0xC4, '£' 0xA3 in Mac Roman.
inline constexpr values::FourCharCode kIconSharedFolder = values::FourCCFromBytes('S', 0xC4, 'o', 'l');
inline constexpr values::FourCharCode kIconSmartFolder = values::FourCCFromBytes('S', 'm', 0xC4, 'o');
inline constexpr values::FourCharCode kIconFolder = values::FourCCFromBytes(0xC4, 'o', 'l', 'D');
inline constexpr values::FourCharCode kIconAction = values::FourCCFromBytes('A', 'c', 't', 0xA3);

}  // namespace ui
