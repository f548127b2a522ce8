#pragma once
// Putting downloads into the queue. Every way in (the add window, scripts and browser
// plug-ins, pasted text, URL list files, the clipboard, browser download bundles,
// reopened partial packages, a peer's items) ends in AddDownload, which checks the URLs,
// builds the record, files it into the queue table, the end of the queue order (or a
// given place) and My Downloads, and registers the undo action. Adding never starts the
// queue.

#include <cstdint>
#include <optional>
#include <string>

#include "app/queue/record/download_queue_wrapper.h"
#include "platform/files/file_ref.h"

namespace queue {

inline constexpr const char kUnsupportedSchemeMessage[] =
    "URLs must start with http://, https://, ftp:// or ftps://";

struct AddDownloadRequest {
  values::Array urlEntries;      // the mirrors; copied into the record
  std::int32_t connections = 0;  // 0: the default; kept within 1 to 32
  std::int32_t completionType = 0;
  std::optional<std::string> completionAction;
  std::optional<values::Bytes> destination;  // alias of the folder; none: the default download folder
  std::int32_t queuePosition = 0;            // above 0: move there
  std::int32_t priority = 0;
  bool updateList = true;
  bool useAuth = false;
  bool saveCredentials = false;
  std::optional<std::string> user;
  std::optional<std::string> password;
  DownloadUID uid = 0;  // 0: a new UID
  std::optional<std::string> batchID;
  bool select = false;
};

// The new download's UID; 0 when nothing was added (a missing or malformed list silently,
// an unsupported scheme with a message).
DownloadUID AddDownload(const AddDownloadRequest& request);

// The URLs of one line of text as one download with the defaults and the session's batch id.
DownloadUID AddDownloadFromURLString(const std::string& text);
// Each "url: " (any case) of the file's first 65535 bytes starts a URL running to the next
// white space; each becomes a download. A file that is not UTF-8 adds nothing. Returns the
// number added.
std::size_t AddDownloadsFromURLListFile(const files::FileRef& file);
// Each trimmed line of the clipboard's text longer than one character. Returns the number added.
std::size_t AddDownloadsFromClipboard();

// Imports a browser's ".download" bundle (false for any other folder): the download is
// added with the bytes already received, and the bundle becomes a partial package.
bool ImportBrowserDownload(const files::FileRef& folder);
// Reopens a ".partial" package: reveals the download when the queue already has it, else
// adds it back so that its next start resumes the data file. Returns the UID (0: nothing).
DownloadUID AddDownloadFromPartialPackage(const files::FileRef& package);

// Adds further mirrors to a download still in the queue.
void AppendURLEntries(const values::Array& extra, const WrapperRef& wrapper);

}  // namespace queue
