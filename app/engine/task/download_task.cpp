#include "app/engine/task/download_task.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/log/transfer_log.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/task/builtin_transports.h"
#include "app/engine/task/checksum_verification.h"
#include "app/engine/task/download_file_name.h"
#include "app/engine/task/resume_file.h"
#include "app/engine/urls/mirror_lists.h"
#include "app/engine/urls/sensitive_servers.h"
#include "app/engine/urls/url_entries.h"
#include "app/engine/urls/url_list.h"
#include "platform/files/rename.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/task.h"
#include "platform/values/ascii.h"
#include "platform/values/localize.h"

namespace engine {

namespace {

using values::FourCC;

std::mutex gRunningTasksMutex;
std::int32_t gRunningTasks = 0;

runtime::Nanoseconds Seconds(double s) {
  return std::chrono::duration_cast<runtime::Nanoseconds>(std::chrono::duration<double>(s));
}

bool SchemeIs(const values::Value& entry, std::string_view scheme) {
  auto url = EntryURL(entry);
  if (!url) return false;
  return values::AsciiLower(url->Scheme()) == scheme;
}

std::string EntryText(const values::Value& entry) {
  const values::Value* url = entry.Find("url");
  return url && url->IsString() ? *url->AsString() : std::string();
}

// The main thread's handle on a task: answers go to the task's queue once the task has
// said where it is; answers given before that wait for it.
class DownloadThreadController final : public DownloadTaskController {
 public:
  void SupplyCredentials(const std::optional<std::string>& user,
                         const std::optional<std::string>& password) override {
    auto event = runtime::Event::Create(kDownloadControlClass, kControlSupplyCredentials);
    if (user) event->SetString(download_params::kUser, *user);
    if (password) event->SetString(download_params::kPassword, *password);
    Send(std::move(event));
  }
  void ContinueAfterCertificate(bool alwaysTrust) override {
    auto event = runtime::Event::Create(kDownloadControlClass, kControlContinueAfterCertificate);
    event->SetBool(runtime::kParamDirectObject, alwaysTrust);
    Send(std::move(event));
  }
  void RefuseCertificate() override {
    Send(runtime::Event::Create(kDownloadControlClass, kControlRefuseCertificate));
  }

  // The task's side, on its own thread.
  void Attach(std::shared_ptr<runtime::EventQueue> queue, std::shared_ptr<runtime::EventTarget> target) {
    std::vector<runtime::EventRef> waiting;
    {
      std::lock_guard lock(mutex_);
      queue_ = queue;
      target_ = target;
      waiting.swap(waiting_);
    }
    for (auto& e : waiting) {
      e->SetPostTarget(target);
      queue->Post(e, runtime::EventPriority::kHigh);
    }
  }
  void Detach() {
    std::lock_guard lock(mutex_);
    queue_.reset();
    target_.reset();
    detached_ = true;
  }

 private:
  void Send(runtime::EventRef event) {
    std::shared_ptr<runtime::EventQueue> queue;
    std::shared_ptr<runtime::EventTarget> target;
    {
      std::lock_guard lock(mutex_);
      if (detached_) return;
      queue = queue_.lock();
      target = target_;
      if (!queue) {
        waiting_.push_back(std::move(event));
        return;
      }
    }
    event->SetPostTarget(target);
    queue->Post(std::move(event), runtime::EventPriority::kHigh);
  }

