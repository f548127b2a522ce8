#pragma once
// Reading folders: the entries of one folder in batches with their catalog information, and
// a depth-first walk of a whole tree with a visitor that can prune or stop.
//
// A `FolderIterator` takes the folder's names when it opens (sorted by their bytes, so that
// the order is the same on every file system and run) and reads the catalog information of
// a batch of them per call. Because the names are taken up front, deleting or adding entries
// while iterating is safe: an entry that vanished before its batch was read is left out, an
// entry added later is not seen. `ContainerChanged` tells when the folder was modified since
// the iterator opened.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/runtime/unique_fd.h"

namespace files {

using runtime::UniqueFd;

struct FolderEntry {
  std::string name;
  FileRef ref;
  CatalogInfo info;  // the entry's own (a symbolic link is reported as one)
};

class FolderIterator {
 public:
  FolderIterator() = default;
  // dirNFErr when `folder` is not a folder, afpAccessDenied when it cannot be read.
  static Result<FolderIterator> Open(const FileRef& folder);

  const FileRef& folder() const { return folder_; }
  // Appends up to `max_count` entries to `out`. errFSNoMoreItems when nothing was left to
  // read (a call that appends at least one entry succeeds).
  Status ReadBulk(std::size_t max_count, std::vector<FolderEntry>& out);
  bool ContainerChanged() const;

 private:
  UniqueFd dir_;
  FileRef folder_;
  std::vector<std::string> names_;
  std::size_t next_ = 0;
  FileTime opened_mtime_;
  FileTime opened_ctime_;
};

// Every entry of the folder.
Result<std::vector<FolderEntry>> ReadFolder(const FileRef& folder);

enum class WalkAction : std::uint8_t { kContinue, kSkipChildren, kStop };

struct WalkOptions {
  int max_depth = -1;           // -1 unlimited; 1 = the root's entries only
  bool follow_links = false;    // enter symbolic links to folders (guarded against cycles)
  bool skip_unreadable = true;  // a folder that cannot be read is skipped, not an error
};

// Calls `visit` for each item under `root` (not the root itself), a folder before its
// contents; depth 1 for the root's entries. Returns the first error that was not skipped.
using WalkVisitor = std::function<WalkAction(const FolderEntry& entry, int depth)>;
Status WalkTree(const FileRef& root, const WalkVisitor& visit, const WalkOptions& options = {});

}  // namespace files
