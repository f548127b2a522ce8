#pragma once
// The name a download's file takes from the server's answer: the Content-Disposition
// file name, else the last path component of the URL the body came from (after
// redirects).
//
// A server-supplied name is untrusted text that becomes a file name inside the download
// folder, so it is made safe before it is used: escapes undone, cut at the first "?",
// control characters, ":" and "/" removed, every leading "." removed (so neither "..",
// "..." nor a hidden file comes out), and cut to the program's name length on a character
// boundary. What cannot be made safe (empty after cleaning) is refused, and the caller
// keeps the name it had. The result never names another folder.

#include <optional>
#include <string>
#include <string_view>

#include "platform/values/url.h"

namespace engine {

// The raw file name a Content-Disposition value gives: `filename*=UTF-8''...` (RFC 5987,
// escapes undone) when present, else `filename=`: a quoted value between its quotes, an
// unquoted one up to ";" or the end. Nothing when the value names none.
std::optional<std::string> FileNameFromContentDisposition(std::string_view value);

// The name made safe (above); nothing when nothing usable is left.
std::optional<std::string> SanitizeDownloadFileName(std::string_view name);

// The file name a response gives: the Content-Disposition's when it has a usable one,
// else the final URL's (util::CopyFileNameForURL), already safe.
std::string FileNameForResponse(const std::optional<std::string>& contentDisposition,
                                const values::Url& finalUrl);

}  // namespace engine
