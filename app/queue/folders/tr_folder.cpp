#include "app/queue/folders/tr_folder.h"

#include <cstdio>

#include "app/queue/record/download_files.h"

namespace queue {

// Undo actions hold their folders, so none is left aiming at one that goes away.
TRFolder::~TRFolder() = default;

std::string TRFolder::name() const {
  std::lock_guard lock(nameLock_);
  return name_;
}

void TRFolder::setName(std::string name) {
  std::lock_guard lock(nameLock_);
  name_ = std::move(name);
}

bool TRFolder::setOptions(const FolderColumnOptions& options) {
  const bool same = options == options_;
  options_ = options;
  return same;
}

bool TRFolder::HasItems() const {
  return hostID_ != 0 || uid_ == kMyDownloadsViewID || IsUserFolderID(uid_) || IsSmartFolderID(uid_) ||
         IsDateFolderID(uid_);
}

std::map<DownloadUID, WrapperRef> TRFolder::Items() {
  std::lock_guard lock(itemsLock_);
  return items_;
}

bool TRFolder::containsFiles() {
  for (auto& [uid, wrapper] : Items()) {
    if (DownloadQueueElementGetCompleteURL(wrapper->element())) return true;
  }
  return false;
}

std::string TRFolder::description() const {
  char head[64];
  std::snprintf(head, sizeof head,
                "<TRFolder: %lx: folder id %u name:", reinterpret_cast<unsigned long>(this), uid_);
  return head + name();
}

}  // namespace queue
