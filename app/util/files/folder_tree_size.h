#pragma once
// The total size of the files in a folder tree (folder uploads report it as their size).

#include <cstdint>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace util {

// Sums the data sizes of every item below the folder that is not a folder. 0 and the sum
// in `bytes` after a complete walk; otherwise the walk's error, `bytes` untouched.
files::OSErr GetFolderTreeSize(const files::FileRef& folder, std::uint64_t* bytes);

}  // namespace util
