// Removing folders and keeping their "shared" flag in step with the sharing users.

#include <algorithm>
#include <set>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/files/file_bridges.h"
#include "app/util/settings/sharing_users.h"

namespace queue {
namespace {

bool InSomeViewList(ViewID uid) {
  runtime::RegionGuard inside(util::SharingUsersRegion());
  for (const auto& [name, user] : util::SharingUsers()) {
    if (std::find(user.viewUIDs.begin(), user.viewUIDs.end(), uid) != user.viewUIDs.end()) return true;
  }
  return false;
}

void SetShared(TRFolder& folder, bool shared) {
  folder.setFlags(shared ? folder.flags() | kFolderFlagShared : folder.flags() & ~kFolderFlagShared);
}

void RemoveFromUserLists(ViewID uid) {
  runtime::RegionGuard inside(util::SharingUsersRegion());
  for (auto& [name, user] : util::SharingUsers()) {
    std::erase(user.viewUIDs, uid);
    std::erase(user.downloadUIDs, uid);
  }
}

}  // namespace

std::map<DownloadUID, WrapperRef>* GetAllDownloadsItems() {
  // Looked up each time rather than kept: a reload of the queue makes a new folder 1.
  FolderRef folder = LookUpFolder(kMyDownloadsViewID);
  return folder ? &folder->items() : nullptr;
}

void RemoveFolder(ViewID uid, bool trashFiles) {
  if (!IsRemovableFolderID(uid)) return;
  FolderRef folder;
  {
    runtime::RegionGuard folders(gFoldersLock);
    folder = LookUpFolder(uid);
    if (folder && folder->HasItems()) {
      std::vector<WrapperRef> items;
      {
        std::lock_guard lock(folder->itemsLock());
        for (const auto& [id, wrapper] : folder->items()) items.push_back(wrapper);
      }
      if (trashFiles) {
        std::vector<std::string> paths;
        for (const auto& wrapper : items) {
          DownloadQueueElement& e = wrapper->element();
          if (const auto& complete = DownloadQueueElementGetCompleteURL(e)) {
            if (auto path = values::PathFromFileUrl(*complete)) paths.push_back(*path);
          }
          if (auto package = CopyPartialPackageURL(e)) paths.push_back(package->Path());
          RegisterUndoDownloadFilesMoved(wrapper);
        }
        util::MoveItemsToTrash(paths);
      }
      if (!items.empty()) {
        std::vector<DownloadUID> uids;
        for (const auto& wrapper : items) uids.push_back(wrapper->uid());
        RemoveDownloadsFromFolder(uids, uid, false, true);
      }
    }
  }
  // The users' region is never taken inside the folders' region.
  RemoveFromUserLists(uid);
  if (folder) RegisterUndoFolderRemoved(folder, trashFiles);
  ui::MainListServicesSlot::Get().RemoveFolderRow(uid);
  {
    runtime::RegionGuard folders(gFoldersLock);
    gFolders.erase(uid);
  }
  RemoveDisplayedView(uid);
  MarkQueueDirty();
}

void UpdateFolderSharedState(ViewID uid) {
  const bool shared = InSomeViewList(uid);
  if (FolderRef folder = LookUpFolder(uid)) SetShared(*folder, shared);
  if (uid > 0xFFFFF) ui::MainListServicesSlot::Get().SetFolderRowShared(uid, shared);
}

void UnshareFolder(ViewID uid) {
  RemoveFromUserLists(uid);
  if (FolderRef folder = LookUpFolder(uid)) SetShared(*folder, false);
  ui::MainListServicesSlot::Get().SetFolderRowShared(uid, false);
}

void RefreshSharedFolderFlags() {
  std::set<ViewID> ids;
  {
    runtime::RegionGuard inside(util::SharingUsersRegion());
    for (const auto& [name, user] : util::SharingUsers())
      ids.insert(user.viewUIDs.begin(), user.viewUIDs.end());
  }
  {
    runtime::RegionGuard folders(gFoldersLock);
    for (const auto& [uid, folder] : gFolders) {
      const bool member = ids.count(uid) != 0;
      const bool flagged = (folder->flags() & kFolderFlagShared) != 0;
      if (member == flagged) {
        ids.erase(uid);
      } else {
        ids.insert(uid);
        SetShared(*folder, member);
      }
    }
  }
  std::vector<std::uint32_t> changed;
  for (ViewID id : ids) {
    if (id > 0xFFFFF) changed.push_back(id);
  }
  ui::MainListServicesSlot::Get().RefreshFolderRowIcons(changed);
}

}  // namespace queue
