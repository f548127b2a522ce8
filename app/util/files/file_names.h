#pragma once
// The local names of downloads and the check of names that the user types.
//
// A download's file name comes from its URL alone, so it must be safe whatever a server
// or a link puts there: it never holds a control character, ":" or "/", it is never
// empty, "." or "..", and it fits the file system's limit of 255 bytes with room to
// spare for the ".partial" of the download package and the ".N" of a unique rename.

#include <string>
#include <string_view>

#include "platform/values/char_set.h"
#include "platform/values/url.h"

namespace util {

// The longest name this program makes, in UTF-16 units, and in bytes of UTF-8 (255, the
// file-name limit of Linux file systems, less the 8 bytes of ".partial" and 3 for ".N").
inline constexpr std::size_t kMaxFileNameLength = 244;
inline constexpr std::size_t kMaxFileNameBytes = 244;

// The characters that never appear in a name the program makes: control and format
// characters (Unicode Cc and Cf), ":", "/", CR and LF. Built on first use; start-up
// asks for it once on the main thread, so that worker tasks only ever read it.
const values::CharacterSet& GetFileNameCharacterSet();

// The local file name for a download of `url`: its last path component, or for script
// pages (php, asp, aspx, cfm, cgi, or no extension) with a short tail, the text after
// the query's last "=" when that is 6 characters or more; escapes removed (UTF-8, else
// Latin-1); forbidden characters and one leading "." deleted; "index.html" when nothing
// usable is left; " (Folder)" added for FTP folders; cut on a character boundary to fit
// the limits above.
std::string CopyFileNameForURL(const values::Url& url);

// Whether a name the user typed can be used for a file or folder: not empty, not "." or
// "..", no forbidden character, at most 255 bytes. Unless the name is empty, a refusal
// shows a note alert when `show_alert` is set.
bool ValidateFileName(std::string_view name, bool show_alert);

}  // namespace util
