#pragma once
// How the FTP browser names its folders and files as URLs.
//
// A folder's path gets a trailing "/" and is percent-escaped (UTF-8). In absolute form one
// leading "/" is dropped and "%2F" put in front, so that the server reads the path from
// its root rather than from the login folder. "/" alone gives the bare server URL:
//   host h, path "pub":  ftp://h/pub/   absolute ftp://h/%2Fpub/
//   host h, path "":     ftp://h        absolute ftp://h/%2F
// A file is its folder's absolute URL with the escaped name appended; a file of the root
// folder reads "/%2Fname", never "/%2F/name".

#include <optional>
#include <string>

namespace browser {

// Nothing when the path cannot be escaped or the result is no URL.
std::optional<std::string> FTPFolderURL(const std::string& host, const std::string& path, bool secure,
                                        bool absolutize);
std::optional<std::string> FTPFileURL(const std::string& folderURL, const std::string& name);

}  // namespace browser
