#include "app/upload/engine/upload_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/task/stream_progress.h"
#include "app/upload/engine/dav_upload.h"
#include "app/upload/engine/peer_upload.h"
#include "app/upload/engine/upload_destinations.h"
#include "app/upload/engine/upload_record.h"
#include "app/upload/events/upload_event_codes.h"
#include "platform/files/catalog_info.h"
#include "platform/net/reachability.h"
#include "platform/runtime/clock.h"
#include "platform/values/clock.h"

namespace upload {

namespace {

std::atomic<std::int32_t> gRunningUploadTasks{0};
std::atomic<double> gTimeScale{1.0};

constexpr double kProgressFirst = 0.2;
constexpr double kProgressInterval = 0.9;
// A worker's stack: what the libraries below need (TLS, name lookups).
constexpr std::size_t kUploadTaskStack = 1024 * 1024;

bool IsWorkingStep(std::int32_t step) {
  return step == kUploadStepConnect || step == kUploadStepSend || step == 3 || step == 16 ||
         step == kUploadStepAskServer;
}

std::string LastPathComponent(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The host name alone: the item may store a scheme, a port or a base URL, none of which
// names a host to watch.
std::string BareHostName(const std::string& host) {
  std::string h = host;
  if (const auto scheme = h.find("://"); scheme != std::string::npos) h = h.substr(scheme + 3);
  if (const auto at = h.find('@'); at != std::string::npos && at < h.find('/')) h = h.substr(at + 1);
  if (!h.empty() && h.front() == '[') {
    const auto close = h.find(']');
    return close == std::string::npos ? std::string() : h.substr(1, close - 1);
  }
  return h.substr(0, h.find_first_of(":/"));
}

// The host's reachability changed (on the worker's loop): an upload that waited for its
// host goes on.
void OnReachability(UploadRecord& r, unsigned flags) {
  if (r.quitting) return;
  if ((flags & (net::kReachabilityReachable | net::kReachabilityConnectionAutomatic)) == 0) {
    r.hostReachable = false;
    return;
  }
  if (!r.hostReachable && !r.ftpConnection) {
    UploadCloseStreams(r);
    if (UploadStep(r) == kStepCannotStart) EndUpload(r, kUploadEndFailed);
  }
  r.hostReachable = true;
}

void PostProgress(UploadRecord& r) {
  for (int i = kRateSamples - 1; i > 0; --i) {
    r.sampleBytes[static_cast<std::size_t>(i)] = r.sampleBytes[static_cast<std::size_t>(i - 1)];
    r.sampleTimes[static_cast<std::size_t>(i)] = r.sampleTimes[static_cast<std::size_t>(i - 1)];
  }
  r.sampleBytes[0] = r.rateBytes;
  r.sampleTimes[0] = values::Now();
  r.sampleCount = std::min(r.sampleCount + 1, kRateSamples);
  auto event = MakeUploadEvent(r, kUploadEventProgress);
  if (r.sampleCount >= 2) {
    event->SetFloat(upload_params::kSpeed,
                    engine::EstimateTransferRate(r.sampleBytes.data(), r.sampleTimes.data(), r.sampleCount));
  }
  event->SetInt64(upload_params::kBytes, r.resumeOffset + r.bytesSent + r.bytesOfFinishedFiles);
  PostUploadEvent(std::move(event));
  if (r.transferStarted && !r.quitting) {
    if (const UploadDestination* d = FindUploadDestination(r.info.hostType); d && d->restartStalledSender)
      d->restartStalledSender(r);
  }
}

void UploadThreadMain(const std::shared_ptr<UploadThreadController>& controller, UploadRecord& r) {
  r.loop = runtime::RunLoop::Current();
  r.eventQueue = r.loop->Events();
  auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
  auto handler = target->InstallHandler(
      {{kUploadControlClass, kUploadControlStop}, {kUploadControlClass, kUploadControlAnswer}},
      [&r](runtime::HandlerCall&, runtime::Event& event) -> runtime::Status {
        if (event.kind() == kUploadControlStop) {
          r.cancelled = true;
          r.quitting = true;
          runtime::QuitCurrentEventLoop();
          return runtime::kEventNotHandledErr;
        }
        const auto answer =
            static_cast<std::int32_t>(event.GetInteger(runtime::kParamDirectObject).value_or(kConflictSkip));
        if (event.Get<bool>(upload_params::kApplyToAll).value_or(false)) r.answerForAll = answer;
        UploadApplyConflictAnswer(r, answer);
        return runtime::kNoErr;
      });
  controller->Attach(r.eventQueue, target);

  r.uploadedPaths = std::make_shared<std::set<std::string>>();
  {
    auto started = MakeUploadEvent(r, kUploadEventProgress);
    started->SetObject(upload_params::kEventQueue, r.eventQueue);
    started->SetInt32(upload_params::kNewState, kUploadUploading);
    PostUploadEvent(std::move(started));
  }
  r.fileName = LastPathComponent(r.info.filePath);
  r.filePath = r.info.filePath;
  switch (r.info.hostType) {
    case kHostTypeFTP:
    case kHostTypeFTPS:
    case kHostTypeIDisk:
    case kHostTypeWebDAV:
    case kHostTypeSecureWebDAV: {
      auto info = files::GetCatalogInfo(files::FileRef(r.info.filePath), files::LinkMode::kFollow);
      r.isFolder = info.ok() && info->IsFolder();
      if (r.isFolder) r.rootFolder = r.info.filePath;
      break;
    }
    default:
      break;
  }
  // Reports of the reachability watch come on the announcing thread: they hop to this
  // loop, and never once the upload is over.
  auto alive = std::make_shared<std::atomic<bool>>(true);
  std::shared_ptr<net::ReachabilityTarget> reachability;
  if (const std::string name = BareHostName(r.info.host); !name.empty()) {
    std::weak_ptr<runtime::RunLoop> loop = r.loop;
    reachability = net::ReachabilityTarget::Create(name, [&r, loop, alive](unsigned flags) {
      if (auto target = loop.lock()) {
        target->Perform([&r, alive, flags] {
          if (*alive) OnReachability(r, flags);
        });
      }
    });
  }
  r.hostReachable = true;
  r.throttleReplyQueue.emplace();

  if (controller->CancelRequested()) {
    r.cancelled = true;
  } else {
    const int result = UploadStep(r);
    if (result == kStepUnderWay) {
      auto progress = runtime::Timer::Create(ScaledSeconds(kProgressFirst), ScaledSeconds(kProgressInterval),
                                             [&r](runtime::Timer&) { PostProgress(r); });
      r.loop->AddTimer(progress);
      // A stop that came while the first step was being made.
      if (controller->CancelRequested()) r.cancelled = true;
      if (!r.cancelled) runtime::RunNestedEventLoop();
      progress->Invalidate();
    }
  }

  *alive = false;
  reachability.reset();
  if (r.retryTimer) r.retryTimer->Invalidate();
  if (r.verdictTimer) r.verdictTimer->Invalidate();
  UploadCloseStreams(r);
  if (r.graveyardTimer) r.graveyardTimer->Invalidate();
  r.graveyard.clear();
  r.peerGraveyard.clear();
  r.throttleReplyQueue.reset();

  // A stop asked for while the last step was ending (its event still in the queue) is
  // still the person's word: only an upload that finished outruns it.
  if (!r.done && controller->CancelRequested()) r.cancelled = true;
  std::int32_t code = r.step;
  if (r.done) code = kUploadEndFinished;
  if (r.cancelled) code = kUploadEndCancelled;
  if (r.abortedByPeer) code = kUploadEndAbortedByPeer;
  // A worker that stopped in the middle of a step without a verdict failed.
  if (IsWorkingStep(code)) code = kUploadEndFailed;

  controller->Detach();
  handler->Remove();

  auto report = std::make_shared<UploadEndReport>();
  report->endCode = code;
  report->uid = r.info.uid;
  report->fileName = r.fileName;
  auto ended = runtime::Event::Create(kUploadEventClass, kUploadEventEnded);
  ended->SetObject(runtime::kParamDirectObject, report);
  PostUploadEvent(std::move(ended));
}

}  // namespace

runtime::Nanoseconds ScaledSeconds(double seconds) {
  return std::chrono::duration_cast<runtime::Nanoseconds>(
      std::chrono::duration<double>(seconds * gTimeScale.load()));
}

void SetUploadTimeScale(double scale) {
  gTimeScale = scale > 0 ? scale : 1.0;
}

std::int32_t RunningUploadTaskCount() {
  return gRunningUploadTasks.load();
}

// ---- Controller

std::shared_ptr<UploadThreadController> UploadThreadController::Create(const UploadStartInfo& given) {
  UploadStartInfo info = given;
  if ((info.hostType == kHostTypeBonjourPeer || info.hostType == kHostTypePeerAddress) &&
      (info.user.empty() || info.user == "guest")) {
    info.user = "Guest";
  }
  if (info.host.empty() || info.filePath.empty() || info.uid.empty()) return nullptr;
  if (info.uploadPath.empty()) info.uploadPath = "/";

  auto controller = std::make_shared<UploadThreadController>();
  auto record = std::make_shared<UploadRecord>();
  record->info = std::move(info);
  record->step = record->info.hostType == kHostTypeFileHosting ? kUploadStepAskServer : kUploadStepConnect;

  runtime::TaskOptions options;
  options.name = "upload";
  options.stack_size = kUploadTaskStack;
  ++gRunningUploadTasks;
  std::weak_ptr<UploadThreadController> weak = controller;
  auto task = runtime::Task::Start(std::move(options), [weak, record]() {
    if (auto held = weak.lock()) {
      UploadThreadMain(held, *record);
    } else {
      // Nobody waits for this upload any more: it ends at once, cancelled.
      auto report = std::make_shared<UploadEndReport>();
      report->endCode = kUploadEndCancelled;
      report->uid = record->info.uid;
      auto ended = runtime::Event::Create(kUploadEventClass, kUploadEventEnded);
      ended->SetObject(runtime::kParamDirectObject, report);
      PostUploadEvent(std::move(ended));
    }
    --gRunningUploadTasks;
    return runtime::kNoErr;
  });
  if (!task) {
    --gRunningUploadTasks;
    std::fprintf(stderr, "creating mp task failed\n");
    return nullptr;
  }
  return controller;
}

UploadThreadController::~UploadThreadController() = default;

void UploadThreadController::Attach(std::shared_ptr<runtime::EventQueue> queue,
                                    std::shared_ptr<runtime::EventTarget> target) {
  std::lock_guard lock(mutex_);
  queue_ = std::move(queue);
  target_ = std::move(target);
}

void UploadThreadController::Detach() {
  std::lock_guard lock(mutex_);
  queue_.reset();
  target_.reset();
}

std::shared_ptr<runtime::EventQueue> UploadThreadController::eventQueue() const {
  std::lock_guard lock(mutex_);
  return queue_;
}

void UploadThreadController::Cancel() {
  cancelRequested_ = true;
  std::lock_guard lock(mutex_);
  if (!queue_ || !target_) return;  // the worker looks at the flag before it starts
  auto stop = runtime::Event::Create(kUploadControlClass, kUploadControlStop);
  stop->SetPostTarget(target_);
  queue_->Post(std::move(stop), runtime::EventPriority::kHigh);
}

void UploadThreadController::PostAnswer(std::int32_t answer, bool applyToAll) {
  std::lock_guard lock(mutex_);
  if (!queue_ || !target_) return;
  auto event = runtime::Event::Create(kUploadControlClass, kUploadControlAnswer);
  event->SetPostTarget(target_);
  event->SetBool(upload_params::kApplyToAll, applyToAll);
  event->SetInt32(runtime::kParamDirectObject, answer);
  queue_->Post(std::move(event), runtime::EventPriority::kStandard);
}

// ---- The shared frame

runtime::EventRef MakeUploadEvent(const UploadRecord& r, std::uint32_t kind) {
  auto event = runtime::Event::Create(kUploadEventClass, kind);
  event->SetString(runtime::kParamDirectObject, r.info.uid);
  return event;
}

void PostUploadEvent(runtime::EventRef event) {
  event->SetPostTarget(runtime::EventTarget::Application());
  runtime::EventQueue::Main()->Post(std::move(event), runtime::EventPriority::kStandard);
}

void PostUploadLog(const UploadRecord& r, const std::string& text, LogStyle style) {
  if (text.empty()) return;
  auto event = MakeUploadEvent(r, kUploadEventLog);
  event->SetValue(upload_params::kMessage,
                  values::Value(values::Dictionary{{"text", values::Value(text)},
                                                   {"style", values::Value(static_cast<int>(style))}}));
  PostUploadEvent(std::move(event));
}

void PostUploadCustomAttributes(UploadRecord& r, const std::string& key, values::Value value) {
  r.info.customAttributes[key] = std::move(value);
  auto event = MakeUploadEvent(r, kUploadEventProgress);
  event->SetValue(upload_params::kCustomAttributes, values::Value(r.info.customAttributes));
  PostUploadEvent(std::move(event));
}

void EndUpload(UploadRecord& r, std::int32_t code) {
  r.step = code;
  if (code == kUploadEndFinished) r.done = true;
  r.quitting = true;
  if (r.retryTimer) r.retryTimer->Invalidate();
  if (r.verdictTimer) r.verdictTimer->Invalidate();
  runtime::QuitCurrentEventLoop();
}

namespace {

// Frees the closed connections on the loop's next turn.
void BuryOnNextTurn(UploadRecord& r) {
  if (!r.loop) return;
  if (r.graveyardTimer) r.graveyardTimer->Invalidate();
  r.graveyardTimer =
      runtime::Timer::Create(runtime::Nanoseconds(0), runtime::Nanoseconds(0), [&r](runtime::Timer&) {
        r.graveyard.clear();
        r.peerGraveyard.clear();
      });
  r.loop->AddTimer(r.graveyardTimer);
}

}  // namespace

void UploadCloseStreams(UploadRecord& r) {
  r.fileStream.reset();
  r.buffer.clear();
  r.buffer.shrink_to_fit();
  r.bufferPending = 0;
  r.dataWritesFinished = false;
  r.dataError.reset();
  if (r.verdictTimer) r.verdictTimer->Invalidate();
  if (auto p = std::move(r.peerConnection)) {
    // Closed now, freed on the next turn: one of its callbacks may be on the stack.
    ClosePeerConnection(*p);
    r.peerGraveyard.push_back(std::move(p));
    BuryOnNextTurn(r);
  }
  if (auto d = std::move(r.davConnection)) {
    CloseDAVConnection(*d);
    r.loop->Perform([d = std::move(d)]() mutable { d.reset(); });
  }
  if (auto c = std::move(r.ftpConnection)) {
    // Late reports of the old connection must not reach the upload any more.
    c->callback = nullptr;
    c->data_callback = nullptr;
    engine::FTPConnectionClose(*c);
    r.graveyard.push_back(std::move(c));
    BuryOnNextTurn(r);
  }
}

void ScheduleRetry(UploadRecord& r, double seconds) {
  r.step = kUploadStepConnect;
  UploadCloseStreams(r);
  if (r.retryTimer) r.retryTimer->Invalidate();
  r.retryTimer =
      runtime::Timer::Create(ScaledSeconds(seconds), runtime::Nanoseconds(0), [&r](runtime::Timer&) {
        if (r.quitting || !r.hostReachable || r.ftpConnection || r.peerConnection || r.davConnection) return;
        const int result = UploadStep(r);
        if (result == kStepCannotStart) EndUpload(r, kUploadEndFailed);
      });
  r.loop->AddTimer(r.retryTimer);
}

int UploadStep(UploadRecord& r) {
  const UploadDestination* destination = FindUploadDestination(r.info.hostType);
  if (!destination || !destination->step) {
    PostUploadLog(r, "\rUploads to this kind of destination are not available in this version\r",
                  LogStyle::kBold);
    std::fprintf(stderr, "bailing\n");
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  const int result = destination->step(r);
  if (result == kStepCannotStart) {
    std::fprintf(stderr, "bailing\n");
    if (IsWorkingStep(r.step)) r.step = kUploadEndFailed;
  }
  return result;
}

std::optional<std::string> RetryableErrorText(const net::StreamError& error) {
  if (error.domain != net::ErrorDomain::kPosix) return std::nullopt;
  switch (error.code) {
    case net::posix_code::kBrokenPipe:
      return "\rBroken pipe\r";
    case net::posix_code::kNetworkDown:
    case net::posix_code::kNetworkUnreachable:
      return "\rHost unreachable\r";
    case net::posix_code::kConnectionReset:
      return "\rConnection reset by host\r";
    case net::posix_code::kConnectionRefused:
      return "\rConnection refused\r";
    default:
      return std::nullopt;
  }
}

std::size_t UploadThrottleRequest(UploadRecord& r, std::size_t wanted) {
  if (wanted == 0 || !engine::IsBandwidthLimitOn(engine::TransferDirection::kUpload)) return wanted;
  const runtime::QueueId limiter = engine::LimiterQueue(engine::TransferDirection::kUpload);
  if (limiter == 0) return wanted;
  if (!r.throttleReplyQueue) r.throttleReplyQueue.emplace();
  const std::int64_t grant =
      engine::RequestBandwidth(limiter, r.throttleReplyQueue->id(), static_cast<std::int64_t>(wanted));
  if (grant == engine::kLimiterGone) return wanted;
  // Nothing granted: a small write all the same, so that the upload never stands still.
  if (grant <= 0) return std::min<std::size_t>(wanted, 256);
  return std::min(wanted, static_cast<std::size_t>(grant));
}

void UploadThrottleGiveBack(std::size_t granted, std::size_t written) {
  const runtime::QueueId limiter = engine::LimiterQueue(engine::TransferDirection::kUpload);
  if (limiter == 0) return;
  const bool on = engine::IsBandwidthLimitOn(engine::TransferDirection::kUpload);
  const std::int64_t unused = on && granted > written ? static_cast<std::int64_t>(granted - written) : 0;
  engine::ReportBandwidth(limiter, unused, static_cast<std::int64_t>(written));
}

void UploadApplyConflictAnswer(UploadRecord& r, std::int32_t answer) {
  const UploadDestination* destination = FindUploadDestination(r.info.hostType);
  if (destination && destination->applyAnswer) destination->applyAnswer(r, answer);
}

}  // namespace upload
