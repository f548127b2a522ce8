#pragma once
// Two ways of walking a folder tree.
//
// IterateFolderTree calls a filter for every item, depth first, a folder before its
// contents, down to a maximum level (level 1 = the container's own items; 0 = no limit).
// The filter returns true to stop the whole walk. Folders that cannot be read are skipped.
//
// A FolderWalker hands out one item at a time over the whole tree, breadth first by folder:
// it reads a folder in batches of 16 and pushes each subfolder it hands out on a stack; when
// the folder is exhausted it continues with the folder on top of the stack. So every item of
// a folder comes out before any item of its subfolders, and the subfolder pushed last is
// read first. The container itself is not listed. After the end (errFSNoMoreItems) it keeps
// answering the same. A subfolder that cannot be opened is reported once, by the call that
// reaches it, and the next call carries on with the rest of the tree.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/util/files/item_catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/files/folder_iterator.h"
#include "platform/files/os_error.h"

// (container changed since its level was opened, level, item's catalog information, item,
// name or null) -> true to stop the walk.
using IterateFilter =
    std::function<bool(bool container_changed, std::uint32_t level, const ItemCatalogInfo& info,
                       const files::FileRef& item, const std::string* name)>;

// paramErr without a filter. The result is the last error kept (0 for a walk that ended or
// was stopped normally).
files::OSErr IterateFolderTree(const files::FileRef& container, std::uint32_t max_levels,
                               CatalogInfoBitmap which, bool want_name, const IterateFilter& filter);

inline constexpr std::size_t kFolderWalkerBatch = 16;

class FolderWalker {
 public:
  FolderWalker(files::FolderIterator iterator, CatalogInfoBitmap which, bool want_names);

  files::OSErr Next(files::FileRef* ref, ItemCatalogInfo* info, std::string* name);
  std::size_t stack_capacity() const { return stack_capacity_; }

 private:
  void Push(const files::FileRef& folder);
  files::FileRef Pop();
  // Fills the batch from the current folder, moving on to stacked folders as they run out.
  files::OSErr Refill();

  files::FolderIterator iterator_;
  CatalogInfoBitmap which_;
  bool want_names_;
  std::vector<files::FolderEntry> batch_;
  std::vector<ItemCatalogInfo> infos_;
  std::size_t next_ = 0;
  // The stack keeps an explicit capacity: it grows to twice plus one when full and is halved
  // when the depth falls below half, so a deep walk gives its memory back as it climbs out.
  std::vector<files::FileRef> stack_;
  std::size_t stack_capacity_ = 0;
  bool finished_ = false;
};

// On failure nothing is allocated and `walker` is null. Node flags are always read.
files::OSErr OpenFolderWalker(const files::FileRef& folder, CatalogInfoBitmap which,
                              std::unique_ptr<FolderWalker>* walker, bool want_names);
// -1417 (errFSNoMoreItems) at the end. Out-parameters may be null.
files::OSErr NextFolderWalkerItem(FolderWalker* walker, files::FileRef* ref, ItemCatalogInfo* info,
                                  std::string* name);
void CloseFolderWalker(std::unique_ptr<FolderWalker> walker);
