#pragma once
// What scripts, the when-done check, the remote browser and peer sharing ask of the
// uploads: queue a file for the file-hosting service (the Finder menu's hand-off), queue
// a file or folder for a destination (the remote browser's upload into a folder it
// shows), how many uploads run, and the uploads to one peer (cancelled or counted when
// the peer goes).
//
// The uploads register their implementation at start-up with UploadHandoffServiceSlot::Set().
// Until then no upload can be queued (the hand-off answers false and queues nothing) and
// none runs.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace upload {

// One upload to queue. `uploadPath` is the remote folder: a path that begins with "/"
// or "%2F" is absolute on the server. Host types: 1 FTP, 2 Bonjour peer, 3 peer by
// address, 4 FTPS, 5 iDisk, 6 WebDAV, 7 secure WebDAV, 8 the file-hosting service.
struct UploadRequest {
  std::string localPath;
  std::string host;
  std::optional<std::string> domain;
  std::string user;
  std::string password;
  std::string uploadPath;
  std::int32_t hostType = 1;
};

class UploadHandoffService {
 public:
  virtual ~UploadHandoffService() = default;
  // Queues an upload of the file to the file-hosting service (host type 8, no user or
  // password); false when it could not be queued.
  virtual bool EnqueueRapidShareFile(const std::string& path) = 0;
  virtual std::int32_t CountActiveUploads() = 0;
  // Queues the upload (it waits its turn); false when it was refused (the file is missing,
  // or a folder goes where only files may).
  virtual bool EnqueueUpload(const UploadRequest&) { return false; }
  // The uploads to one peer: `host` is the Bonjour service name for type 2, else the
  // address; `port` the peer's file-transfer port.
  virtual void CancelUploadsToHost(const std::string&, int, const std::string&, const std::string&,
                                   std::int32_t) {}
  virtual std::int32_t CountUploadsToHost(const std::string&, int, const std::string&, const std::string&,
                                          std::int32_t) {
    return 0;
  }
};

class NoUploadHandoffService : public UploadHandoffService {
 public:
  bool EnqueueRapidShareFile(const std::string&) override { return false; }
  std::int32_t CountActiveUploads() override { return 0; }
};

using UploadHandoffServiceSlot = runtime::ServiceSlot<UploadHandoffService, NoUploadHandoffService>;

}  // namespace upload
