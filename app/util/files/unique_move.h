#pragma once
// Filing an item into a folder under a name, finding a free name when it is taken.

#include <string>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace util {

// The name with ".N" before its extension ("report.pdf", 2 -> "report.2.pdf") or at its
// end when it has none ("README", 1 -> "README.1"). The extension is the text after the
// last ".", when that dot does not begin the name and the text is not empty and holds no
// space.
std::string NumberedName(const std::string& name, unsigned n);

// Moves `item` into `folder` as `name`; while the name is taken, tries "name.1.ext",
// "name.2.ext" ... (each formed from `name`). 0 and `new_item` at its new place on
// success. On another error the item is given `name` where it stands (when that name is
// free there) and the error is returned.
files::OSErr MoveAndRenameUnique(const files::FileRef& item, const files::FileRef& folder,
                                 const std::string& name, files::FileRef* new_item);

}  // namespace util
