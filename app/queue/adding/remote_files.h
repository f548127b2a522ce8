#pragma once
// The queue's side of the remote browser: records for the files of a remote listing and
// downloads of remote files (queue::RemoteFilesService). Start-up installs it.

#include "app/queue/services/remote_files_service.h"

namespace queue {

// The four-character kind tag of a remote listing's file record.
inline constexpr std::uint32_t kRemoteFileElementTag = 0x456C656D;  // 'Elem'
// Flags of a remote file's record.
inline constexpr std::int16_t kRemoteFileFlags = 4 | 8;

class QueueRemoteFiles : public RemoteFilesService {
 public:
  RemoteHandle MakeRemoteFileRecord(const RemoteFileFacts& facts) override;
  void SetRemoteFileName(const RemoteHandle& record, const std::string& name,
                         const std::string& url) override;
  RemoteHandle BeginDownloadGroup(const std::string& title) override;
  std::uint32_t AddRemoteDownload(const RemoteDownloadRequest& request, const RemoteHandle& group) override;
};

}  // namespace queue
