#pragma once
// The record of one download: where it comes from, where it goes, how far it got, and the
// handles of its running task. One record per download, owned by its wrapper
// (download_queue_wrapper.h); the queue file stores the persistent fields
// (queue_element_record.h), the rest start empty at every launch.
//
// Main thread only: download tasks never touch a record, they report through events.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/engine/log/transfer_log.h"
#include "app/queue/record/boxed_optional.h"
#include "app/queue/record/download_status.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {
class DownloadStopSource;
class DownloadTaskController;
}  // namespace engine

namespace queue {

using DownloadUID = std::uint32_t;
using ViewID = std::uint32_t;

// Identifies a record as a download among other list items.
inline constexpr std::uint32_t kDownloadQueueElementTag = 0x44514557;  // 'DQEW'

// Bit 0 of `flags`: the file name is fixed (the server or the user chose it).
inline constexpr std::int16_t kFlagFilenameFixed = 1;
// Bit 1 of `flags`: handed to the download task at every start.
inline constexpr std::int16_t kFlagTaskOption = 2;

struct DownloadQueueElement {
  std::uint32_t tag = kDownloadQueueElementTag;
  std::uint32_t hostID = 0;               // a peer's host for shared items; 0 for local downloads
  std::optional<std::string> completion;  // argument of the completion action
  std::string filename;
  values::Array urlData;  // the mirrors: URL entries with "url" as text
  DownloadUID uid = 0;
  std::int64_t fileSize = 0;  // all-ones or 0 while unknown
  double duration = 0;        // seconds spent downloading, over all runs
  std::int32_t completionType = 0;
  std::optional<values::Bytes> fileAlias;     // the data file (in the partial package while unfinished)
  std::optional<values::Bytes> destination;   // destination folder; none: the default download folder
  std::optional<values::Bytes> completeFile;  // the finished file
  BoxedOptional<values::Url> completeURL;     // the finished file, beside its alias
  std::int32_t queuePosition = 0;             // 1-based place in the queue order while Queued
  std::int32_t downloadCount = 0;
  std::int32_t connections = 0;  // 1 to 32
  std::int32_t openConnections = 0;
  DownloadStatus status = kStatusQueued;
  std::int32_t historyPosition = -1;
  std::uint32_t historyGroup = 0;
  std::int32_t priority = 0;  // 0, 1 or 2
  double startDate = 0;       // absolute time (since 2001)
  double endDate = 0;
  std::int64_t progress = 0;  // bytes received
  std::int16_t flags = 0;
  std::vector<std::string> domains;  // host names of the URLs, for the per-host limits
  bool useAuth = false;
  std::string authUser;
  std::string authPassword;
  std::optional<std::string> relativeLocation;  // sub-path below the download folder
  bool finished = false;
  double scheduleTime = 0;  // 0 or less: none

  // Run-time state, never stored.
  std::shared_ptr<engine::DownloadStopSource> stopSource;      // signalled to stop the running task
  std::shared_ptr<engine::DownloadTaskController> controller;  // answers the running task
  bool requeueOnStop = false;
  engine::TransferLogRecord transferLog;  // this run's transfer log
  std::string failureReason;              // why the last run failed; empty otherwise
  bool inUse = false;
  float rate = 0;
  double elapsed = 0;

  // The folders that list the download, by folder id; kept in step with the folders' items.
  std::set<ViewID> foldersContainedIn;
  std::optional<std::string> batchID;
  std::optional<std::string> checksum;
  bool verificationFailed = false;
  bool returnToQueue = false;
};

}  // namespace queue
