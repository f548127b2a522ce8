#include "app/util/files/folder_tree_size.h"

#include "app/util/files/folder_walkers.h"

namespace util {

files::OSErr GetFolderTreeSize(const files::FileRef& folder, std::uint64_t* bytes) {
  std::unique_ptr<FolderWalker> walker;
  files::OSErr err = OpenFolderWalker(folder, kCatInfoNodeFlags | kCatInfoDataSizes, &walker, false);
  if (err != files::noErr) return err;
  std::uint64_t total = 0;
  ItemCatalogInfo info;
  while ((err = NextFolderWalkerItem(walker.get(), nullptr, &info, nullptr)) == files::noErr) {
    if (!info.IsFolder()) total += info.data_logical_size;
  }
  CloseFolderWalker(std::move(walker));
  if (err != files::errFSNoMoreItems) return err;
  *bytes = total;
  return files::noErr;
}

}  // namespace util
