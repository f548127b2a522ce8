#pragma once
// The upload engine: one worker task per running upload.
//
// The main thread starts a worker for one item (`CreateUploadThreadController`). The
// worker keeps its own run loop and event loop, talks to the destination, asks the
// upload bandwidth limiter for every chunk it writes, and reports to the main thread
// only by posting 'TrUC' events (upload_events.h); the main thread talks to it only by
// posting 'SUCe' events to the worker's event queue (stop, answer to a file-exists
// question). The worker's record (`UploadRecord`) is handed to the main thread with
// the end event, when the worker no longer touches it.
//
// A stop asked for before the worker made its event queue is not lost: the controller
// keeps it and the worker looks at it before its first step.
//
// Each destination family fills the steps of a record through the destination table
// (upload_destinations.h): FTP, FTPS, other copies, WebDAV and the online disk are built;
// the file-hosting service answers that the step cannot start, and its upload ends as
// failed with a line in its log.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/task.h"
#include "platform/values/value.h"

namespace upload {

// End codes (the record's step when the worker ends).
inline constexpr std::int32_t kUploadEndFinished = 4;
inline constexpr std::int32_t kUploadEndFailed = 5;
inline constexpr std::int32_t kUploadEndCancelled = 6;
inline constexpr std::int32_t kUploadEndAuthRefused = 9;
inline constexpr std::int32_t kUploadEndAbortedByPeer = 10;
inline constexpr std::int32_t kUploadEndPermissionDenied = 11;

// Answers to a file-exists question.
inline constexpr std::int32_t kConflictReplace = 1;
inline constexpr std::int32_t kConflictResume = 2;
inline constexpr std::int32_t kConflictSkip = 3;
inline constexpr std::int32_t kConflictStop = 4;
inline constexpr std::int32_t kConflictNone = 5;

// What the worker is started with.
struct UploadStartInfo {
  std::string host;
  std::string user;
  std::string password;
  std::string filePath;
  std::string uid;
  std::int32_t hostType = 1;
  std::string uploadPath;
  values::Dictionary customAttributes;
};

struct UploadRecord;

class UploadThreadController {
 public:
  // Nothing when the host, the user (after the guest rule), the file or the uid is
  // missing, or no task could be made ("creating mp task failed" on the console).
  static std::shared_ptr<UploadThreadController> Create(const UploadStartInfo& info);
  ~UploadThreadController();

  // Main thread: the stop request; the worker ends with code 6.
  void Cancel();
  // Main thread: the answer to a file-exists question.
  void PostAnswer(std::int32_t answer, bool applyToAll);
  // The worker's event queue, once it runs.
  std::shared_ptr<runtime::EventQueue> eventQueue() const;

  // Worker side.
  void Attach(std::shared_ptr<runtime::EventQueue> queue, std::shared_ptr<runtime::EventTarget> target);
  void Detach();
  bool CancelRequested() const { return cancelRequested_.load(); }

  UploadThreadController() = default;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<runtime::EventQueue> queue_;
  std::shared_ptr<runtime::EventTarget> target_;
  std::atomic<bool> cancelRequested_{false};
  std::shared_ptr<runtime::Task> task_;
};

// What the end event hands over: the end code, the UID and the file name of the upload.
struct UploadEndReport {
  std::int32_t endCode = kUploadEndFailed;
  std::string uid;
  std::string fileName;
};

// Running workers (quitting waits for them). Any thread.
std::int32_t RunningUploadTaskCount();

// Time scale of the engine's own waits (retries 7 and 10 s, the progress timer, the
// verdict wait after a broken data connection): tests shorten them. 1 by default.
void SetUploadTimeScale(double scale);

}  // namespace upload
