#pragma once
// Whole-tree operations: deleting, copying, and moving to another file system.
//
// Deleting never follows symbolic links: a link to a folder is removed, its target is not
// touched. Folders whose owner lacks write permission (read-only folders) are made writable
// first, or their entries could not be removed. Copies keep each item's permission bits and
// modification time (folders get theirs after their contents are in place, since adding an
// entry changes a folder's time), recreate symbolic links as links, and carry the user.*
// extended attributes where both file systems keep them; the owner becomes the copying user.

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace files {

// Deletes one file, link or empty folder (fBsyErr for a folder that is not empty).
Status DeleteItem(const FileRef& item);
// Deletes the item and, for a folder, everything inside it. Stops at the first failure.
Status DeleteTree(const FileRef& item);

// Copies `from` (file, link or whole folder) to `to`, which must not exist (dupFNErr). On a
// failure the partial copy is removed.
Status CopyTree(const FileRef& from, const FileRef& to);

// Copies to `to` (on another file system), then deletes `from`. When the copy fails the
// partial copy is removed and `from` stays; when deleting `from` fails, the copy stays and
// the error is returned.
Status MoveAcrossDevices(const FileRef& from, const FileRef& to);

// Renames without replacing (rename.h); across file systems, copies and deletes.
Status Move(const FileRef& from, const FileRef& to);

}  // namespace files
