#pragma once
// The file types the plug-in takes over, as its type resource file holds them: `STR#` 128
// has two strings per type (the MIME type, then its extensions joined by ",", without
// dots), `STR#` 127 one description per type, in the same order. The application writes
// the file; browsers read it to know which downloads to give the plug-in.

#include <optional>
#include <string>
#include <vector>

namespace browserplugin {

struct PluginType {
  std::string mimeType;
  std::vector<std::string> extensions;
  std::string description;
};

inline constexpr char kPluginBundleName[] = "Truvane Browser Plugin.plugin";
inline constexpr char kPluginResourceFileName[] = "Truvane Browser Plugin.rsrc";

// No value when the file is missing or malformed; a missing description is empty.
std::optional<std::vector<PluginType>> ReadPluginTypes(const std::string& resourcePath);
bool WritePluginTypes(const std::string& resourcePath, const std::vector<PluginType>& types);

// The user's Internet Plug-Ins folder ($XDG_DATA_HOME/Truvane/Internet Plug-Ins) and the
// paths inside the installed bundle.
std::string InternetPlugInsFolder();
std::string InstalledBundlePath();
std::string BundleResourceFilePath(const std::string& bundlePath);
std::string BundleLibraryPath(const std::string& bundlePath);
inline constexpr char kPluginLibraryName[] = "libtruvane_browser_plugin.so";

}  // namespace browserplugin
