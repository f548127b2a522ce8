#pragma once
// The desktop's programs for a file, as the "Open With" menus list them: the application
// entries (freedesktop .desktop files) under $XDG_DATA_HOME and $XDG_DATA_DIRS that name the
// file's MIME type, the user's default for that type (mimeapps.list) first, and the way to
// start one of them on the file.
//
// Entry files are outside input: each is read only up to kMaxDesktopEntryBytes, and at
// most kMaxDesktopEntries of them are looked at.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toolbox {

inline constexpr std::size_t kMaxDesktopEntryBytes = 64 * 1024;
inline constexpr std::size_t kMaxDesktopEntries = 4000;

struct DesktopApplication {
  std::string id;    // the entry's file name, "org.example.Viewer.desktop"
  std::string name;  // Name=
  std::string exec;  // Exec=
  std::string icon;  // Icon=
  std::vector<std::string> mime_types;
};

// The application entry in a .desktop file's text; nothing when the text is not a shown
// application that can be started.
std::optional<DesktopApplication> ParseDesktopEntry(std::string_view text, std::string id);

// The programs for a file: the default first when there is one, the rest by name (case
// blind). `has_default` tells whether the first is the default.
struct ApplicationsForFile {
  std::vector<DesktopApplication> applications;
  bool has_default = false;
};
ApplicationsForFile CopyApplicationsForFile(const std::string& path);

// The program and arguments that start `app` on the file (its Exec line with the field
// codes filled); empty when the line cannot be used.
std::vector<std::string> LaunchArguments(const DesktopApplication& app, const std::string& path);

// Starts `app` on the file without waiting; false when it cannot start. Tests install a
// recorder with SetApplicationLauncher (an empty function restores the real one).
bool OpenFileWithApplication(const DesktopApplication& app, const std::string& path);
using ApplicationLauncher = std::function<bool(const std::vector<std::string>& argv)>;
ApplicationLauncher SetApplicationLauncher(ApplicationLauncher launcher);

}  // namespace toolbox
