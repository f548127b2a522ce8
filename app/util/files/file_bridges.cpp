#include "app/util/files/file_bridges.h"

#include <sys/stat.h>

#include "platform/desktop/workspace.h"
#include "platform/files/create_items.h"
#include "platform/files/file_ref.h"
#include "platform/files/tree_ops.h"

namespace util {

bool WorkspaceCopyItem(const std::string& item_path, const std::string& destination_folder) {
  return desktop::WorkspaceSlot::Get().CopyItem(item_path, destination_folder);
}

bool DeleteItemOrMoveToTrash(const std::string& item_path) {
  const files::FileRef item(item_path);
  if (item.empty()) return false;
  if (files::DeleteTree(item).ok()) return true;
  return desktop::WorkspaceSlot::Get().RecycleItems(item.Parent().Path(), {item.Name()});
}

void MoveItemsToTrash(const std::vector<std::string>& item_paths) {
  if (item_paths.empty()) return;
  const files::FileRef first(item_paths.front());
  const files::FileRef batch_folder = first.Parent();
  std::vector<std::string> batch{first.Name()};
  for (std::size_t i = 1; i < item_paths.size(); ++i) {
    const files::FileRef item(item_paths[i]);
    if (item.Parent() == batch_folder) {
      batch.push_back(item.Name());
    } else {
      desktop::WorkspaceSlot::Get().RecycleItems(item.Parent().Path(), {item.Name()});
    }
  }
  desktop::WorkspaceSlot::Get().RecycleItems(batch_folder.Path(), batch);
}

bool CreateDirectoryAtPath(const std::string& path) {
  const files::FileRef folder(path);
  if (folder.empty()) return false;
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (folder.IsRoot()) return false;  // nothing left to strip
  if (!CreateDirectoryAtPath(folder.Parent().Path())) return false;
  const files::Status status = files::CreateFolder(folder);
  // Someone else may have made it in the meantime; a folder is what was asked for.
  return status.ok() || (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

bool CreateDirectoryForURL(const values::Url& url) {
  std::optional<std::string> path = values::PathFromFileUrl(url);
  return path && CreateDirectoryAtPath(*path);
}

}  // namespace util
