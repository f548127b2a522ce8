#pragma once
// A folder of the source list: the column layout and sort of one view and, for views that
// list downloads of their own (My Downloads, user folders, smart folders, date folders),
// the downloads it lists.
//
// A folder's items and each download's foldersContainedIn are two sides of one relation;
// AddElementToFolder and the removals keep them in step. The name is guarded by its own
// lock and the items by another, because the sharing server reads both from its tasks.

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/queue/folders/view_ids.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/services/folder_column_options.h"
#include "platform/values/value.h"

namespace queue {

// Folder flags.
inline constexpr std::uint32_t kFolderFlagShared = 1;
inline constexpr std::uint32_t kFolderFlagSmart = 8;

// Sort values that stand for the queue-order columns.
inline constexpr std::uint32_t kSortByQueueOrder = 10000;

class TRFolder;
using FolderRef = std::shared_ptr<TRFolder>;

class TRFolder {
 public:
  TRFolder() = default;
  virtual ~TRFolder();
  TRFolder(const TRFolder&) = delete;
  TRFolder& operator=(const TRFolder&) = delete;

  std::uint32_t hostID() const { return hostID_; }
  void setHostID(std::uint32_t id) { hostID_ = id; }
  ViewID uid() const { return uid_; }
  void setUid(ViewID id) { uid_ = id; }
  std::string name() const;
  void setName(std::string name);
  std::uint32_t flags() const { return flags_; }
  void setFlags(std::uint32_t flags) { flags_ = flags; }
  const FolderColumnOptions& options() const { return options_; }
  // True when the new layout equals the old one; stores it in every case.
  bool setOptions(const FolderColumnOptions& options);
  std::uint32_t sort() const { return sort_; }
  void setSort(std::uint32_t sort) { sort_ = sort; }
  std::uint16_t sortOrder() const { return sortOrder_; }
  void setSortOrder(std::uint16_t order) { sortOrder_ = order; }
  std::uint32_t lastFolder() const { return lastFolder_; }
  void setLastFolder(std::uint32_t value) { lastFolder_ = value; }
  const std::optional<values::Bytes>& folderAlias() const { return folderAlias_; }
  void setFolderAlias(std::optional<values::Bytes> alias) { folderAlias_ = std::move(alias); }

  // Whether the folder lists downloads of its own: a peer's folder, My Downloads, user,
  // smart and date folders.
  bool HasItems() const;
  // The items; only meaningful when HasItems(). Change and walk them under itemsLock().
  // Every use of the changeable list counts as a change, so that a save copies again
  // only the lists that may have changed (see savedItemUIDs).
  std::map<DownloadUID, WrapperRef>& items() {
    itemsChanged_.store(true, std::memory_order_relaxed);
    return items_;
  }
  const std::map<DownloadUID, WrapperRef>& items() const { return items_; }
  // The UIDs of the items as the queue file's last save copied them; null once the items
  // may have changed since. Under itemsLock().
  std::shared_ptr<const std::vector<DownloadUID>> savedItemUIDs() {
    if (itemsChanged_.exchange(false, std::memory_order_relaxed)) savedItemUIDs_.reset();
    return savedItemUIDs_;
  }
  void setSavedItemUIDs(std::shared_ptr<const std::vector<DownloadUID>> uids) {
    savedItemUIDs_ = std::move(uids);
  }
  std::mutex& itemsLock() { return itemsLock_; }
  // The downloads the folder lists now, as a copy to walk without holding a lock. Whoever
  // shows or counts a folder's downloads asks here, never the raw items(): a smart folder
  // first brings its member cache up to date, under gFoldersLock (the caller may hold it,
  // but not gQueueItemsLock alone). The items lock is taken here: the caller must not hold it.
  virtual std::map<DownloadUID, WrapperRef> Items();

  // True when one item's finished file still exists.
  bool containsFiles();

  // What the smart-folder layer stores for a smart folder, kept as read so that a smart
  // folder survives a save even where its rules cannot be evaluated.
  const std::optional<values::Value>& archivedPredicate() const { return archivedPredicate_; }
  void setArchivedPredicate(std::optional<values::Value> v) { archivedPredicate_ = std::move(v); }
  const std::optional<values::Bytes>& savedSearchAlias() const { return savedSearchAlias_; }
  void setSavedSearchAlias(std::optional<values::Bytes> v) { savedSearchAlias_ = std::move(v); }

  // "<TRFolder: %x: folder id %u name:%@"
  std::string description() const;

 private:
  std::uint32_t hostID_ = 0;
  ViewID uid_ = 0;
  mutable std::mutex nameLock_;
  std::string name_;
  std::uint32_t flags_ = 0;
  FolderColumnOptions options_;
  std::uint32_t sort_ = kSortByQueueOrder;
  std::uint16_t sortOrder_ = 1;
  std::uint32_t lastFolder_ = 0;
  std::map<DownloadUID, WrapperRef> items_;
  std::atomic<bool> itemsChanged_{true};
  std::shared_ptr<const std::vector<DownloadUID>> savedItemUIDs_;
  std::mutex itemsLock_;
  std::optional<values::Bytes> folderAlias_;
  std::optional<values::Value> archivedPredicate_;
  std::optional<values::Bytes> savedSearchAlias_;
};

}  // namespace queue
