#pragma once
// Smart folders: folders whose downloads are computed by a rule (search_predicate.h)
// instead of chosen by the user.
//
// Membership is cached per folder (the inherited items map) and kept current
// incrementally. Every change of a download's searchable attributes is noted with its
// DownloadAttributeChangeBits in a pending-change table (NoteElementChanged); once a
// second the shell's timer flushes it (FlushSmartFolderChanges): each pending download is
// re-checked only against the smart folders whose rule reads one of the changed
// attributes. So one changed download costs one evaluation per interested folder, not a
// walk of the queue.
//
// A cache is filled on the first items() after creation, a rule change or - for rules on
// dates - a change of the local day (TRDateNotifier).
//
// The four date folders (200-203) and the six type folders (0x400001-0x400006) are built
// in; user smart folders come from the rule editor. Main thread only, but the cache has
// its own recursive lock because the sharing server reads folders from its tasks.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/queue/folders/tr_folder.h"
#include "app/queue/smartfolders/search_predicate.h"
#include "platform/runtime/subscription.h"

namespace queue {

class TRSmartFolder;
using SmartFolderRef = std::shared_ptr<TRSmartFolder>;

// The smart-folder columns, widths and sort.
FolderColumnOptions SmartFolderColumnOptions();

class TRSmartFolder : public TRFolder {
 public:
  explicit TRSmartFolder(PredicateRef predicate);
  ~TRSmartFolder() override;

  // The members, refreshed: a complete cache drops downloads that left the queue; an
  // incomplete one is recomputed. Returns a copy (the cache may change at the next flush).
  // The cache's own lock sits in the queue's lock order right after gFoldersLock: it is
  // taken after that one and before gQueueItemsLock and the items lock.
  std::map<DownloadUID, WrapperRef> Items() override;
  // The cache as it is (not recomputed).
  std::map<DownloadUID, WrapperRef> itemsCache();
  bool populated() const { return populated_; }
  void repopulateElements();
  void invalidateCache();
  // 0 added, 1 removed, 2 no change (also when the cache is not complete).
  int checkElement(const WrapperRef& wrapper);

  const PredicateRef& predicate() const { return predicate_; }
  // A different rule empties the cache (refilling the list when the folder is shown) and,
  // for a rule on dates, follows the date notifier.
  void setPredicate(PredicateRef predicate);
  void dateChanged();

  // The saved-search file's alias (dropped when it stops resolving).
  const std::optional<values::Bytes>& smartFolder() const { return savedSearchAlias(); }
  void setSmartFolder(std::optional<values::Bytes> alias);
  void checkAlias();
  void updateSmartFolder();
  // Writes the saved-search file at `path`; shows the alert and writes nothing when the
  // rule has no query form. True when written.
  bool createFolderAtURL(const std::string& path);

  static SmartFolderRef createSmartFolderWithName(const std::string& name, ViewID uid,
                                                  PredicateRef predicate);
  // Creates it, files it into the folder table (an existing folder stays), registers the
  // undo of the addition and marks the queue changed.
  static SmartFolderRef addSmartFolderToListWithName(const std::string& name, ViewID uid,
                                                     PredicateRef predicate);

  // "<TRSmartFolder: %x: folder id %u name:%@ predicate:%@ itemsCache:%@"
  std::string smartDescription();

 private:
  void SyncArchive();

  bool populated_ = false;
  PredicateRef predicate_;
  std::recursive_mutex smartItemsLock_;
  runtime::Subscription dateObserver_;
};

// The smart folder of the table under this id, or null.
SmartFolderRef LookUpSmartFolder(ViewID uid);

// ---- Built-in folders ----

SmartFolderRef CreateTodayFolder();
SmartFolderRef CreateYesterdayFolder();
SmartFolderRef CreatePastWeekFolder();
SmartFolderRef CreatePastMonthFolder();
// The date folder for an id of 200-203 (null for others).
SmartFolderRef CreateDateFolder(ViewID uid);

void AddApplicationTypesFolder();
void AddDocumentTypesFolder();
void AddMusicTypesFolder();
void AddPDFFolder();
void AddPicturesTypesFolder();
void AddPresentationTypesFolder();
// The six in table order, then the source list sorts its folder rows.
void AddBuiltInTypeSmartFolders();

// ---- The queue file ----

// A smart folder from its archived rule and saved-search alias; null when the archive is
// unreadable.
SmartFolderRef TRSmartFolderCreateFromArchivedPredicate(const values::Value& archive,
                                                        const std::optional<values::Bytes>& alias);
values::Bytes TRSmartFolderCopyArchivedPredicate(const TRSmartFolder& folder);

// ---- Change tracking ----

void NoteElementChanged(const WrapperRef& wrapper, std::uint32_t bits);
void FlushSmartFolderChanges();
void UpdateFolderForChangedElements(TRFolder& folder);
std::size_t PendingSmartFolderChanges();
void ClearSmartFolderChanges();

// Installs the smart folders into the queue's hooks (change notes) and the date folders'
// rules; start-up calls it before the queue file is read.
void InstallSmartFolders();

}  // namespace queue
