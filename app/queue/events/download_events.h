#pragma once
// The main thread's side of the download tasks' reports.
//
// A download task never touches the queue: it posts events of class 'TRDc' to the main
// event queue and `HandleDownloadThreadEvent`, installed on the application target,
// applies each to the download's record, its lists and windows. Every event carries
// 'UID_' (uint32_t). The kinds and their parameters, with the C++ type each is posted as:
//
//   0 progress      'C___' float rate, 'Tot_' int64 bytes received, 'Time' double seconds
//                   of this run, 'Port' int32 open connections, 'Rang' Value array of
//                   received ranges (optional); a missing one leaves its field
//   1 finished      'UrlD' Value array of URL entries (optional), 'Time' double, 'Reas'
//                   int32 (1 failed, 4 stopped, 8 done); with 8: 'Veri' bool, 'File'
//                   file reference; with 1: 'ErrC' stream error, 'ErrM' string (optional)
//   2 started       'Qu$$' the task's event queue (optional)
//   3 message       'Mess' string, a line for the download's transfer log
//   4 file info     'Size' int64, 'Name' string, 'Fnam' bool (the server chose the
//                   name), 'Alis' the data file (a file reference, or alias data);
//                   each optional
//   5 unknown root  'Trus' the certificates (optional), 'ERRR' stream error (optional),
//                   'URL_' string (required)
//   6 certificate   'Trus' (optional), 'URL_' string (required)
//   7 credentials   'URL_' string (required)
//   8 verifying     nothing more
//
// A stream error is 8 bytes of data, the int32 domain then the int32 code, as the engine
// writes them (engine::StreamErrorBytes; EncodeStreamError).
//
// The credentials question: kind 7 opens the "AuthRequired" window (app/ui
// download_event_views.h). Its OK reaches the task through the download's controller
// only while the download is still Downloading; Cancel signals the download's stop
// source. The answer never outlives the window: a download that stopped meanwhile gets
// nothing.
//
// Main thread only.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "app/engine/log/transfer_log.h"
#include "app/engine/services/download_event_keys.h"
#include "app/engine/task/download_task.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/values/fourcc.h"

namespace queue {

// The event class, kinds, finish reasons and parameter keys are the engine's
// (app/engine/services/download_event_keys.h); the queue names them here as it reads them.
using engine::kDownloadEventAuthRequired;
using engine::kDownloadEventCertificateQuestion;
using engine::kDownloadEventClass;
using engine::kDownloadEventFileInfo;
using engine::kDownloadEventFinished;
using engine::kDownloadEventMessage;
using engine::kDownloadEventProgress;
using engine::kDownloadEventStarted;
using engine::kDownloadEventUnknownRoot;
using engine::kDownloadEventVerifying;
using engine::kFinishFailed;
using engine::kFinishStopped;
inline constexpr std::int32_t kFinishDone = engine::kFinishComplete;

namespace download_params = engine::download_params;

// Error domains that the failure messages tell apart.
inline constexpr std::int32_t kHTTPErrorDomain = 4;
inline constexpr std::int32_t kFTPErrorDomain = 5;
inline constexpr std::int32_t kNetDBErrorDomain = 12;
inline constexpr std::int32_t kOwnErrorDomain = 0x100000;  // code 1: the file host's download limit

struct StreamErrorParam {
  std::int32_t domain = 0;
  std::int32_t code = 0;
  bool operator==(const StreamErrorParam&) const = default;
};
values::Value EncodeStreamError(StreamErrorParam error);
// Nothing when the parameter is missing or not 8 bytes of data.
std::optional<StreamErrorParam> DecodeStreamError(const runtime::Event& event, values::FourCharCode code);

// kEventNotHandledErr for another class or a kind of 9 or more; kNoErr otherwise, also
// when the event was dropped (no UID, a UID not in the queue, a required parameter
// missing).
runtime::Status HandleDownloadThreadEvent(runtime::Event& event);
// Installs the handler for kinds 0 to 8 on `target` (the application target).
runtime::HandlerRef InstallDownloadEventHandler(runtime::EventTarget& target);

// A download's stream error in words ("Connection refused"), as its failure reason.
std::string StreamErrorWords(StreamErrorParam error);
// The failure message window's text for a stream error; `urlList` stands for the URLs.
std::string DownloadFailureMessage(const std::string& urlList, StreamErrorParam error,
                                   const std::optional<std::string>& serverMessage);
// Kilobytes per second over the whole download: `fileSize` when known, else `progress`;
// 0 when no time was spent.
double AverageSpeedKBps(std::int64_t fileSize, std::int64_t progress, double duration);

// The received ranges of each running download, as its last progress report gave them
// (the inspector draws them); a download's entry goes when its task ends.
std::map<DownloadUID, values::Array>& DownloadReceivedRanges();

// Kind 7: opens the credentials window for the download.
runtime::Status ShowAuthRequiredWindow(DownloadUID uid, const std::string& url);

}  // namespace queue
