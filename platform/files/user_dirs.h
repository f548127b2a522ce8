#pragma once
// The user's own folders (downloads, documents, desktop) as the desktop names them in
// "$XDG_CONFIG_HOME/user-dirs.dirs", a file meant to be sourced by a shell:
//
//   # comment
//   XDG_DOWNLOAD_DIR="$HOME/Downloads"
//   XDG_DOCUMENTS_DIR="/data/Documents"
//
// A value is either "$HOME" followed by "/..." (or alone), or an absolute path; quotes are
// optional, and inside quotes a backslash escapes the next character. Anything else (a
// relative path, another variable) is ignored, as the desktop's own readers ignore it, and
// the caller falls back to its default. "$HOME/" alone means the folder is disabled and the
// home folder stands in for it.

#include <map>
#include <string>
#include <string_view>

namespace files {

// Keys are the variable names ("XDG_DOWNLOAD_DIR"); values are absolute paths without a
// trailing slash. A later line for the same key replaces an earlier one.
std::map<std::string, std::string, std::less<>> ParseUserDirs(std::string_view text, std::string_view home);

}  // namespace files
