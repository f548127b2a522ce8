#pragma once
// What the remote browser asks of the queue: a download record for each file of a remote
// listing (the main list shows it as a download row, but it is never in the queue), and
// downloads of remote files added to the queue as one undo step.
//
// Records and groups are opaque handles: the queue makes them and alone knows their type
// (a download wrapper, a DownloadUndoGrouping); the browser keeps them and passes them back.
// A group ends, registering its undo step, when its last handle goes.
//
// The queue registers its implementation at start-up with RemoteFilesServiceSlot::Set().
// Until then no record is made (listings show folders only) and nothing is queued.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/service_slot.h"

namespace queue {

struct RemoteFileFacts {
  std::uint32_t hostID = 0;  // the connection's id (top bit set)
  std::string name;
  std::string url;
  std::int64_t size = -1;          // -1: unknown
  std::optional<double> modified;  // absolute time
  bool useAuth = false;
  std::string user;
  std::string password;
  std::optional<std::string> owner;
  std::optional<std::string> group;
  std::uint32_t mode = 0;
};

struct RemoteDownloadRequest {
  std::string url;
  std::int32_t connections = 2;
  std::string destinationFolder;  // a local folder (made by the caller)
  bool useAuth = false;
  std::string user;
  std::string password;
  std::optional<std::string> relativeLocation;  // below the destination
};

using RemoteHandle = std::shared_ptr<void>;

class RemoteFilesService {
 public:
  virtual ~RemoteFilesService() = default;
  // Nothing when no record can be made.
  virtual RemoteHandle MakeRemoteFileRecord(const RemoteFileFacts& facts) = 0;
  // A renamed or moved remote file: its name and URL.
  virtual void SetRemoteFileName(const RemoteHandle& record, const std::string& name,
                                 const std::string& url) = 0;
  // A group of downloads titled by a format with one %d (the count).
  virtual RemoteHandle BeginDownloadGroup(const std::string& title) = 0;
  // The new download's UID, filed into the group; 0 when nothing was added.
  virtual std::uint32_t AddRemoteDownload(const RemoteDownloadRequest& request,
                                          const RemoteHandle& group) = 0;
};

class NoRemoteFiles : public RemoteFilesService {
 public:
  RemoteHandle MakeRemoteFileRecord(const RemoteFileFacts&) override { return nullptr; }
  void SetRemoteFileName(const RemoteHandle&, const std::string&, const std::string&) override {}
  RemoteHandle BeginDownloadGroup(const std::string&) override { return nullptr; }
  std::uint32_t AddRemoteDownload(const RemoteDownloadRequest&, const RemoteHandle&) override { return 0; }
};

using RemoteFilesServiceSlot = runtime::ServiceSlot<RemoteFilesService, NoRemoteFiles>;

}  // namespace queue
