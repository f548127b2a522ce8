#include "app/queue/folders/folder_table.h"

#include <initializer_list>

#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"

namespace queue {

std::map<ViewID, FolderRef> gFolders;
runtime::CriticalRegion gFoldersLock;

namespace {

ViewID gUserFolderCounter = kFirstUserFolderID + 1;
ViewID gSmartFolderCounter = kFirstUserSmartFolderID;

FolderColumnOptions Columns(std::initializer_list<std::uint32_t> props,
                            std::initializer_list<std::uint16_t> sizes) {
  FolderColumnOptions o;
  std::size_t i = 0;
  for (std::uint32_t p : props) o.props[i++] = p;
  i = 0;
  for (std::uint16_t s : sizes) o.sizes[i++] = s;
  return o;
}

const std::initializer_list<std::uint32_t> kLibraryColumns = {1025, 1026, 1028, 1027, 1034, 1029,
                                                              1032, 1035, 1036, 1031, 1037};
const std::initializer_list<std::uint32_t> kFTPHostColumns = {1025, 1027, 8025, 1042, 1041, 1040, 1043};

FolderRef MakeFolder(ViewID uid, FolderColumnOptions options, std::uint32_t sort, std::uint16_t order,
                     std::uint32_t flags = 0) {
  auto folder = std::make_shared<TRFolder>();
  folder->setUid(uid);
  folder->setOptions(options);
  folder->setSort(sort);
  folder->setSortOrder(order);
  folder->setFlags(flags);
  return folder;
}

// Steps 2 and 3 of the allotment: wrap into the range, skip ids in use. A full range would
// never end, so after one lap the search gives up and hands out 0 (no folder).
ViewID Allot(ViewID& counter, ViewID bottom, ViewID top) {
  std::lock_guard lock(gFoldersLock);
  ViewID candidate = counter++;
  const ViewID span = top - bottom + 1;
  for (ViewID tries = 0; tries <= span; ++tries) {
    if (candidate > top) {
      candidate = bottom;
      counter = bottom + 1;
    }
    if (gFolders.count(candidate) == 0) return candidate;
    ++candidate;
    ++counter;
  }
  return 0;
}

}  // namespace

void ClearFolderTable() {
  std::lock_guard lock(gFoldersLock);
  gFolders.clear();
}

FolderRef LookUpFolder(ViewID uid) {
  std::lock_guard lock(gFoldersLock);
  auto it = gFolders.find(uid);
  return it == gFolders.end() ? nullptr : it->second;
}

void AddFolderToFolderTable(FolderRef folder, ViewID uid) {
  std::lock_guard lock(gFoldersLock);
  gFolders.emplace(uid, std::move(folder));
}

FolderRef CreateBuiltInFolder(ViewID uid) {
  switch (uid) {
    case kMyDownloadsViewID:
      return MakeFolder(uid, Columns(kLibraryColumns, {0, 150, 0, 100, 150, 120, 150, 150, 0, 0, 0}), 10000,
                        1);
    case kHistoryViewID:
      return MakeFolder(uid, Columns(kLibraryColumns, {0, 0, 0, 100, 150, 120, 150, 150, 0, 0, 0}), 10000, 1);
    case kPeerHostsViewID:
      return MakeFolder(uid, Columns({1025, 1027, 3072, 8025}, {0, 0, 120, 150}), 10000, 1);
    case kFTPHostsViewID:
    case kWebDAVHostsViewID:
      return MakeFolder(uid, Columns(kFTPHostColumns, {0, 0, 120, 150, 0, 100, 0}), 7001, 2);
    case kIDiskHostsViewID:
      return MakeFolder(uid, Columns({1025, 1027, 8025, 1043}, {0, 0, 120, 150}), 7001, 2);
    case kFiltersViewID:
      return MakeFolder(uid, Columns({1025, 1026, 1027, 1035}, {0, 0, 0, 120}), 1, 1);
    case kMyUploadsViewID:
      return MakeFolder(
          uid, Columns({1025, 1026, 1028, 1027, 1034, 1029, 1035, 7024}, {0, 150, 0, 100, 150, 0, 150, 0}),
          10, 2);
    case kReceivedFilesViewID:
      return MakeFolder(uid, Columns({1025, 1026, 1028, 1027, 8024, 1029, 7024}, {0, 0, 0, 0, 150, 0, 0}),
                        7000, 2);
    case kMyServersViewID:
      return MakeFolder(uid, Columns({2050, 2051, 2048, 2049, 2052}, {}), 1026, 2);
    default:
      break;
  }
  if (IsDateFolderID(uid)) return CreateDateFolder(uid);
  return nullptr;
}

void AddMissingBuiltInFolders() {
  for (ViewID uid : {1u, 2u, 21u, 23u, 25u, 24u, 4u, 20u, 22u, 7u, 200u, 201u, 202u, 203u}) {
    std::lock_guard lock(gFoldersLock);
    if (gFolders.count(uid) == 0) AddFolderToFolderTable(CreateBuiltInFolder(uid), uid);
  }
}

bool IsStorableFolderID(ViewID uid) {
  if (uid >= kFirstUserFolderID) return true;
  return uid == 1 || uid == 2 || uid == 4 || uid == 7 || (uid >= 20 && uid <= 25) || IsDateFolderID(uid);
}

FolderColumnOptions DefaultUserFolderOptions() {
  return Columns(kLibraryColumns, {0, 0, 0, 100});
}

void ResetFolderUIDCounters() {
  gUserFolderCounter = kFirstUserFolderID + 1;
  gSmartFolderCounter = kFirstUserSmartFolderID;
}

void SetFolderUIDCounters(ViewID userFolderCounter, ViewID smartFolderCounter) {
  gUserFolderCounter = userFolderCounter;
  gSmartFolderCounter = smartFolderCounter;
}

ViewID NewFolderUID() {
  return Allot(gUserFolderCounter, kFirstUserFolderID, kLastUserFolderID - 1);
}

ViewID NewSmartFolderUID() {
  return Allot(gSmartFolderCounter, kFirstUserSmartFolderID, kLastUserSmartFolderID);
}

void AddFolder(ViewID uid, const std::string& name) {
  auto folder = MakeFolder(uid, DefaultUserFolderOptions(), kSortByQueueOrder, 1);
  folder->setName(name);
  AddFolderToFolderTable(folder, uid);
  RegisterUndoFolderAdded(LookUpFolder(uid), false);
  TruvaneUndoSetActionName("Add Folder");
  MarkQueueDirty();
}

void RenameFolder(ViewID uid, const std::string& name) {
  FolderRef folder = LookUpFolder(uid);
  if (!folder) return;
  std::string old = folder->name();
  if (old == name) return;
  ui::MainListServicesSlot::Get().RelabelFolderRow(uid, name);
  folder->setName(name);
  RegisterUndoFolderRenamed(folder, old);
  TruvaneUndoSetActionName("Rename Folder");
  MarkQueueDirty();
}

namespace {

void AddToFolder(const FolderRef& folder, const WrapperRef& wrapper) {
  std::lock_guard lock(folder->itemsLock());
  if (folder->items().emplace(wrapper->uid(), wrapper).second) {
    wrapper->element().foldersContainedIn.insert(folder->uid());
  }
}

}  // namespace

void AddElementToFolder(const WrapperRef& wrapper, ViewID folderUID) {
  {
    std::lock_guard lock(gFoldersLock);
    FolderRef folder = LookUpFolder(folderUID);
    if (folder && folder->HasItems()) AddToFolder(folder, wrapper);
  }
  RegisterUndoRemoveFromFolder(wrapper, folderUID);
}

void AddElementToListableFolder(ViewID folderUID, const WrapperRef& wrapper) {
  if (folderUID != kMyDownloadsViewID && !IsUserFolderID(folderUID)) return;
  std::lock_guard lock(gFoldersLock);
  if (FolderRef folder = LookUpFolder(folderUID)) AddToFolder(folder, wrapper);
}

void RemoveElementFromFolder(const WrapperRef& wrapper, ViewID folderUID) {
  std::lock_guard lock(gFoldersLock);
  if (FolderRef folder = LookUpFolder(folderUID)) {
    std::lock_guard items(folder->itemsLock());
    folder->items().erase(wrapper->uid());
  }
  wrapper->element().foldersContainedIn.erase(folderUID);
}

std::size_t GetFolderItemCount(ViewID uid) {
  FolderRef folder = LookUpFolder(uid);
  if (!folder || !folder->HasItems()) return 0;
  return folder->Items().size();
}

}  // namespace queue
