#include "platform/desktop/workspace.h"

#include <cstdlib>

#include "platform/desktop/process_launcher.h"
#include "platform/files/file_ref.h"
#include "platform/files/trash.h"
#include "platform/files/tree_ops.h"

namespace desktop {

LinuxWorkspace::LinuxWorkspace(CommandRunner runner) : runner_(std::move(runner)) {
  if (!runner_) runner_ = [](const std::vector<std::string>& argv) { return LaunchDetached(argv); };
}

bool LinuxWorkspace::OpenURL(const std::string& url) {
  return !url.empty() && runner_({"xdg-open", url});
}

bool LinuxWorkspace::OpenFile(const std::string& path) {
  return !path.empty() && runner_({"xdg-open", files::FileRef(path).Path()});
}

bool LinuxWorkspace::HasDisplay() const {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

bool LinuxWorkspace::ComposeMail(const std::string& mailto_url) {
  // xdg-email takes the whole URL as one argument and reads address, subject and body
  // from it; anything else would be taken for an address.
  if (mailto_url.rfind("mailto:", 0) != 0) return false;
  return runner_({"xdg-email", mailto_url});
}

bool LinuxWorkspace::RevealItem(const std::string& path) {
  if (path.empty()) return false;
  return runner_({"xdg-open", files::FileRef(path).Parent().Path()});
}

bool LinuxWorkspace::CopyItem(const std::string& path, const std::string& destination_folder) {
  const files::FileRef from(path);
  if (from.empty() || destination_folder.empty()) return false;
  return files::CopyTree(from, files::FileRef(destination_folder).Child(from.Name())).ok();
}

bool LinuxWorkspace::RecycleItems(const std::string& folder, const std::vector<std::string>& names) {
  const files::FileRef parent(folder);
  bool all = true;
  for (const std::string& name : names) {
    if (!files::MoveToTrash(parent.Child(name)).ok()) all = false;
  }
  return all;
}

}  // namespace desktop
