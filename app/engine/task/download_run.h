#pragma once
// One running download: its connections, the scheduler that splits the missing bytes
// among them, and the task body that drives it all on one thread.
//
// Model. A `DownloadRun` lives on the download's own task (thread) and is touched only
// there: its run loop serves the connections' transports, the 0.8-second progress tick,
// the 15-second ranges save, one-shot retry timers, the stop source and the 'TRCo'
// answers of the main thread. The data file is written in place at each connection's
// offset (one positioned write per read); the done list (download_ranges.h) says what is
// on disk, and every reader merges the running connections' progress into it first.
//
// Scheduling: the first connection runs alone until the size is known; then the gaps of
// the done list are cut into pieces for up to `wantedConnections` connections. A running
// connection keeps about eight seconds of its own share ahead of its write position (the
// reserve), so that nobody is started on bytes it will reach soon; pieces below 256 KiB are
// not split further while connections run. A connection that ends hands its rest to the
// neighbour right behind it, or leaves a gap for the next split.
//
// Ending a connection goes through `StreamEnded` with a set of flags
// (download_transport.h) that decides what follows. The run gives back the host counts
// the download holds on every way out, and a failure to write the data file (disk full,
// I/O error) ends the download with that error instead of retrying.

#include <any>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/services/download_engine_services.h"
#include "app/engine/services/download_event_keys.h"
#include "app/engine/task/download_ranges.h"
#include "app/engine/task/download_timing.h"
#include "app/engine/task/download_transport.h"
#include "app/engine/task/stream_progress.h"
#include "platform/files/file_handle.h"
#include "platform/files/splice_pipe.h"
#include "platform/net/certificate.h"
#include "platform/net/reachability.h"
#include "platform/net/stream_error.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/message_queue.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/url.h"

namespace engine {

class DownloadRun;

inline constexpr std::int32_t kMaxConnections = 10;
// Disk space kept for the ranges file: a page holds some two hundred ranges.
inline constexpr std::uint64_t kRangesFileReserve = 4096;
inline constexpr std::size_t kFirstBytesLength = 1024;
inline constexpr std::size_t kInitialReadBuffer = 24576;
inline constexpr std::size_t kMaxGrowableReadBuffer = 524288;
inline constexpr std::size_t kReadBufferShrink = 16384;
inline constexpr std::size_t kMinShrinkableReadBuffer = 20480;
// Plain failures of one mirror in a row, without a byte written in between, before the
// mirror counts as failed for good. A server that keeps refusing would otherwise be asked
// every minute for ever.
inline constexpr int kMaxRetriesWithoutProgress = 8;
// Error domain of a download aborted for a server answer that is not an HTTP 401.
inline constexpr int kAbortedDownloadDomain = 1048576;

// One connection of a download.
class DownloadStream final : public DownloadConnection {
 public:
  DownloadStream(DownloadRun& owner, std::size_t entryIndex, LongRange range);
  ~DownloadStream() override;

  // DownloadConnection
  const values::Url& URL() const override { return url_; }
  values::Value& Entry() override;
  LongRange Range() const override { return range; }
  std::int64_t WriteOffset() const override { return writeOffset; }
  std::int64_t BytesDone() const override { return bytesDone; }
  bool NeedsValidation() const override { return needsValidation; }
  bool IsSoleConnection() const override { return soleConnection; }
  std::int64_t ServerSize() const override { return serverSize; }
  void SetServerSize(std::int64_t size) override { serverSize = size; }
  const DownloadFacts& Download() const override;
  std::any& DownloadSlot(std::string_view key) override;
  std::any& Carried() override { return carried; }
  void MarkValidated() override;
  void LearnFileSize(std::int64_t size) override;
  void ProposeFileName(std::string_view name, bool fromPageTitle) override;
  void ApplyPendingRanges() override;
  void LowerWantedConnections() override;
  void WatchReachability() override;
  void SetPeerCertificates(std::vector<net::Certificate> chain) override {
    peerCertificates = std::move(chain);
  }
  void SetError(net::StreamError e, std::string text) override;
  void Log(std::string_view line) override;
  void NoteActivity() override;
  void SetTimeout(double seconds) override { timeout = seconds; }
  std::span<std::uint8_t> ReadBuffer() override;
  bool WriteReceived(std::size_t count) override;
  bool WriteBytes(std::span<const std::uint8_t> bytes) override;
  std::size_t RequestBandwidth(std::size_t wanted) override;
  void ReportTransfer(std::size_t unusedGrant, std::size_t moved) override;
  std::optional<PipeTarget> SplicePipe() override;
  bool WriteSpliced(std::size_t count) override;
  bool End(std::uint32_t flags) override;
  void StopDownload() override;
  bool OpenReplacement(std::optional<values::Url> url, std::any carried) override;

