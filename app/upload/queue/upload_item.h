#pragma once
// One upload: one local file or folder to be sent to one destination.
//
// The item is the main thread's record of the upload. It never runs anything itself:
// starting makes a worker (the upload engine, app/upload/engine) that reports back by
// 'TrUC' events, and the event handler (app/upload/events) is the only writer of the
// fields the worker reports. The class-wide tables (upload_queue.h) hold every item,
// the waiting order and the running uploads.
//
// States are one value at a time (kUpload... below and in the service header); the host
// types are the numbers every subsystem shares (1 FTP ... 8 the file-hosting service).
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/upload/services/upload_rows.h"
#include "platform/files/alias.h"
#include "platform/values/uuid.h"
#include "platform/values/value.h"

namespace upload {

// Upload states besides those of the service header (waiting, uploading, finished).
inline constexpr std::int32_t kUploadFailed = 1;
inline constexpr std::int32_t kUploadCredentialsRefused = 2;
inline constexpr std::int32_t kUploadAbortedByPeer = 4;
inline constexpr std::int32_t kUploadCancelled = 8;

// Host types.
inline constexpr std::int32_t kHostTypeFTP = 1;
inline constexpr std::int32_t kHostTypeBonjourPeer = 2;
inline constexpr std::int32_t kHostTypePeerAddress = 3;
inline constexpr std::int32_t kHostTypeFTPS = 4;
inline constexpr std::int32_t kHostTypeIDisk = 5;
inline constexpr std::int32_t kHostTypeWebDAV = 6;
inline constexpr std::int32_t kHostTypeSecureWebDAV = 7;
inline constexpr std::int32_t kHostTypeFileHosting = 8;

// The file-hosting service's fixed host name.
inline constexpr const char kFileHostingHost[] = "rapidshare.com";

// Log lines keep the style they were written in: the program's own status lines bold,
// server texts in the fixed-pitch font.
enum class LogStyle : std::int32_t { kPlain = 0, kBold = 1, kFixedPitch = 2 };
struct LogRun {
  std::string text;
  LogStyle style = LogStyle::kPlain;
  bool operator==(const LogRun&) const = default;
};
using UploadLog = std::vector<LogRun>;
std::string LogPlainText(const UploadLog& log);

class UploadThreadController;

class UploadItem : public UploadRow, public std::enable_shared_from_this<UploadItem> {
 public:
  UploadItem() = default;

  // The initialiser: the local item found through its alias, checked for the host type.
  // Nothing (after the message the rules ask for) when the item is missing or a folder
  // goes to a destination that takes files only.
  static std::shared_ptr<UploadItem> Create(const files::AliasRecord& alias, const std::string& host,
                                            const std::optional<std::string>& domain, const std::string& user,
                                            const std::string& password, std::int32_t hostType);

  // Identity.
  values::Uuid uid;
  std::string uidString() const { return uid.ToString(); }

  std::string name;  // fileName: the local item's name when it was made
  UploadLog log;
  values::Dictionary customAttributes;
  std::int64_t size = 0;  // fileSize
  std::int32_t stateValue = kUploadWaiting;
  std::int64_t bytes = 0;  // bytesTransferred
  bool isFolder = false;
  std::string hostName;  // host
  std::string userName;  // user
  std::optional<std::string> domain;
  std::string pass;
  // "epass" as stored when this run cannot decipher it (its key is out of reach): written
  // back as it was until a password is given again.
  std::optional<values::Bytes> keptPass;
  std::string uploadPath;
  std::int32_t type = kHostTypeFTP;  // hostType
  bool resolved = false;
  bool resolving = false;
  std::shared_ptr<UploadThreadController> controller;
  std::optional<files::AliasRecord> fileAlias;
  std::optional<std::string> path;
  std::optional<values::Date> startDate;
  std::optional<values::Date> endDate;
  float speedValue = 0;  // KB/s
  double timeElapsedBeforeTask = 0;
  double timeTaskStarted = 0;
  bool useTaskTime = false;
  bool requeueAfterCancellation = false;
  std::int32_t count = 0;
  std::string batchID;
  // An earlier attempt of this run, or of the run before (the upload was uploading when
  // the uploads file was saved), ended before its end: a shorter remote file is its own.
  bool interruptedBefore = false;

  double timeElapsedThisTask() const;
  double totalTimeElapsed() const;

  // Sets the state and keeps the tables and the list in step (see the .cpp).
  void SetState(std::int32_t newState);
  // Resolves the alias without asking; a missing item clears path and alias.
  void UpdateLocation();

  // UploadRow.
  std::string fileName() const override { return name; }
  std::int64_t fileSize() const override { return size; }
  std::int64_t bytesTransferred() const override { return bytes; }
  float speed() const override { return speedValue; }
  std::int32_t state() const override { return stateValue; }
  std::uint32_t waitingIndex() const override;
  double totalElapsed() const override { return totalTimeElapsed(); }
  double startTime() const override;
  double endTime() const override;
  std::optional<std::string> localPath() const override { return path; }
  std::int32_t completionCount() const override { return count; }
  std::optional<std::string> user() const override { return userName; }
  std::optional<std::string> host() const override { return hostName; }
  std::int32_t hostType() const override { return type; }
  std::optional<std::string> destinationPath() const override { return uploadPath; }
  bool MatchesListFilter(const std::string& text) const override;
};

using UploadItemRef = std::shared_ptr<UploadItem>;

// "%llu B", "%llu KB", "%llu MB", "%llu GB" as the start notice shows sizes.
std::string UploadSizeText(std::int64_t bytes);

}  // namespace upload
