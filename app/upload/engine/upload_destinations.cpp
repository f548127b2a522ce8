#include "app/upload/engine/upload_destinations.h"

#include "app/upload/engine/dav_upload.h"
#include "app/upload/engine/ftp_upload.h"
#include "app/upload/engine/peer_upload.h"

namespace upload {

namespace {

constexpr UploadDestination kFTPDestination{FTPUploadStep, FTPApplyConflictAnswer, UploadSendFTPData};
constexpr UploadDestination kPeerDestination{PeerUploadStep, nullptr, nullptr};
constexpr UploadDestination kDAVDestination{DAVUploadStep, DAVApplyConflictAnswer, UploadSendDAVData};

}  // namespace

const UploadDestination* FindUploadDestination(std::int32_t hostType) {
  switch (hostType) {
    case kHostTypeFTP:
    case kHostTypeFTPS:
      return &kFTPDestination;
    case kHostTypeBonjourPeer:
    case kHostTypePeerAddress:
      return &kPeerDestination;
    case kHostTypeIDisk:
    case kHostTypeWebDAV:
    case kHostTypeSecureWebDAV:
      return &kDAVDestination;
    default:
      // The file-hosting service has no family in this program yet.
      return nullptr;
  }
}

}  // namespace upload