  // Opens through the transport of the URL's scheme; false (error set) when it cannot.
  bool Open();
  // Stops the transport; the object stays until the run frees it.
  void Close();
  bool IsOpen() const { return transport_ != nullptr; }

 private:
  // The scheduler is the one reader of the fields below; transports see a connection
  // only through DownloadConnection.
  friend class DownloadRun;

  bool transportWantsResumeCheck() const { return transportType_ && transportType_->WantsResumeCheck(); }
  void SetURL(values::Url url) { url_ = std::move(url); }

  DownloadRun& owner;
  std::size_t entryIndex;
  LongRange range;
  bool pendingRangeSet = false;
  LongRange pendingRange;
  std::int64_t writeOffset = 0;
  std::int64_t bytesDone = 0;
  std::int64_t serverSize = -1;
  bool soleConnection = false;
  bool needsValidation = false;
  bool headChecked = false;
  bool wroteData = false;
  std::array<std::uint8_t, kFirstBytesLength> headBuffer{};
  std::size_t headCount = 0;
  net::StreamError error;
  std::string errorText;
  std::vector<std::uint8_t> buffer;
  std::size_t bufferSize = kInitialReadBuffer;
  std::optional<files::SplicePipe> pipe;  // made on first use
  bool pipeUnavailable = false;
  double lastActivity = 0;
  double timeout = kConnectionTimeout;
  std::vector<net::Certificate> peerCertificates;
  std::any carried;
  values::Url url_;
  std::shared_ptr<DownloadTransport> transportType_;
  std::unique_ptr<TransportConnection> transport_;
  std::unique_ptr<TransportConnection> closedTransport_;
};

struct DownloadRunOptions {
  // Where the task's 'TRDc' events go. Default: the main event queue, addressed to the
  // download event target (transfer_log.h).
  std::function<void(runtime::EventRef, runtime::EventPriority)> post;
  // Lines for the download's transfer log. Default: PostTransferLogLine.
  std::function<void(std::string_view line)> log;
  DownloadTransportTable* transports = nullptr;  // default: DownloadTransports()
  // The path part of an online store's download script, whose downloads take one
  // connection and no restarts; empty: none.
  std::string storeScriptPath;
  // Seconds between progress ticks and between range saves (tests shorten them only
  // under a fake clock: the numbers are the product's).
  double tickInterval = kProgressTickInterval;
  double saveInterval = kRangesSaveInterval;
  // Fit the connection count to the file's size (LimitStreamsForFileSize). Off only where
  // a test or benchmark wants many connections on a small file.
  bool fitConnectionsToSize = true;
  // How long a question to the user may stay unanswered (tests shorten it).
  double questionTimeout = kQuestionTimeout;
};

class DownloadRun {
 public:
  DownloadRun(std::unique_ptr<DownloadThreadState> input, DownloadRunOptions options = {});
  ~DownloadRun();
  DownloadRun(const DownloadRun&) = delete;
  DownloadRun& operator=(const DownloadRun&) = delete;

  // The task body, run on the task's own thread: from opening the files to the finished
  // event.
  void Run();

  // ---- Answers of the main thread (on the task's thread, from 'TRCo' events)
  void ContinueAfterCertificate(bool alwaysTrust);
  // The certificate was not trusted: the download fails with the host and the problem.
  void RefuseCertificate();
  void SupplyCredentials(std::optional<std::string> user, std::optional<std::string> password);

  // ---- Scheduler
  void SpawnMoreStreams();
  // The unfinished ranges (see the model); locations of gaps nobody works on are negated.
  RangeList ComputeUnfinishedRanges(std::int64_t reserve);
  bool StreamEnded(DownloadStream& stream, std::uint32_t flags);
  bool WriteStreamData(DownloadStream& stream, std::span<const std::uint8_t> bytes, bool fromReadBuffer);
  std::optional<DownloadConnection::PipeTarget> SplicePipeFor(DownloadStream& stream);
  bool WriteSplicedData(DownloadStream& stream, std::size_t count);
  void ApplyPendingRanges();
  std::size_t PickURLEntry();
  void MergeProgress();
  void Tick(bool final = false);
  void LearnFileSize(DownloadStream& stream, std::int64_t size);
  void ProposeFileName(std::string_view name, bool fromPageTitle);
  bool OpenReplacement(DownloadStream& old, std::optional<values::Url> url, std::any carried);
  void Log(std::string_view line);
  // Each running connection's write position plus `add`.
  std::vector<std::int64_t> CopyStreamResumeOffsets(std::int64_t add = 0) const;
  // Reachability of the mirrors' hosts: one watch per entry, reports on the task's loop.
  void WatchReachability(DownloadStream& stream);
  void ReachabilityChanged(std::size_t entryIndex, unsigned flags);
  std::size_t RequestBandwidth(std::size_t wanted);
  void ReportTransfer(std::size_t unusedGrant, std::size_t moved);

