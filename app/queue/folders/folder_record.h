#pragma once
// A folder's record in the queue file's "Folders" array.
//
// Keys: "UID", "Name", "Flags", "Sort", "SortOrder", "lf" (64-bit integers but the name);
// the columns twice, as "CFOptions" (an array of {"prop", "size"} up to the first empty
// column) and as "Options" (96 bytes: 16 big-endian 32-bit properties, then 16 big-endian
// 16-bit widths); "predicate" and "aliasData" for smart folders; "items", the UIDs of the
// downloads listed, for other folders that list items.

#include <memory>
#include <vector>

#include "app/queue/folders/tr_folder.h"
#include "platform/values/value.h"

namespace queue {

// With `itemUIDs`, a folder's "items" are not put into the record but handed out there (a
// save on the main thread copies a long list of UIDs cheaply and makes the array later).
values::Value CopyFolderRecord(TRFolder& folder,
                               std::shared_ptr<const std::vector<DownloadUID>>* itemUIDs = nullptr);

// A folder from its record, its items taken from gQueueItems; null when the record has no
// "UID".
FolderRef CreateFolderFromRecord(const values::Value& record);

// The 96-byte form of a column layout, and back (nothing unless exactly 96 bytes).
values::Bytes FolderOptionsToBytes(const FolderColumnOptions& options);
std::optional<FolderColumnOptions> FolderOptionsFromBytes(const values::Bytes& bytes);

}  // namespace queue
