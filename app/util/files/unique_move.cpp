#include "app/util/files/unique_move.h"

#include "app/util/files/file_system_helpers.h"

namespace util {
namespace {

// Enough for any folder people keep; beyond it the name counts as taken for good.
constexpr unsigned kMaxAttempts = 100000;

}  // namespace

std::string NumberedName(const std::string& name, unsigned n) {
  const std::size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string::npos && dot != 0 && dot + 1 < name.size() &&
                             name.find(' ', dot) == std::string::npos;
  if (!has_extension) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

files::OSErr MoveAndRenameUnique(const files::FileRef& item, const files::FileRef& folder,
                                 const std::string& name, files::FileRef* new_item) {
  files::FileRef current = item;
  files::OSErr err = MoveAndRenameItem(current, folder, &name, new_item);
  for (unsigned n = 1; err == files::dupFNErr && n <= kMaxAttempts; ++n) {
    const std::string candidate = NumberedName(name, n);
    err = MoveAndRenameItem(current, folder, &candidate, new_item);
  }
  if (err != files::noErr) {
    files::FileRef renamed;
    MoveAndRenameItem(current, current.Parent(), &name, &renamed);  // best effort, as documented
    return err;
  }
  return files::noErr;
}

}  // namespace util
