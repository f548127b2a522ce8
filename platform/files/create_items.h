#pragma once
// Making new files and folders. A name that is taken is dupFNErr, never a silent reuse, so
// that two writers never end up sharing one file.

#include <sys/types.h>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace files {

// A new empty file; dupFNErr when the name is taken.
Status CreateFile(const FileRef& file, mode_t mode = 0666);
// A new folder; dupFNErr when the name is taken. With `parents`, missing folders above it
// are made too, and a folder already there is success (an item that is not a folder is
// dupFNErr).
Status CreateFolder(const FileRef& folder, bool parents = false, mode_t mode = 0777);

}  // namespace files
