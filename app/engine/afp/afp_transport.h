#pragma once
// The AFP transport of a download: mounts the server volume an "afp" URL names
// (volume_mounter.h) and reads the file from the mounted folder.
//
// afp://host/Volume/folder/file: the first path component names the volume, the rest is
// the file's path inside it. A path that climbs out of the volume ("..") is refused like
// one without a volume. The size comes from the file while the download does not know
// it; the bytes are read from the range's start and written like any other transport's;
// the end of the file ends the connection (done when its range or the whole file is
// there). Downloads of afp URLs run on one connection (the task sees to that).
//
// Without a mounter that can mount (the default on this system), the transport fails at
// once: the transfer log says "AFP volumes cannot be mounted on this system" and
// "Volume Mount failed instantly: -4", and the download fails with that status.

#include <memory>

#include "app/engine/task/download_transport.h"

namespace engine {

class AFPTransport final : public DownloadTransport {
 public:
  std::unique_ptr<TransportConnection> Open(DownloadConnection& connection) override;
};

// Registers "afp" in the process's transport table.
void RegisterAFPTransport();

}  // namespace engine
