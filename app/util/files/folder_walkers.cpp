#include "app/util/files/folder_walkers.h"

#include <utility>

using files::FileRef;
using files::OSErr;

namespace {

struct TreeIteration {
  std::uint32_t max_levels;
  CatalogInfoBitmap which;
  bool want_name;
  const IterateFilter& filter;
  OSErr result = files::noErr;
  bool quit = false;

  void Level(const FileRef& folder, std::uint32_t level) {
    if (max_levels != 0 && level >= max_levels) return;
    auto iterator = files::FolderIterator::Open(folder);
    if (!iterator.ok()) {
      result = iterator.code();
    } else {
      ++level;
      std::vector<files::FolderEntry> entry;
      while (result == files::noErr && !quit) {
        entry.clear();
        const files::Status s = iterator->ReadBulk(1, entry);
        if (!s.ok()) {
          result = s.code();
          break;
        }
        const files::FolderEntry& item = entry.front();
        const ItemCatalogInfo info = MakeItemCatalogInfo(item.ref, item.info, which);
        quit = filter(iterator->ContainerChanged(), level, info, item.ref, want_name ? &item.name : nullptr);
        if (!quit && item.info.IsFolder()) Level(item.ref, level);
      }
    }
    // The end of a folder, and a folder that may not be read, end the level without error.
    if (result == files::errFSNoMoreItems || result == files::afpAccessDenied) result = files::noErr;
  }
};

}  // namespace

OSErr IterateFolderTree(const FileRef& container, std::uint32_t max_levels, CatalogInfoBitmap which,
                        bool want_name, const IterateFilter& filter) {
  if (!filter) return files::paramErr;
  TreeIteration walk{max_levels, which | kCatInfoNodeFlags, want_name, filter};
  walk.Level(container, 0);
  return walk.result;
}

FolderWalker::FolderWalker(files::FolderIterator iterator, CatalogInfoBitmap which, bool want_names)
    : iterator_(std::move(iterator)), which_(which | kCatInfoNodeFlags), want_names_(want_names) {
  batch_.reserve(kFolderWalkerBatch);
  infos_.reserve(kFolderWalkerBatch);
}

void FolderWalker::Push(const FileRef& folder) {
  if (stack_.size() == stack_capacity_) {
    stack_capacity_ = stack_capacity_ * 2 + 1;
    stack_.reserve(stack_capacity_);
  }
  stack_.push_back(folder);
}

FileRef FolderWalker::Pop() {
  FileRef top = std::move(stack_.back());
  stack_.pop_back();
  if (stack_.size() < stack_capacity_ / 2) {
    stack_capacity_ /= 2;
    std::vector<FileRef> smaller;
    smaller.reserve(stack_capacity_);
    for (auto& f : stack_) smaller.push_back(std::move(f));
    stack_ = std::move(smaller);
  }
  return top;
}

OSErr FolderWalker::Refill() {
  batch_.clear();
  infos_.clear();
  next_ = 0;
  for (;;) {
    const files::Status s = iterator_.ReadBulk(kFolderWalkerBatch, batch_);
    if (s.ok()) break;
    if (s.code() != files::errFSNoMoreItems) return s.code();
    if (stack_.empty()) {
      finished_ = true;
      iterator_ = files::FolderIterator();
      return files::errFSNoMoreItems;
    }
    auto opened = files::FolderIterator::Open(Pop());
    if (!opened.ok()) return opened.code();
    iterator_ = std::move(*opened);
  }
  for (const files::FolderEntry& entry : batch_)
    infos_.push_back(MakeItemCatalogInfo(entry.ref, entry.info, which_));
  return files::noErr;
}

OSErr FolderWalker::Next(FileRef* ref, ItemCatalogInfo* info, std::string* name) {
  if (finished_) return files::errFSNoMoreItems;
  if (next_ >= batch_.size()) {
    if (OSErr err = Refill(); err != files::noErr) return err;
  }
  const files::FolderEntry& entry = batch_[next_];
  if (ref) *ref = entry.ref;
  if (info) *info = infos_[next_];
  if (name) *name = want_names_ ? entry.name : std::string();
  // Only real folders are entered: following links could walk in circles.
  if (entry.info.IsFolder()) Push(entry.ref);
  ++next_;
  return files::noErr;
}

OSErr OpenFolderWalker(const FileRef& folder, CatalogInfoBitmap which, std::unique_ptr<FolderWalker>* walker,
                       bool want_names) {
  if (!walker) return files::paramErr;
  walker->reset();
  auto iterator = files::FolderIterator::Open(folder);
  if (!iterator.ok()) return iterator.code();
  *walker = std::make_unique<FolderWalker>(std::move(*iterator), which, want_names);
  return files::noErr;
}

OSErr NextFolderWalkerItem(FolderWalker* walker, FileRef* ref, ItemCatalogInfo* info, std::string* name) {
  if (!walker) return files::paramErr;
  return walker->Next(ref, info, name);
}

void CloseFolderWalker(std::unique_ptr<FolderWalker> walker) {
  walker.reset();
}
