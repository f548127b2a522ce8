#pragma once
// The procedural interface of the uploads: making and queueing uploads, and the
// implementations of the upload service seams (app/upload/services) that the download
// queue's commands, the undo manager, the main list, the scripting suite and the remote
// browser call.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>

#include "app/upload/queue/upload_item.h"

namespace upload {

// The host gets "ftp://" (type 1) or "ftps://" (type 4) in front unless it already starts
// so; the item is made for the local item at `localPath`, given its remote folder and
// queued. Nothing when it was refused.
UploadItemRef UploadItemCreateAndEnqueue(const std::string& localPath, const std::string& host,
                                         const std::optional<std::string>& domain, const std::string& user,
                                         const std::string& password, const std::string& uploadPath,
                                         std::int32_t hostType);
// An upload of the file to the file-hosting service (host type 8, no user or password).
UploadItemRef UploadItemEnqueueRapidShareFile(const std::string& localPath);

// Puts the uploads' implementations into the service slots.
void InstallUploadServices();

}  // namespace upload
