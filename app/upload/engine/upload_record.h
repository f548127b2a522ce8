#pragma once
// The record of one running upload and the frame every destination family shares: the
// step field and its end codes, ending and retrying, the log lines, the events to the
// main thread, the bandwidth requests and the file buffer. Worker thread only (the main
// thread gets the record with the end event, after the worker let go of it).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/engine/ftp/ftp_connection.h"
#include "app/upload/engine/upload_engine.h"
#include "app/upload/queue/upload_item.h"
#include "platform/files/file_handle.h"
#include "platform/net/http_authentication.h"
#include "platform/runtime/event.h"
#include "platform/runtime/message_queue.h"
#include "platform/runtime/run_loop.h"

namespace upload {

class FolderUploadContext;
struct PeerConnection;
struct DAVConnection;
struct DAVUploadState;

// Step values while the worker runs (the family says what each means).
inline constexpr std::int32_t kUploadStepConnect = 1;
inline constexpr std::int32_t kUploadStepSend = 2;
inline constexpr std::int32_t kUploadStepAskServer = 18;

// UploadStep results.
inline constexpr int kStepUnderWay = 0;
inline constexpr int kStepCannotStart = -1;
inline constexpr int kStepNothingLeft = -1417;

inline constexpr std::size_t kInitialBufferSize = 65536;
inline constexpr std::size_t kBufferGrowth = 32768;
inline constexpr std::size_t kBufferGrowLimit = 524287;
inline constexpr int kRateSamples = 30;

struct UploadRecord {
  UploadStartInfo info;  // host, user, password, uploadPath, file, uid, host type, attributes
  std::string currentFolder;
  std::string fileName;  // the local item's name (the end report)
  std::string filePath;  // inside a folder upload: the file now being sent
  std::string rootFolder;
  bool isFolder = false;

  std::int32_t step = kUploadStepConnect;
  std::optional<files::FileHandle> fileStream;
  std::int64_t fileReadOffset = 0;
  std::int64_t resumeOffset = 0;
  std::int64_t fileSize = 0;
  bool transferStarted = false;
  std::shared_ptr<std::set<std::string>> uploadedPaths;

  std::vector<std::uint8_t> buffer;
  std::size_t bufferPending = 0;  // bytes read from the file and not yet written, at the start
  std::int64_t rateBytes = 0;
  std::int64_t bytesSent = 0;
  std::int64_t bytesOfFinishedFiles = 0;

  std::unique_ptr<engine::FTPConnectionParam> ftpConnection;
  bool dataWritesFinished = false;
  bool dataCanWrite = false;  // the data connection said it takes bytes
  bool sendContinuationPending = false;
  std::optional<net::StreamError> dataError;  // a broken data connection waiting for the server's verdict

  // Uploads to another copy (peer_upload.h): the request under way, the receiver's key and
  // the digest answered last, kept from one request to the next.
  std::shared_ptr<PeerConnection> peerConnection;
  std::shared_ptr<const void> serverKey;
  std::shared_ptr<net::HttpAuthentication> serverAuthentication;
  int peerChallengesInARow = 0;  // 401 and 499 answered since the last 200
  // Uploads to WebDAV servers and the online disk (dav_upload.h): the request under way,
  // and the walk and URL of the item being sent.
  std::shared_ptr<DAVConnection> davConnection;
  std::shared_ptr<DAVUploadState> davState;

  bool cancelled = false;
  bool done = false;
  std::array<std::int64_t, kRateSamples> sampleBytes{};
  std::array<double, kRateSamples> sampleTimes{};
  int sampleCount = 0;
  bool abortedByPeer = false;
  std::int32_t answerForAll = kConflictNone;
  std::int32_t pendingAnswer = kConflictNone;
  bool hostReachable = true;
  bool quitting = false;

  // Worker machinery.
  std::shared_ptr<runtime::RunLoop> loop;
  std::shared_ptr<runtime::EventQueue> eventQueue;
  std::optional<runtime::MessageQueue> throttleReplyQueue;
  std::shared_ptr<runtime::Timer> retryTimer;
  std::shared_ptr<runtime::Timer> verdictTimer;
  std::vector<std::unique_ptr<engine::FTPConnectionParam>> graveyard;
  std::vector<std::shared_ptr<PeerConnection>> peerGraveyard;
  std::shared_ptr<runtime::Timer> graveyardTimer;
};

// Posting to the main thread.
runtime::EventRef MakeUploadEvent(const UploadRecord& r, std::uint32_t kind);
void PostUploadEvent(runtime::EventRef event);
void PostUploadLog(const UploadRecord& r, const std::string& text, LogStyle style = LogStyle::kPlain);
void PostUploadCustomAttributes(UploadRecord& r, const std::string& key, values::Value value);

// Ends the worker with `code` (4 also sets done): the event loop is told to quit.
void EndUpload(UploadRecord& r, std::int32_t code);
// Closes every stream and connection and calls the step again after `seconds`.
void ScheduleRetry(UploadRecord& r, double seconds);
// Releases streams, buffer and the connection (the connection's record is kept alive
// until the next turn of the run loop: a callback of it may still be on the stack).
void UploadCloseStreams(UploadRecord& r);
// The step due, through the destination table.
int UploadStep(UploadRecord& r);
// The POSIX errors that retry after 10 s (32, 50, 51, 54, 61) with their log line;
// nothing for any other error.
std::optional<std::string> RetryableErrorText(const net::StreamError& error);

// Bandwidth: the grant for `wanted` bytes (whole when the limit is off), and the report
// of what was written.
std::size_t UploadThrottleRequest(UploadRecord& r, std::size_t wanted);
void UploadThrottleGiveBack(std::size_t granted, std::size_t written);

// Engine waits scaled for tests.
runtime::Nanoseconds ScaledSeconds(double seconds);

// The file-exists answer for the record's family.
void UploadApplyConflictAnswer(UploadRecord& r, std::int32_t answer);

}  // namespace upload
