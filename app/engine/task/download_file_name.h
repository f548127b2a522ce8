#pragma once
// Names a server proposes for the downloaded file (Content-Disposition, a page title)
// made safe to use inside the download folder.
//
// A server's name is outside text: it may hold a path ("../../.bashrc", "/etc/passwd",
// "a\\..\\b"), start with dots that would hide the file or climb out of the folder, hold
// control characters, or be longer than a file name may be. Only the last path component
// is kept (after either kind of slash), every leading dot is dropped, control characters
// and the remaining path separators become "_", and the result is cut to 255 bytes on a
// UTF-8 boundary. What is left empty, "." or ".." is refused: the caller keeps the name it
// had.

#include <optional>
#include <string>
#include <string_view>

namespace engine {

inline constexpr std::size_t kMaxFileNameBytes = 255;

std::optional<std::string> SanitizeServerFileName(std::string_view proposed);

}  // namespace engine
