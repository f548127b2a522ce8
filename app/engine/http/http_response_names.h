#pragma once
// The name a download's file takes from the server's answer: the Content-Disposition
// file name, else the last path component of the URL the body came from (after
// redirects).
//
// A server-supplied name is untrusted text that becomes a file name inside the download
// folder, so it is made safe before it is used: escapes undone (bytes that are not UTF-8
// read as Latin-1), cut at the first "?", control characters, ":" and "/" removed, every
// leading blank and "." removed (so neither "..", "..." nor a hidden file comes out, also
// from " .."), and cut to the program's name length on a character boundary. What cannot
// be made safe (empty after cleaning) is refused, and the caller keeps the name it had.
// The result is valid UTF-8 and never names another folder.

#include <optional>
#include <string>
#include <string_view>

#include "platform/values/url.h"

namespace engine {

// The raw file name a Content-Disposition value gives: `filename*=UTF-8''...` (RFC 5987,
// escapes undone) when present and valid (only attr-chars and escapes, decoding in its
// charset, UTF-8 or ISO-8859-1), else `filename=`: a quoted value between its quotes, an
// unquoted one up to ";" or the end. Nothing when the value names none.
std::optional<std::string> FileNameFromContentDisposition(std::string_view value);

// The name made safe (above); nothing when nothing usable is left.
std::optional<std::string> SanitizeDownloadFileName(std::string_view name);

// The same rules without undoing escapes or cutting at "?", for text that is a name
// already.
std::optional<std::string> MakeFileNameSafe(std::string_view name);

// A name read back from a stored file (the queue file, a partial package): kept as it is
// when it is one the program or the user could have given (util::ValidateFileName: no
// "/", ":" or control character, not "." or "..", at most 255 bytes; valid UTF-8), else
// made safe as above; nothing when nothing usable is left. A hidden name the user chose
// stays hidden; a path never gets through.
std::optional<std::string> StoredFileName(std::string_view name);

// The file name a response gives: the Content-Disposition's when it has a usable one,
// else the final URL's (util::CopyFileNameForURL), already safe.
std::string FileNameForResponse(const std::optional<std::string>& contentDisposition,
                                const values::Url& finalUrl);

}  // namespace engine
