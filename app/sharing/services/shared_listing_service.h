#pragma once
// What the sharing server lists to a logged-in peer of this copy's queue and received
// files: the folders (FOLDERS), the downloads of a folder (ITEMS) and the received files
// (RECV). The server decides what a user may see; this only copies.
//
// The queue registers the copy of its tables at start-up with SharedListingServiceSlot::Set(),
// the received-files list registers its own with SharedReceivedFilesSlot::Set(). Until
// then there is nothing to list.
//
// Any thread: the sharing server's connection tasks call it. An implementation takes the
// tables' own locks in their documented order and lets go of them before returning.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace sharing {

struct ListedFolder {
  std::uint32_t uid = 0;
  std::string name;
  std::uint32_t flags = 0;
};

struct ListedItem {
  std::uint32_t uid = 0;
  std::uint32_t folderUID = 0;
  std::string name;
  std::string urls;                    // every URL without user information, joined by CR
  std::optional<std::string> referer;  // of the first URL entry
  std::int32_t downloadCount = 0;
  std::int64_t size = 0;
  std::int16_t flags = 0;
  bool finishedFileKnown = false;
  double startDate = 0;  // absolute time
  double endDate = 0;
};

struct ListedReceivedFile {
  std::string name;
  std::int64_t size = 0;
  std::string uidString;
  std::int32_t status = 0;
  // Where the file is now; nothing when its alias no longer resolves.
  std::optional<std::string> path;
};

// The finished file of a shared download as the file server opens it.
struct SharedItemFile {
  std::string path;  // where the finished file is
  std::string name;  // the item's file name
};

enum class SharedItemAccess { kGranted, kNotGranted, kNotFound };

class SharedListingService {
 public:
  virtual ~SharedListingService() = default;
  // Every folder of the folder table.
  virtual std::vector<ListedFolder> CopyFolders() = 0;
  // The downloads of a folder that are still in the queue; none for an unknown folder or
  // one that holds no items of its own.
  virtual std::vector<ListedItem> CopyFolderItems(std::uint32_t folderUID) = 0;
  // The finished file of the download `uid` when a folder of `downloadFolders` that is not
  // smart holds it: kNotFound for an item not in the queue or without a finished file,
  // kNotGranted when no such folder holds it.
  virtual SharedItemAccess FindSharedItemFile(std::uint32_t uid,
                                              const std::vector<std::uint32_t>& downloadFolders,
                                              SharedItemFile& file) {
    (void)uid;
    (void)downloadFolders;
    (void)file;
    return SharedItemAccess::kNotFound;
  }
};

class NoSharedListing : public SharedListingService {
 public:
  std::vector<ListedFolder> CopyFolders() override { return {}; }
  std::vector<ListedItem> CopyFolderItems(std::uint32_t) override { return {}; }
};

using SharedListingServiceSlot = runtime::ServiceSlot<SharedListingService, NoSharedListing>;

class SharedReceivedFiles {
 public:
  virtual ~SharedReceivedFiles() = default;
  virtual std::vector<ListedReceivedFile> CopyReceivedFiles() = 0;
};

class NoSharedReceivedFiles : public SharedReceivedFiles {
 public:
  std::vector<ListedReceivedFile> CopyReceivedFiles() override { return {}; }
};

using SharedReceivedFilesSlot = runtime::ServiceSlot<SharedReceivedFiles, NoSharedReceivedFiles>;

}  // namespace sharing