  std::mutex mutex_;
  std::weak_ptr<runtime::EventQueue> queue_;
  std::shared_ptr<runtime::EventTarget> target_;
  std::vector<runtime::EventRef> waiting_;
  bool detached_ = false;
};

}  // namespace

std::int32_t RunningDownloadTaskCount() {
  std::lock_guard lock(gRunningTasksMutex);
  return gRunningTasks;
}

// ---- DownloadRun: construction, events, the task body

DownloadRun::DownloadRun(std::unique_ptr<DownloadThreadState> input, DownloadRunOptions options)
    : input_(std::move(input)), options_(std::move(options)) {
  transports_ = options_.transports ? options_.transports : &DownloadTransports();
  facts_.uid = input_->uid;
  facts_.sizeKnown = input_->totalSize > 0;
  facts_.totalSize = facts_.sizeKnown ? input_->totalSize : -1;
  facts_.wantedConnections = std::clamp(input_->wantedConnections, 1, kMaxConnections);
  facts_.urlEntryCount = input_->urlEntries.size();
  facts_.user = input_->user;
  facts_.password = input_->password;
  facts_.userAgent = input_->userAgent;
}

DownloadRun::~DownloadRun() {
  ended_ = true;
  reachability_.clear();
  connections_.clear();
  graveyard_.clear();
}

double DownloadRun::Now() const {
  return runtime::UpTimeSeconds();
}

std::int32_t DownloadRun::Retries(std::size_t entryIndex) const {
  auto it = retries_.find(entryIndex);
  return it == retries_.end() ? 0 : it->second;
}

runtime::EventRef DownloadRun::MakeEvent(std::uint32_t kind) {
  auto event = runtime::Event::Create(kDownloadEventClass, kind);
  event->SetUInt32(download_params::kUID, input_->uid);
  return event;
}

void DownloadRun::Post(runtime::EventRef event, runtime::EventPriority priority) {
  if (options_.post) {
    options_.post(std::move(event), priority);
    return;
  }
  if (auto target = DownloadEventTarget()) event->SetPostTarget(std::move(target));
  runtime::EventQueue::Main()->Post(std::move(event), priority);
}

void DownloadRun::Log(std::string_view line) {
  if (options_.log) {
    options_.log(line);
  } else if (options_.post) {
    auto event = MakeEvent(kDownloadEventMessage);
    event->SetString(download_params::kMessage, std::string(line));
    Post(std::move(event), runtime::EventPriority::kHigh);
  } else {
    PostTransferLogLine(line, input_->uid);
  }
}

void DownloadRun::QuitLoop() {
  if (queue_) runtime::QuitEventLoop(*queue_);
}

void DownloadRun::PostQuestion(std::uint32_t kind, DownloadStream& s) {
  auto event = MakeEvent(kind);
  event->SetString(download_params::kURL, s.URL().String());
  if (kind == kDownloadEventUnknownRoot)
    event->SetData(download_params::kStreamError, StreamErrorBytes(s.error));
  if (kind != kDownloadEventAuthRequired && !s.peerCertificates.empty()) {
    values::Array chain;
    for (const auto& c : s.peerCertificates) chain.emplace_back(values::Data{c.Der()});
    event->SetValue(download_params::kTrust, values::Value(std::move(chain)));
    pendingCertificate_ = s.peerCertificates.front();
    pendingCertificateURL_ = s.URL();
  }
  Post(std::move(event), runtime::EventPriority::kHigh);
}

std::string DownloadRun::FailureText() const {
  if (!failureError_.IsError()) return errorMessage_.empty() ? std::string("unknown error") : errorMessage_;
  const std::string code = net::DescribeError(failureError_);
  return errorMessage_.empty() ? code : errorMessage_ + " (" + code + ")";
}

void DownloadRun::PostFinished(std::int32_t reason, bool verifyFailed) {
  auto event = MakeEvent(kDownloadEventFinished);
  event->SetInt32(download_params::kReason, reason);
  if (reason == kFinishFailed) {
    event->SetData(download_params::kErrorCode, StreamErrorBytes(error_));
    event->SetString(download_params::kFailureText, FailureText());
  }
  if (!errorMessage_.empty()) event->SetString(download_params::kErrorMessage, errorMessage_);
  event->SetFileRef(download_params::kFile, input_->dataFile);
  event->SetValue(download_params::kURLData, values::Value(input_->urlEntries));
  event->SetBool(download_params::kVerificationFailed, verifyFailed);
  Post(std::move(event), runtime::EventPriority::kHigh);
}

void DownloadRun::RefuseCertificate() {
  if (!waitingForUser_ || !pendingQuestionError_) return;
  const std::string host = pendingQuestionURL_ ? pendingQuestionURL_->Host().value_or("") : std::string();
  failed_ = true;
  error_ = *pendingQuestionError_;
  failureError_ = *pendingQuestionError_;
  errorMessage_ = values::Format("The certificate of %@ is not trusted: %@",
                                 {host, CertificateProblem(*pendingQuestionError_, pendingQuestionKind_)});
  EndQuestion();
  QuitLoop();
}

void DownloadRun::QuestionTimedOut() {
  if (!waitingForUser_) return;
  if (pendingQuestionError_ && pendingQuestionKind_ != kDownloadEventAuthRequired) {
    Log("\rNobody answered the certificate question\r");
    RefuseCertificate();
    return;
  }
  failed_ = true;
  error_ = pendingQuestionError_.value_or(net::StreamError{});
  failureError_ = error_;
  errorMessage_ = "Nobody answered the request for a user name and password";
  EndQuestion();
  QuitLoop();
}

void DownloadRun::EndQuestion() {
  waitingForUser_ = false;
  pendingQuestionError_.reset();
  pendingQuestionURL_.reset();
  if (questionTimer_) questionTimer_->Invalidate();
  questionTimer_.reset();
}

std::string DownloadRun::CertificateProblem(const net::StreamError& error, std::uint32_t kind) {
  if (kind == kDownloadEventCertificateQuestion) return "the certificate changed since it was accepted";
  switch (error.code) {
    case net::tls_code::kUnknownRoot:
      return "it is signed by an unknown root certificate (self-signed or a private authority)";
    case net::tls_code::kUnknownIssuer:
      return "its issuer is unknown";
    case net::tls_code::kExpired:
      return "it has expired";
    case net::tls_code::kNotYetValid:
      return "it is not valid yet";
    case net::tls_code::kHostNameMismatch:
      return "it was issued for another host name";
    default:
      return net::DescribeError(error);
  }
}

void DownloadRun::ContinueAfterCertificate(bool alwaysTrust) {
  EndQuestion();
  facts_.alwaysTrust = alwaysTrust;
  if (pendingCertificate_ && pendingCertificateURL_) {
    SaveAcceptedCertificate(*pendingCertificateURL_, *pendingCertificate_, !alwaysTrust);
    facts_.acceptedCertificate = pendingCertificate_;
    facts_.acceptedCertificateHost = pendingCertificateURL_->Host();
  }
  pendingCertificate_.reset();
  pendingCertificateURL_.reset();
  startTime_ += Now() - pauseStart_;
  statistics_.Restart();
  facts_.resumedAfterPrompt = true;
  waitingForUser_ = false;
  SpawnMoreStreams();
}

void DownloadRun::SupplyCredentials(std::optional<std::string> user, std::optional<std::string> password) {
  EndQuestion();
  if (user && password) {
    facts_.user = std::move(user);
    facts_.password = std::move(password);
  } else if (!user && !password) {
    facts_.user.reset();
    facts_.password.reset();
  }
  startTime_ += Now() - pauseStart_;
  statistics_.Restart();
  waitingForUser_ = false;
  SpawnMoreStreams();
}

void DownloadRun::LearnFileSize(DownloadStream& s, std::int64_t size) {
  // 2^31 - 1 is what servers and proxies say when they do not know.
  s.serverSize = (size > 0 && size != 2147483647) ? size : -1;
  if (facts_.sizeKnown || s.serverSize <= 0) {
    // A resumed download knew its size: its first answer is the moment to split, not 8 s
    // later.
    if (facts_.sizeKnown && facts_.openConnections < facts_.wantedConnections && connections_.size() == 1 &&
        CountRestartableEntries(urlEntries()) > 0) {
      SpawnMoreStreams();
    }
    return;
  }
  facts_.sizeKnown = true;
  facts_.totalSize = s.serverSize;
  auto info = MakeEvent(kDownloadEventFileInfo);
  info->SetInt64(download_params::kSize, facts_.totalSize);
  Post(std::move(info), runtime::EventPriority::kStandard);
  if (facts_.openConnections < facts_.wantedConnections) {
    if (options_.fitConnectionsToSize) {
      facts_.wantedConnections = LimitStreamsForFileSize(facts_.wantedConnections, facts_.totalSize);
    }
    if (facts_.wantedConnections > 1 && CountRestartableEntries(urlEntries()) > 0) {
      // Reserving the space up front keeps pieces written out of order from fragmenting
      // the file; a file system that cannot is skipped, a full disk shows at the writes.
      (void)dataFork_.Allocate(0, static_cast<std::uint64_t>(facts_.totalSize));
    }
    SpawnMoreStreams();
  }
}

void DownloadRun::ProposeFileName(std::string_view name, bool fromPageTitle) {
  if (fromPageTitle && (facts_.nameFlags & 1)) return;
  const auto clean = SanitizeServerFileName(name);
  if (!clean) return;
  const files::FileRef data(input_->dataFile);
  const files::FileRef target = data.Parent().Child(*clean);
  if (target.Path() == data.Path()) return;
  if (!files::RenameNoReplace(data, target).ok()) return;
  input_->dataFile = target.Path();
  if (fromPageTitle) facts_.nameFlags |= 1;
  auto info = MakeEvent(kDownloadEventFileInfo);
  info->SetInt64(download_params::kSize, facts_.sizeKnown ? facts_.totalSize : -1);
  info->SetString(download_params::kName, *clean);
  info->SetFileRef(download_params::kAlias, input_->dataFile);
  info->SetBool(download_params::kNameFromServer, fromPageTitle);
  Post(std::move(info), runtime::EventPriority::kStandard);
}

bool DownloadRun::OpenReplacement(DownloadStream& old, std::optional<values::Url> url, std::any carried) {
  if (ended_) return false;
  auto s = std::make_unique<DownloadStream>(*this, old.entryIndex, old.range);
  s->writeOffset = old.writeOffset;
  s->bytesDone = old.bytesDone;
  s->serverSize = old.serverSize;
  s->needsValidation = old.needsValidation;
  s->soleConnection = old.soleConnection;
  s->timeout = old.timeout;
  s->headChecked = old.headChecked;
  s->headCount = old.headCount;
  s->headBuffer = old.headBuffer;
  s->pendingRangeSet = old.pendingRangeSet;
  s->pendingRange = old.pendingRange;
  s->SetURL(url ? std::move(*url) : old.URL());
  s->carried = std::move(carried);
  // The old connection's bytes now belong to the new one; it must not count them twice.
  old.bytesDone = 0;
  old.writeOffset = old.range.location;
  return AddAndOpen(std::move(s));
}

std::size_t DownloadRun::RequestBandwidth(std::size_t wanted) {
  if (!IsBandwidthLimitOn(TransferDirection::kDownload)) return wanted;
  const runtime::QueueId limiter = LimiterQueue(TransferDirection::kDownload);
  if (limiter == 0) return wanted;
  if (!bandwidthReplyQueue_) bandwidthReplyQueue_.emplace();
  const std::int64_t grant =
      engine::RequestBandwidth(limiter, bandwidthReplyQueue_->id(), static_cast<std::int64_t>(wanted));
  // Only a limiter that has gone (quitting) lifts the limit. A spent budget keeps the
  // request waiting in the limiter until the refill covers it; a grant of 0 (the limiter
  // stopping) reads nothing, and the next request finds it gone.
  if (grant == kLimiterGone) return wanted;
  return std::min(wanted, static_cast<std::size_t>(grant));
}

void DownloadRun::ReportTransfer(std::size_t unusedGrant, std::size_t moved) {
  const runtime::QueueId limiter = LimiterQueue(TransferDirection::kDownload);
  if (limiter != 0) {
    engine::ReportBandwidth(limiter, static_cast<std::int64_t>(unusedGrant),
                            static_cast<std::int64_t>(moved));
  }
}

void DownloadRun::SaveRanges() {
  MergeProgress();
  if (!rangesFork_.is_open()) return;
  // A resume file that cannot be written only costs a resume; once per run is enough to
  // say why the next start fetches more than was on disk.
  if (const files::Status st = WriteRangesFile(rangesFork_, done_); !st.ok()) {
    if (!rangesWriteFailed_) {
      rangesWriteFailed_ = true;
      Log(values::Format("\rThe resume information could not be written. Error %d.\r",
                         {static_cast<std::int64_t>(st.code())}));
    }
    return;
  }
  ReserveRangesSpace();
}

void DownloadRun::ReserveRangesSpace() {
  // The ranges must still be written when the data file has filled the disk: that is when
  // they matter most. A truncation gives reserved space back, so it is taken again after
  // every write; where it cannot be had, the next write simply tries its luck.
  (void)rangesFork_.Reserve(0, kRangesFileReserve);
}

void DownloadRun::Tick(bool final) {
  MergeProgress();
  const std::int64_t total = SumRangeLengths(done_);
  const double now = Now();
  rate_ = statistics_.AddSample(total, now);
  auto event = MakeEvent(kDownloadEventProgress);
  event->SetInt64(download_params::kTotal, total);
  event->SetFloat(download_params::kRate, rate_);
  event->SetInt32(download_params::kPorts, facts_.openConnections);
  values::Array ranges;
  ranges.reserve(done_.size());
  for (const LongRange& r : done_) {
    ranges.emplace_back(values::Array{values::Number::Int64(r.location), values::Number::Int64(r.length)});
  }
  event->SetValue(download_params::kRanges, values::Value(std::move(ranges)));
  event->SetDouble(download_params::kTime, now - startTime_);
  Post(std::move(event), runtime::EventPriority::kLow);
  if (final) return;
  if (IsComplete(true)) {
    QuitLoop();
    return;
  }
  std::vector<DownloadStream*> streams;
  for (const auto& s : connections_) streams.push_back(s.get());
  for (auto it = streams.rbegin(); it != streams.rend(); ++it) {
    DownloadStream* s = *it;
    const bool stillThere =
        std::any_of(connections_.begin(), connections_.end(), [&](const auto& c) { return c.get() == s; });
    if (!stillThere || now - s->lastActivity <= s->timeout) continue;
    Log("\rTiming out connection\r");
    s->SetError({net::ErrorDomain::kPosix, net::posix_code::kTimedOut}, "Timed out");
    StreamEnded(*s, kStreamError);
  }
}

bool DownloadRun::OpenFiles() {
  auto data = files::FileHandle::Open(files::FileRef(input_->dataFile), files::kOpenReadWrite);
  if (data.ok()) dataFork_ = std::move(*data);
  std::string damage;
  (void)ReadRangesFile(files::FileRef(input_->rangesFile), facts_.sizeKnown ? facts_.totalSize : -1, done_,
                       &damage);
  // Said once: the next write of the ranges file replaces the damaged text.
  if (!damage.empty())
    Log("\rThe ranges file \"" + input_->rangesFile + "\" is damaged: " + damage +
        ". Only what comes before it counts as received; the rest is downloaded again.\r");
  auto ranges = files::FileHandle::Open(files::FileRef(input_->rangesFile), files::kOpenReadWrite);
  if (ranges.ok()) {
    rangesFork_ = std::move(*ranges);
    ReserveRangesSpace();
  }
  return dataFork_.is_open() && rangesFork_.is_open();
}

void DownloadRun::StartFirstConnection() {
  auto& entries = urlEntries();
  if (entries.empty()) return;
  if (IsComplete(true)) return;
  LongRange r{0, kOpenEndLength};
  if (CountRestartableEntries(entries) > 0) {
    if (facts_.sizeKnown) {
      if (options_.fitConnectionsToSize) {
        facts_.wantedConnections = LimitStreamsForFileSize(facts_.wantedConnections, facts_.totalSize);
      }
      SpawnAfter(kFirstSplitDelay);
    }
    if (!done_.empty() && done_[0].location == 0) r.location = done_[0].length;
  }
  OpenNewStream(0, r, true);
}

void DownloadRun::BeginTask() {
  {
    std::lock_guard lock(gRunningTasksMutex);
    ++gRunningTasks;
  }
  loop_ = runtime::RunLoop::Current();
  queue_ = loop_->Events();
  startTime_ = Now();
  stopSource_ = runtime::Source::Create([this] {
    stopped_ = true;
    QuitLoop();
  });
  loop_->AddSource(stopSource_);
  if (input_->stopSource) input_->stopSource->SetPerform([source = stopSource_] { source->Signal(); });

  URLListRemoveKey(urlEntries(), kEntryFatalError);
  auto started = MakeEvent(kDownloadEventStarted);
  started->SetObject(download_params::kEventQueue, queue_);
  Post(std::move(started), runtime::EventPriority::kHigh);
}

void DownloadRun::FailToOpenFiles() {
  dataFork_ = {};
  rangesFork_ = {};
  failed_ = true;
  errorMessage_ = values::Localized("The download file could not be opened.");
  Log("\rDownload failed: " + FailureText() + "\r");
  GiveBackAllHostCounts();
  PostFinished(kFinishFailed, false);
}

void DownloadRun::ChooseConnectionCount() {
  auto& entries = urlEntries();
  const std::string first = entries.empty() ? std::string() : EntryText(entries[0]);
  bool single = URLListHasSensitiveServer(entries) || first.find("/receivedFile?") != std::string::npos;
  if (!options_.storeScriptPath.empty() && first.find(options_.storeScriptPath) != std::string::npos) {
    single = true;
    if (auto* d = entries[0].AsDictionary()) (*d)[kEntryNoRestarts] = true;
  }
  if (std::any_of(entries.begin(), entries.end(), [](const auto& e) { return SchemeIs(e, "afp"); })) {
    single = true;
  }
  if (single) facts_.wantedConnections = 1;
}

void DownloadRun::StartTimers() {
  tickTimer_ = runtime::Timer::Create(Seconds(0.3), Seconds(options_.tickInterval),
                                      [this](runtime::Timer&) { Tick(); });
  saveTimer_ = runtime::Timer::Create(Seconds(0.3), Seconds(options_.saveInterval),
                                      [this](runtime::Timer&) { SaveRanges(); });
  loop_->AddTimer(tickTimer_);
  loop_->AddTimer(saveTimer_);
}

void DownloadRun::RunUntilDone() {
  if (IsComplete(true)) return;
  if (connections_.empty()) {
    failed_ = true;
    error_ = lastOpenError_;
    failureError_ = lastOpenError_;
    errorMessage_ = lastOpenErrorText_;
    return;
  }
  loopRunning_ = true;
  runtime::RunNestedEventLoop();
  loopRunning_ = false;
}

void DownloadRun::StopEverything() {
  ended_ = true;
  bandwidthReplyQueue_.reset();
  Tick(true);
  GiveBackAllHostCounts();
  tickTimer_->Invalidate();
  saveTimer_->Invalidate();
  if (emptyCheckTimer_) emptyCheckTimer_->Invalidate();
  if (questionTimer_) questionTimer_->Invalidate();
  for (auto& t : oneShots_) t->Invalidate();
  oneShots_.clear();
  MergeProgress();
  SaveRanges();
  for (const auto& s : connections_) s->Close();
}

std::int32_t DownloadRun::FinishReasonNow() const {
  if (stopped_) return kFinishStopped;
  if (failed_) return kFinishFailed;
  if (IsCompleteEmptyFile()) return kFinishComplete;
  if (done_.size() == 1 && done_[0].location == 0 && done_[0].length > 0 && facts_.sizeKnown &&
      done_[0].length >= facts_.totalSize) {
    return kFinishComplete;
  }
  return kFinishIncomplete;
}

bool DownloadRun::VerifyChecksum() {
  if (!input_->checksum || input_->checksum->empty()) return false;
  Post(MakeEvent(kDownloadEventVerifying), runtime::EventPriority::kHigh);
  switch (VerifyDownloadChecksum(dataFork_, *input_->checksum)) {
    case ChecksumResult::kMatch:
      return false;
    case ChecksumResult::kMismatch:
      Log("\rChecksum verification failed\r");
      return true;
    case ChecksumResult::kUnknownAlgorithm:
      Log("\rThe checksum could not be verified: unknown checksum type\r");
      return true;
    case ChecksumResult::kUnreadable:
      Log("\rThe checksum could not be verified: the file could not be read\r");
      return true;
  }
  return true;
}

void DownloadRun::CloseFiles() {
  // Closing is where a delayed write error of the file system shows.
  if (const files::Status st = dataFork_.Close(); !st.ok()) {
    Log(values::Format("\rThe download file could not be closed. Error %d.\r",
                       {static_cast<std::int64_t>(st.code())}));
  }
  if (const files::Status st = rangesFork_.Close(); !st.ok()) {
    Log(values::Format("\rThe resume information could not be closed. Error %d.\r",
                       {static_cast<std::int64_t>(st.code())}));
  }
}

void DownloadRun::ClearTaskEndKeys() {
  for (auto& entry : urlEntries()) {
    if (auto* d = entry.AsDictionary()) {
      for (std::string_view key : kTaskEndEntryKeys) {
        auto it = d->find(key);
        if (it != d->end()) d->erase(it);
      }
    }
  }
}

void DownloadRun::EndTask() {
  stopSource_->Invalidate();
  loop_->RemoveSource(stopSource_);
  std::lock_guard lock(gRunningTasksMutex);
  --gRunningTasks;
}

void DownloadRun::Run() {
  BeginTask();
  if (!OpenFiles()) {
    FailToOpenFiles();
    EndTask();
    return;
  }
  if (!done_.empty() && done_[0].length >= 256) {
    // The file's start, for the check that catches a server ignoring ranges.
    std::vector<std::uint8_t> head(kFirstBytesLength);
    if (auto got = dataFork_.ReadAt(0, head); got.ok()) {
      head.resize(*got);
      firstBytes_ = std::move(head);
    }
  }
  ChooseConnectionCount();
  StartFirstConnection();
  StartTimers();
  RunUntilDone();
  StopEverything();
  const std::int32_t reason = FinishReasonNow();
  if (reason == kFinishFailed) Log("\rDownload failed: " + FailureText() + "\r");
  const bool verifyFailed = reason == kFinishComplete && VerifyChecksum();
  CloseFiles();
  ClearTaskEndKeys();
  connections_.clear();
  graveyard_.clear();
  slots_.clear();
  reachability_.clear();
  PostFinished(reason, verifyFailed);
  EndTask();
}

// ---- The engine service

std::shared_ptr<DownloadTaskController> DownloadEngine::StartDownloadTask(
    std::unique_ptr<DownloadThreadState> state) {
  if (!state) return nullptr;
  auto controller = std::make_shared<DownloadThreadController>();
  const std::uint32_t uid = state->uid;
  auto shared = std::make_shared<std::unique_ptr<DownloadThreadState>>(std::move(state));
  runtime::TaskOptions task_options;
  task_options.name = "download " + std::to_string(uid);
  auto task = runtime::Task::Start(std::move(task_options), [controller, shared, options = options_]() {
    DownloadRun run(std::move(*shared), options);
    auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
    auto handler = target->InstallHandler(
        {{kDownloadControlClass, kControlContinueAfterCertificate},
         {kDownloadControlClass, kControlSupplyCredentials},
         {kDownloadControlClass, kControlRefuseCertificate}},
        [&run](runtime::HandlerCall&, runtime::Event& event) -> runtime::Status {
          if (event.kind() == kControlContinueAfterCertificate) {
            run.ContinueAfterCertificate(event.Get<bool>(runtime::kParamDirectObject).value_or(false));
          } else if (event.kind() == kControlRefuseCertificate) {
            run.RefuseCertificate();
          } else {
            run.SupplyCredentials(event.Get<std::string>(download_params::kUser),
                                  event.Get<std::string>(download_params::kPassword));
          }
          return runtime::kNoErr;
        });
    controller->Attach(runtime::RunLoop::Current()->Events(), target);
    run.Run();
    controller->Detach();
    handler->Remove();
    return runtime::kNoErr;
  });
  if (!task) return nullptr;
  return controller;
}

values::Bytes StreamErrorBytes(const net::StreamError& error) {
  const auto domain = static_cast<std::int32_t>(error.domain);
  const auto code = static_cast<std::int32_t>(error.code);
  values::Bytes bytes(8);
  std::memcpy(bytes.data(), &domain, 4);
  std::memcpy(bytes.data() + 4, &code, 4);
  return bytes;
}

std::optional<net::StreamError> StreamErrorFromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != 8) return std::nullopt;
  std::int32_t domain = 0;
  std::int32_t code = 0;
  std::memcpy(&domain, bytes.data(), 4);
  std::memcpy(&code, bytes.data() + 4, 4);
  return net::StreamError{static_cast<net::ErrorDomain>(domain), code};
}

void InstallDownloadEngine(DownloadRunOptions options) {
  if (!options.transports) RegisterBuiltInTransports();
  DownloadEngineServicesSlot::Set(std::make_unique<DownloadEngine>(std::move(options)));
}

}  // namespace engine
