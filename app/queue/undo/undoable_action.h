#pragma once
// One undoable edit: the object it concerns, the kind of edit (UndoActionType) and an info
// dictionary with what the inverse needs. undo() performs the inverse through the ordinary
// operations of the object's owner, whose own registrations become the redo (see
// truvane_undo.h).
//
// Downloads, folders and the objects of the other subsystems (uploads, favourites,
// received files, opaque handles of theirs) are all held as the action's object; the type
// says which it is.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/queue/folders/tr_folder.h"
#include "app/queue/undo/truvane_undo.h"
#include "platform/values/value.h"

namespace queue {

enum UndoActionType : std::int32_t {
  kUndoRemoveFromFolder = 1,  // a download was added to a folder
  kUndoDownloadRemoved = 2,
  kUndoDownloadAdded = 3,
  kUndoFolderRenamed = 4,
  kUndoFolderRemoved = 5,
  kUndoDownloadStopped = 6,
  kUndoDownloadStarted = 7,
  kUndoFolderAdded = 8,
  kUndoUploadRemoved = 9,
  kUndoFavouriteAdded = 10,
  kUndoFavouriteRemoved = 11,
  kUndoDownloadFilesMoved = 12,
  kUndoReceivedFileRemoved = 13,
  kUndoReceivedFileReadded = 14,
};

// Info dictionary keys.
inline constexpr const char kUndoFolderIDKey[] = "folder id";
inline constexpr const char kUndoFoldersKey[] = "folders";
inline constexpr const char kUndoWouldDeleteKey[] = "would delete";
inline constexpr const char kUndoLastLocationKey[] = "last location";
inline constexpr const char kUndoLastPartialKey[] = "last partial";
inline constexpr const char kUndoOldNameKey[] = "old name";
inline constexpr const char kUndoItemsDeletedKey[] = "items deleted";
inline constexpr const char kUndoShouldTrashKey[] = "undo should trash";
inline constexpr const char kUndoOldIndexKey[] = "old index";
inline constexpr const char kUndoConnectionIdentifierKey[] = "connectionIdentifier";
// The queue place of a Queued download that left My Downloads but stayed in the queue
// (going On Hold); undoing puts it back there.
inline constexpr const char kUndoQueuePositionKey[] = "queue position";
// "old index" of an upload that was not waiting.
inline constexpr std::uint32_t kUndoNotWaiting = 0x7fffffff;

class TruvaneUndoableAction {
 public:
  TruvaneUndoableAction(std::shared_ptr<void> object, UndoActionType type, values::Dictionary info)
      : object_(std::move(object)), type_(type), info_(std::move(info)) {}

  const std::shared_ptr<void>& object() const { return object_; }
  UndoActionType actionType() const { return type_; }
  const values::Dictionary& infoDictionary() const { return info_; }

  // The object as a download (types 1, 2, 3, 6, 7, 12) or a folder (4, 5, 8).
  WrapperRef wrapper() const;
  FolderRef folder() const;

  // Performs the inverse.
  void undo() const;

 private:
  std::shared_ptr<void> object_;
  UndoActionType type_;
  values::Dictionary info_;
};

// Registration, one function per type; each does nothing while registration is disabled.
void RegisterUndoRemoveFromFolder(const WrapperRef& wrapper, ViewID folder);
void RegisterUndoDownloadRemoved(const WrapperRef& wrapper, const std::set<ViewID>& folders,
                                 bool wouldDelete);
void RegisterUndoDownloadAdded(const WrapperRef& wrapper);
void RegisterUndoFolderRenamed(const FolderRef& folder, const std::string& oldName);
void RegisterUndoFolderRemoved(const FolderRef& folder, bool itemsDeleted);
void RegisterUndoDownloadStopped(const WrapperRef& wrapper);
void RegisterUndoDownloadStarted(const WrapperRef& wrapper);
void RegisterUndoFolderAdded(const FolderRef& folder, bool undoShouldTrash);
// `oldIndex`: the upload's place in the waiting order, kUndoNotWaiting when it was not
// waiting; `fileMoved`: its file was moved (to the Trash) with it.
void RegisterUndoUploadRemoved(const std::shared_ptr<void>& upload, std::uint32_t oldIndex, bool fileMoved);
void RegisterUndoFavouriteAdded(const std::shared_ptr<void>& favourite);
void RegisterUndoFavouriteRemoved(const std::shared_ptr<void>& favourite);
void RegisterUndoDownloadFilesMoved(const WrapperRef& wrapper);
void RegisterUndoReceivedFileRemoved(const std::shared_ptr<void>& file);
void RegisterUndoReceivedFileReadded(const std::shared_ptr<void>& file);

// The downloads that one download command of the remote browser adds, registered as one
// step when the grouping ends: each still Queued one becomes undoable as added, and the
// step is named by `title` (a format with one %d) with their count. None queued: no step.
class DownloadUndoGrouping {
 public:
  explicit DownloadUndoGrouping(std::string title);
  ~DownloadUndoGrouping();
  DownloadUndoGrouping(const DownloadUndoGrouping&) = delete;
  DownloadUndoGrouping& operator=(const DownloadUndoGrouping&) = delete;

  void addDownload(WrapperRef wrapper) { items_.push_back(std::move(wrapper)); }
  const std::vector<WrapperRef>& items() const { return items_; }
  const std::string& title() const { return title_; }
  // The batch id of the grouped downloads.
  const std::string& uuid() const { return uuid_; }

 private:
  std::vector<WrapperRef> items_;
  std::string title_;
  std::string uuid_;
};

}  // namespace queue