  // ---- State (the task's own; tests read it)
  DownloadThreadState& input() { return *input_; }
  DownloadFacts& facts() { return facts_; }
  values::Array& urlEntries() { return input_->urlEntries; }
  RangeList& doneRanges() { return done_; }
  const std::vector<std::unique_ptr<DownloadStream>>& connections() const { return connections_; }
  DownloadTransportTable& transports() { return *transports_; }
  std::any& Slot(std::string_view key) { return slots_[std::string(key)]; }
  float rate() const { return rate_; }
  bool stopped() const { return stopped_; }
  bool failed() const { return failed_; }
  const net::StreamError& error() const { return error_; }
  const std::string& errorMessage() const { return errorMessage_; }
  // Why the download failed, in words: the server's or the engine's text and the error
  // code described. Logged at the end of a failed run and sent with the finished event.
  std::string FailureText() const;
  std::int32_t Retries(std::size_t entryIndex) const;

 private:
  friend class DownloadStream;

  void Post(runtime::EventRef event, runtime::EventPriority priority);
  runtime::EventRef MakeEvent(std::uint32_t kind);
  void PostFinished(std::int32_t reason, bool verifyFailed);
  void PostQuestion(std::uint32_t kind, DownloadStream& stream);
  bool OpenFiles();
  void StartFirstConnection();
  void SaveRanges();
  void ReserveRangesSpace();
  bool OpenNewStream(std::size_t entryIndex, LongRange range, bool needsValidation, bool sole = false);
  // Adds a connection to the list when it opens; false (freed) when it cannot.
  bool AddAndOpen(std::unique_ptr<DownloadStream> stream);
  // Closes the stream and takes it out of the list; it is freed once the current callback
  // has returned.
  void Remove(DownloadStream& stream);
  void CloseStream(DownloadStream& stream);
  void SetRangeWithRule(DownloadStream& stream, LongRange newRange);
  void HandRestToNeighbour(DownloadStream& failed);
  void RestartFromScratch(DownloadStream& stream);
  void SpawnAfter(double seconds);

  // ---- Steps of SpawnMoreStreams
  // Per gap: how many connections it gets, and whether a running connection reaches it.
  struct GapAssignment {
    std::vector<std::int32_t> assigned;
    std::vector<bool> worked;
  };
  std::size_t FirstUsableEntry();
  // What a running connection keeps ahead of itself: about 8 s of its share.
  std::int64_t ReserveAhead(std::int32_t open) const;
  void SpawnWithoutRestarts(std::size_t firstUsable, std::int32_t open);
  GapAssignment MarkWorkedGaps(const RangeList& gaps, std::int64_t reserve) const;
  void AssignBalanced(const RangeList& gaps, GapAssignment& plan, std::int32_t toAdd, std::int32_t open);
  static void AssignToFreeGaps(GapAssignment& plan, std::int32_t toAdd);
  DownloadStream* StreamReaching(std::int64_t location, std::int64_t reserve) const;
  // Shortens the running connections the plan splits and returns the new pieces.
  std::vector<LongRange> CutPieces(const RangeList& gaps, const GapAssignment& plan, std::int64_t reserve);

  // ---- Steps of StreamEnded, one per way a connection ends; each returns its answer.
  bool KeepAsWholeFile(DownloadStream& stream);
  bool EndedWithoutError(DownloadStream& stream, std::uint32_t flags);
  // Counts a plain failure against its mirror; the flags gain kStreamFatal past the bound.
  std::uint32_t CountPlainFailure(const DownloadStream& stream, std::uint32_t flags);
  bool EndedFatally(DownloadStream& stream);
  static std::uint32_t QuestionFor(std::uint32_t flags);
  bool AskUser(DownloadStream& stream, std::uint32_t question);
  void QuestionTimedOut();
  void EndQuestion();
  static std::string CertificateProblem(const net::StreamError& error, std::uint32_t kind);
  bool EndAllConnections(DownloadStream& stream, std::uint32_t flags);
  static double RetryDelayFor(std::uint32_t flags);
  bool RetryLater(DownloadStream& stream, std::uint32_t flags);
  bool ServerIgnoresRanges(DownloadStream& stream);

