#include "app/upload/engine/upload_destinations.h"

#include "app/upload/engine/ftp_upload.h"
#include "app/upload/engine/peer_upload.h"

namespace upload {

namespace {

constexpr UploadDestination kFTPDestination{FTPUploadStep, FTPApplyConflictAnswer, UploadSendFTPData};
constexpr UploadDestination kPeerDestination{PeerUploadStep, nullptr, nullptr};

}  // namespace

const UploadDestination* FindUploadDestination(std::int32_t hostType) {
  switch (hostType) {
    case kHostTypeFTP:
    case kHostTypeFTPS:
      return &kFTPDestination;
    case kHostTypeBonjourPeer:
    case kHostTypePeerAddress:
      return &kPeerDestination;
    default:
      // WebDAV, the online disk and the file-hosting service have no family in this
      // program yet.
      return nullptr;
  }
}

}  // namespace upload
