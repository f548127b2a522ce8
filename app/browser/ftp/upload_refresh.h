#pragma once
// After an upload has finished, the remote browser's folders that show where it went are
// listed again, so the new file appears there: for each open connection of the upload's
// host type whose server is the upload's host, the folder of the upload's path, when the
// tree shows every folder down to it; a root never listed is left alone.
//
// Paths are compared as components split at "/", after making them start with "/" and
// dropping one trailing "/" ("/" alone is one empty component); a leading "%2F", as the
// browser writes a path from the server's root, counts as "/". Hosts are compared without
// case, the upload's host without its "ftp://" or "ftps://". A root never listed is left
// alone. Only FTP and FTPS connections have folders here; other host types change nothing.
//
// Main thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace browser {

// The components of a remote path as the refresh compares them.
std::vector<std::string> UploadPathComponents(const std::string& path);

// `hostType` as the uploads number them (1 FTP, 4 FTPS); the folders refreshed.
int RefreshBrowsersAfterUpload(std::int32_t hostType, const std::string& host, const std::string& uploadPath);

}  // namespace browser
