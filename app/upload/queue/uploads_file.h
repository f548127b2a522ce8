#pragma once
// The uploads file "Truvane Uploads" in the application-support folder: an XML property
// list {"objects": {UID text: upload record}, "order": [UID text of each waiting upload],
// "received files": [the received files' records, kept for peer sharing]}.
//
// An upload record holds the keys "count", "uid" (16 bytes), "fileName", "uploadPath",
// "alog" (the log's runs: [{"text", "style"}]), "fileSize", "state", "bytesTransferred",
// "host", "user", "domain", "epass" (the password as UTF-16 with a byte-order mark,
// enciphered with the stored-password cipher; left out when that cannot be done: the
// password is then kept in memory only, never in clear text), "hostType", "rendezvous",
// "fileAlias", "startDate", "endDate", "path", "timeElapsedBeforeTask", "speed",
// "batchID", "customAttributes". Read also: "pass" (an older clear-text password, only
// when "epass" gave none); "hostType" 0 (older files) is 3, or 2 with "rendezvous".
//
// Nothing queued may be lost to a failed write or a damaged file:
// - a save writes "Truvane Uploads.new", flushes it, reads it back and checks that it
//   parses and holds every upload, and only then renames it over the old file;
// - a file that cannot be read or parsed is moved aside ("Truvane Uploads.unreadable",
//   ".unreadable.1", ...) and the queue starts empty; when it cannot be moved, saving is
//   refused for the rest of the run rather than overwrite it.
// When the file is missing, "Truvane 3 Uploads" in the preferences folder is read.
//
// At load nothing runs: an upload that was uploading waits again, at the head of the
// waiting list, ahead of the saved order.
//
// Main thread only (the reader `ReadUploadsArchive` is a pure function).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/upload/queue/upload_item.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace upload {

inline constexpr const char kUploadsFileName[] = "Truvane Uploads";
inline constexpr const char kOlderUploadsFileName[] = "Truvane 3 Uploads";
// Far beyond any real queue; a larger file is damaged.
inline constexpr std::size_t kMaxUploadsFileSize = std::size_t{64} << 20;

struct UploadsArchive {
  struct Entry {
    UploadItemRef item;
    bool wasUploading = false;
  };
  std::vector<Entry> items;  // in the file's order of "objects"
  std::vector<std::string> order;
  values::Value receivedFiles;
};

// Parses the file's bytes; nothing when they are not an uploads file. Touches no file
// (aliases are not resolved here).
std::optional<UploadsArchive> ReadUploadsArchive(std::span<const std::uint8_t> bytes);
values::Value EncodeUploadItem(const UploadItem& item);
UploadItemRef DecodeUploadItem(const values::Value& record, bool& wasUploading);

files::Result<files::FileRef> UploadsFileRef();
files::Status SaveUploadQueue();
files::Status LoadUploadQueue();
bool UploadsFileSaveBlocked();

}  // namespace upload
