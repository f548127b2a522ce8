#pragma once
// File operations the windows and the queue ask of the desktop: copying an item into a
// folder, deleting (or else trashing) an item, trashing a selection, and making a folder
// with its missing parents.

#include <string>
#include <vector>

#include "platform/values/url.h"

namespace util {

// Copies the item into the folder under its own name (see desktop::Workspace::CopyItem).
bool WorkspaceCopyItem(const std::string& item_path, const std::string& destination_folder);

// Deletes the item (a folder with its contents); when that fails, moves it to the Trash.
// The result is that of the last operation tried.
bool DeleteItemOrMoveToTrash(const std::string& item_path);

// Moves the items to the Trash: the items in the first item's folder together in one
// operation, every item from another folder alone, at once. Nothing for no items.
void MoveItemsToTrash(const std::vector<std::string>& item_paths);

// True when a folder stands at the path afterwards: an existing folder is accepted, an
// existing file is not (and is left alone); missing parents are made first.
bool CreateDirectoryAtPath(const std::string& path);

// CreateDirectoryAtPath on the path of a file URL; false for other URLs.
bool CreateDirectoryForURL(const values::Url& url);

}  // namespace util
