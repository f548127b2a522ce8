#pragma once
// The folder table: every folder of the source list by view id, guarded by gFoldersLock
// (entered before a folder's items lock, and before gQueueItemsLock, when several are
// needed).
//
// After the queue file is read, the built-in folders the file did not supply are added;
// user folders and smart folders are allotted ids from two counters that wrap within
// their ranges and skip ids in use.

#include <map>
#include <optional>
#include <string>

#include "app/queue/folders/tr_folder.h"
#include "platform/runtime/critical_region.h"

namespace queue {

extern std::map<ViewID, FolderRef> gFolders;
extern runtime::CriticalRegion gFoldersLock;

void ClearFolderTable();
FolderRef LookUpFolder(ViewID uid);

// Puts the folder into the table when its id is not there yet; an existing folder stays.
void AddFolderToFolderTable(FolderRef folder, ViewID uid);

// The built-in folder with this id, laid out as new (nothing for other ids).
FolderRef CreateBuiltInFolder(ViewID uid);
// Adds, in their fixed order, the built-in folders missing from the table.
void AddMissingBuiltInFolders();
// Whether a folder id read from the queue file is kept: built-in ids and user and smart folders.
bool IsStorableFolderID(ViewID uid);

// The columns of a new user folder.
FolderColumnOptions DefaultUserFolderOptions();

// The id counters; the source list resets both when it is built.
void ResetFolderUIDCounters();
void SetFolderUIDCounters(ViewID userFolderCounter, ViewID smartFolderCounter);
ViewID NewFolderUID();
ViewID NewSmartFolderUID();

// A new user folder (undoable); an existing folder of that id stays.
void AddFolder(ViewID uid, const std::string& name);
// Renames (undoably) unless the folder is missing or already has that name.
void RenameFolder(ViewID uid, const std::string& name);

// Adds the download to the folder when the folder lists items, keeping both sides in step,
// and registers the undo action that takes it out again (also when nothing changed).
void AddElementToFolder(const WrapperRef& wrapper, ViewID folderUID);
// The same without undo, for My Downloads and user folders only.
void AddElementToListableFolder(ViewID folderUID, const WrapperRef& wrapper);
// Takes the download out of the folder, both sides.
void RemoveElementFromFolder(const WrapperRef& wrapper, ViewID folderUID);

std::size_t GetFolderItemCount(ViewID uid);

// The items of My Downloads: every download of the queue.
std::map<DownloadUID, WrapperRef>* GetAllDownloadsItems();

// Removes a user or smart folder (other ids are ignored): its downloads leave it (they stay
// in the queue); with trashFiles their finished files and partial packages go to the Trash.
void RemoveFolder(ViewID uid, bool trashFiles);

// The "shared" flag follows the sharing users' view lists.
void UpdateFolderSharedState(ViewID uid);
void UnshareFolder(ViewID uid);
void RefreshSharedFolderFlags();

}  // namespace queue
