// Removing folders and keeping their "shared" flag in step with the sharing users.

#include <algorithm>
#include <set>

#include "app/queue/download_files.h"
#include "app/queue/folder_table.h"
#include "app/queue/queue_hooks.h"
#include "app/queue/queue_tables.h"
#include "app/ui/main_list_services.h"
#include "app/util/file_bridges.h"
#include "app/util/sharing_users.h"

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
  auto& hooks = GetQueueHooks();
  {
    runtime::RegionGuard folders(gFoldersLock);
    FolderRef folder = LookUpFolder(uid);
    if (folder && folder->HasItems()) {
      std::vector<WrapperRef> items;
      std::vector<std::string> paths;
      {
        std::lock_guard lock(folder->itemsLock());
        for (const auto& [id, wrapper] : folder->items()) items.push_back(wrapper);
      }
      if (trashFiles) {
        for (const auto& wrapper : items) {
          DownloadQueueElement& e = wrapper->element();
          if (const auto& complete = DownloadQueueElementGetCompleteURL(e)) {
            if (auto path = values::PathFromFileUrl(*complete)) paths.push_back(*path);
          }
          if (auto package = CopyPartialPackageURL(e)) paths.push_back(package->Path());
          if (hooks.registerUndoDownloadFilesMoved) hooks.registerUndoDownloadFilesMoved(wrapper);
        }
        util::MoveItemsToTrash(paths);
      }
      for (const auto& wrapper : items) RemoveElementFromFolder(wrapper, uid);
      if (!items.empty()) MarkQueueDirty();
    }
  }
  // The users' region is never taken inside the folders' region.
  RemoveFromUserLists(uid);
  if (hooks.registerUndoFolderRemoved) hooks.registerUndoFolderRemoved(uid, trashFiles);
  ui::GetMainListServices().RemoveFolderRow(uid);
  {
    runtime::RegionGuard folders(gFoldersLock);
    gFolders.erase(uid);
  }
  if (hooks.forgetDisplayedView) hooks.forgetDisplayedView(uid);
  MarkQueueDirty();
}

void UpdateFolderSharedState(ViewID uid) {
  const bool shared = InSomeViewList(uid);
  if (FolderRef folder = LookUpFolder(uid)) SetShared(*folder, shared);
  if (uid > 0xFFFFF) ui::GetMainListServices().SetFolderRowShared(uid, shared);
}

void UnshareFolder(ViewID uid) {
  RemoveFromUserLists(uid);
  if (FolderRef folder = LookUpFolder(uid)) SetShared(*folder, false);
  ui::GetMainListServices().SetFolderRowShared(uid, false);
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
  ui::GetMainListServices().RefreshFolderRowIcons(changed);
}

}  // namespace queue
