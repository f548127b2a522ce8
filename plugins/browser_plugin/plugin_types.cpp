#include "plugins/browser_plugin/plugin_types.h"

#include "platform/files/resource_file.h"
#include "platform/files/standard_folders.h"

namespace browserplugin {
namespace {

constexpr std::int16_t kTypesListID = 128;
constexpr std::int16_t kDescriptionsListID = 127;

std::vector<std::string> SplitExtensions(const std::string& joined) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= joined.size()) {
    const std::size_t comma = joined.find(',', start);
    const std::string one =
        joined.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!one.empty()) out.push_back(one);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

}  // namespace

std::optional<std::vector<PluginType>> ReadPluginTypes(const std::string& resourcePath) {
  const auto resources = files::ReadResourceFile(resourcePath);
  if (!resources) return std::nullopt;
  const files::Resource* types = files::FindResource(*resources, files::kStringListType, kTypesListID);
  if (!types) return std::nullopt;
  const auto strings = files::ParseStringList(types->data);
  if (!strings) return std::nullopt;
  std::vector<std::string> descriptions;
  if (const files::Resource* d =
          files::FindResource(*resources, files::kStringListType, kDescriptionsListID)) {
    descriptions = files::ParseStringList(d->data).value_or(std::vector<std::string>{});
  }
  std::vector<PluginType> out;
  for (std::size_t i = 0; i + 1 < strings->size(); i += 2) {
    PluginType t;
    t.mimeType = (*strings)[i];
    t.extensions = SplitExtensions((*strings)[i + 1]);
    if (i / 2 < descriptions.size()) t.description = descriptions[i / 2];
    out.push_back(std::move(t));
  }
  return out;
}

bool WritePluginTypes(const std::string& resourcePath, const std::vector<PluginType>& types) {
  std::vector<std::string> strings, descriptions;
  for (const PluginType& t : types) {
    std::string joined;
    for (const std::string& e : t.extensions) joined += (joined.empty() ? "" : ",") + e;
    strings.push_back(t.mimeType);
    strings.push_back(joined);
    descriptions.push_back(t.description);
  }
  return files::WriteResourceFile(
      resourcePath, {{files::kStringListType, kTypesListID, files::BuildStringList(strings)},
                     {files::kStringListType, kDescriptionsListID, files::BuildStringList(descriptions)}});
}

std::string InternetPlugInsFolder() {
  return files::StandardFolderRef(files::StandardFolder::kApplicationSupport)
      .Child("Internet Plug-Ins")
      .Path();
}

std::string InstalledBundlePath() {
  return InternetPlugInsFolder() + "/" + kPluginBundleName;
}

std::string BundleResourceFilePath(const std::string& bundlePath) {
  return bundlePath + "/Contents/Resources/" + kPluginResourceFileName;
}

std::string BundleLibraryPath(const std::string& bundlePath) {
  return bundlePath + "/Contents/Linux/" + kPluginLibraryName;
}

}  // namespace browserplugin
