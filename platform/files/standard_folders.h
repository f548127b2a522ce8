#pragma once
// Where the program keeps its files and where the user's folders are, in one place.
//
//   kApplicationSupport  $XDG_DATA_HOME/Truvane      (default ~/.local/share/Truvane)
//   kPreferences         $XDG_CONFIG_HOME/Truvane    (default ~/.config/Truvane)
//   kLogs                $XDG_STATE_HOME/Truvane     (default ~/.local/state/Truvane)
//   kCaches              $XDG_CACHE_HOME/Truvane     (default ~/.cache/Truvane)
//   kDownloads           XDG_DOWNLOAD_DIR  (user-dirs.dirs, then the environment) else ~/Downloads
//   kDocuments           XDG_DOCUMENTS_DIR (same)                                  else ~/Documents
//   kDesktop             XDG_DESKTOP_DIR   (same)                                  else ~/Desktop
//   kHome                $HOME, else the password database's home folder
//   kTemporary           $TMPDIR, else /tmp
//   kTrash               $XDG_DATA_HOME/Trash  (the freedesktop home trash)
//
// An XDG_*_HOME variable that is unset, empty or not an absolute path counts as unset, as
// the XDG base-directory rules say. Paths are computed from the environment on every
// call, so tests that point HOME and the XDG variables at a temporary folder see their own.

#include <string>

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace files {

enum class StandardFolder : std::uint8_t {
  kApplicationSupport,
  kPreferences,
  kLogs,
  kCaches,
  kDownloads,
  kDocuments,
  kDesktop,
  kHome,
  kTemporary,
  kTrash,
};

// The folder's name under the XDG base folders.
inline constexpr const char kApplicationFolderName[] = "Truvane";

// The path, whether or not the folder exists.
FileRef StandardFolderRef(StandardFolder which);
// The folder, made (with its parents, mode 0700 for the program's own folders) when missing
// and `create` is set; fnfErr when it is missing and `create` is not set, dirNFErr when
// something else stands there.
Result<FileRef> FindStandardFolder(StandardFolder which, bool create);

}  // namespace files
