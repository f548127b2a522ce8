#pragma once
// The Trash, as the freedesktop.org Trash layout lays it out, so that the desktop's
// file manager shows, restores and empties what this program put there.
//
// A trash folder holds "files/" (the trashed items under unique names) and "info/" (one
// "<name>.trashinfo" per item):
//
//   [Trash Info]
//   Path=/home/ann/Downloads/report%20final.pdf
//   DeletionDate=2024-05-01T14:03:59
//
// Path is percent-encoded (every byte but unreserved characters and "/"); DeletionDate is
// local time without a zone. An item on the home folder's file system goes to the home trash
// ($XDG_DATA_HOME/Trash) with an absolute Path. An item on another file system goes to that
// file system's top folder: "$topdir/.Trash/$uid" when an administrator made "$topdir/.Trash"
// (a real folder with the sticky bit), else "$topdir/.Trash-$uid", with Path relative to
// $topdir. When neither can be used (read-only, no permission) the item is copied to the
// home trash and then deleted.
//
// The info file is made first, with O_EXCL: that claims the unique name ("name", "name.2",
// "name.3"...) against other programs trashing at the same moment. The item is then renamed
// into "files/"; when that fails the info file is removed again.

#include <ctime>
#include <string>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace files {

struct TrashedItem {
  FileRef trashed;    // the item inside ".../files/"
  FileRef info_file;  // its ".trashinfo"
  FileRef original;   // where it was
};

// Moves `item` to the trash. `deletion_time` is written as the deletion date (tests pass a
// fixed time; 0 means now).
Result<TrashedItem> MoveToTrash(const FileRef& item, std::time_t deletion_time = 0);

// Puts a trashed item back where it was (making missing parent folders) and removes its info
// file; returns where it went. dupFNErr when something else has taken the original name.
Result<FileRef> RestoreFromTrash(const FileRef& trashed);

// The original path recorded for a trashed item, read from its info file.
Result<FileRef> ReadTrashInfoPath(const FileRef& trashed);

// Percent-encoding of the Path key, exposed for tests.
std::string EncodeTrashPath(std::string_view path);
std::string DecodeTrashPath(std::string_view encoded);

}  // namespace files