  // ---- Steps of Run
  void BeginTask();
  void FailToOpenFiles();
  void ChooseConnectionCount();
  void StartTimers();
  void RunUntilDone();
  // Past the loop: timers off, host counts back, progress and ranges saved.
  void StopEverything();
  std::int32_t FinishReasonNow() const;
  bool VerifyChecksum();
  void CloseFiles();
  void ClearTaskEndKeys();
  void EndTask();
  void ArmEmptyCheck();
  void QuitLoop();
  void FailWith(const DownloadStream& stream);
  void GiveBackHostCount(const DownloadStream& stream);
  void GiveBackAllHostCounts();
  bool IsComplete(bool sizeMustBeKnown) const;
  bool IsCompleteEmptyFile() const;
  // The check on a connection's first 1024 bytes. True when the connection turned into the
  // whole-file connection and its head must be written again at 0; `goOn` false when it
  // ended.
  bool ResumeCheck(DownloadStream& stream, std::span<const std::uint8_t>& bytes, bool& goOn);
  bool WriteCore(DownloadStream& stream, std::span<const std::uint8_t> bytes);
  // Writes at most `available` bytes at the stream's offset through `write` (cut at the
  // range's end) and moves the stream on; false when it ended.
  using RangeWriter = std::function<files::Status(std::uint64_t offset, std::size_t count)>;
  bool WriteCore(DownloadStream& stream, std::size_t available, const RangeWriter& write);
  // Moves `count` bytes of the stream's pipe into the file at `offset` and drops the rest
  // of the pipe; falls back to plain writes for good where the file system refuses splice.
  files::Status WriteFromPipe(DownloadStream& stream, std::uint64_t offset, std::size_t count);
  double Now() const;

  std::unique_ptr<DownloadThreadState> input_;
  DownloadRunOptions options_;
  DownloadTransportTable* transports_;
  DownloadFacts facts_;
  std::vector<std::unique_ptr<DownloadStream>> connections_;
  std::vector<std::unique_ptr<DownloadStream>> graveyard_;
  bool graveyardSweepQueued_ = false;
  RangeList done_;
  RateStatistics statistics_;
  float rate_ = 0;
  double startTime_ = 0;
  double pauseStart_ = 0;
  bool stopped_ = false;
  bool failed_ = false;
  bool waitingForUser_ = false;
  bool loopRunning_ = false;
  bool ended_ = false;  // past the event loop: nothing new is started
  bool rangesWriteFailed_ = false;
  bool spliceRefused_ = false;  // the data file's file system cannot take spliced bytes
  net::StreamError error_;
  net::StreamError failureError_;  // the connection's own error, before any mapping for the queue
  std::string errorMessage_;
  net::StreamError lastOpenError_;
  std::string lastOpenErrorText_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  files::FileHandle dataFork_;
  files::FileHandle rangesFork_;
  std::optional<std::vector<std::uint8_t>> firstBytes_;
  std::optional<net::Certificate> pendingCertificate_;
  std::optional<values::Url> pendingCertificateURL_;
  std::uint32_t pendingQuestionKind_ = 0;
  std::optional<net::StreamError> pendingQuestionError_;
  std::optional<values::Url> pendingQuestionURL_;
  std::shared_ptr<runtime::Timer> questionTimer_;
  std::map<std::string, std::any, std::less<>> slots_;
  std::map<std::size_t, std::int32_t> retries_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::EventQueue> queue_;
  std::shared_ptr<runtime::Source> stopSource_;
  std::shared_ptr<runtime::Timer> tickTimer_;
  std::shared_ptr<runtime::Timer> saveTimer_;
  std::shared_ptr<runtime::Timer> emptyCheckTimer_;
  std::vector<std::shared_ptr<runtime::Timer>> oneShots_;
  std::optional<runtime::MessageQueue> bandwidthReplyQueue_;
  std::map<std::size_t, std::shared_ptr<net::ReachabilityTarget>> reachability_;
};

// The number of download tasks running now (any thread).
std::int32_t RunningDownloadTaskCount();

}  // namespace engine
