#include "app/upload/engine/upload_destinations.h"

#include "app/upload/engine/ftp_upload.h"

namespace upload {

namespace {

constexpr UploadDestination kFTPDestination{FTPUploadStep, FTPApplyConflictAnswer, UploadSendFTPData};

}  // namespace

const UploadDestination* FindUploadDestination(std::int32_t hostType) {
  switch (hostType) {
    case kHostTypeFTP:
    case kHostTypeFTPS:
      return &kFTPDestination;
    default:
      // WebDAV, the online disk, another copy and the file-hosting service have no family
      // in this program yet.
      return nullptr;
  }
}

}  // namespace upload
