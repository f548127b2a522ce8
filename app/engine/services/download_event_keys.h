#pragma once
// The words of the events between a download task and the main thread, defined once
// here: the task (app/engine/task) writes them and the queue's handler
// (app/queue/events/download_events.h) reads them, so both sides name the same code.
//
// Events a task posts, class 'TRDc', each with 'UID_' (uint32) and addressed to the
// download event target (app/engine/log/transfer_log.h). The kinds and what each
// carries are told in app/engine/task/download_task.h. Answers to the task go the other
// way, class 'TRCo', addressed to the task's own target.

#include <cstdint>

#include "platform/values/fourcc.h"

namespace engine {

inline constexpr values::FourCharCode kDownloadEventClass = values::FourCC("TRDc");
inline constexpr values::FourCharCode kDownloadControlClass = values::FourCC("TRCo");

// Kinds of the 'TRDc' events a download task posts.
enum DownloadThreadEventKind : std::uint32_t {
  kDownloadEventProgress = 0,
  kDownloadEventFinished = 1,
  kDownloadEventStarted = 2,
  kDownloadEventMessage = 3,  // a line for the download's transfer log
  kDownloadEventFileInfo = 4,
  kDownloadEventUnknownRoot = 5,
  kDownloadEventCertificateQuestion = 6,
  kDownloadEventAuthRequired = 7,
  kDownloadEventVerifying = 8,
};

// 'Reas' of the finished event.
enum FinishReason : std::int32_t {
  kFinishIncomplete = 0,
  kFinishFailed = 1,
  kFinishStopped = 4,
  kFinishComplete = 8,
};

// Kinds of the 'TRCo' answers to a task.
enum DownloadControlKind : std::uint32_t {
  kControlContinueAfterCertificate = 1,  // the direct object: bool, always trust
  kControlSupplyCredentials = 2,
  kControlRefuseCertificate = 3,  // the question goes unanswered: the download fails
};

// Parameter keys of both classes.
namespace download_params {
inline constexpr values::FourCharCode kUID = values::FourCC("UID_");
inline constexpr values::FourCharCode kRate = values::FourCC("C___");
inline constexpr values::FourCharCode kTotal = values::FourCC("Tot_");
inline constexpr values::FourCharCode kTime = values::FourCC("Time");
inline constexpr values::FourCharCode kPorts = values::FourCC("Port");
inline constexpr values::FourCharCode kRanges = values::FourCC("Rang");
inline constexpr values::FourCharCode kURLData = values::FourCC("UrlD");
inline constexpr values::FourCharCode kReason = values::FourCC("Reas");
inline constexpr values::FourCharCode kVerificationFailed = values::FourCC("Veri");
inline constexpr values::FourCharCode kFile = values::FourCC("File");
inline constexpr values::FourCharCode kErrorCode = values::FourCC("ErrC");
inline constexpr values::FourCharCode kErrorMessage = values::FourCC("ErrM");
inline constexpr values::FourCharCode kFailureText = values::FourCC("ErrT");  // why it failed, in words
inline constexpr values::FourCharCode kEventQueue = values::FourCC("Qu$$");
inline constexpr values::FourCharCode kMessage = values::FourCC("Mess");
inline constexpr values::FourCharCode kSize = values::FourCC("Size");
inline constexpr values::FourCharCode kName = values::FourCC("Name");
inline constexpr values::FourCharCode kNameFromServer = values::FourCC("Fnam");
inline constexpr values::FourCharCode kAlias = values::FourCC("Alis");
inline constexpr values::FourCharCode kTrust = values::FourCC("Trus");
inline constexpr values::FourCharCode kStreamError = values::FourCC("ERRR");
inline constexpr values::FourCharCode kURL = values::FourCC("URL_");
// Answers to the task ('TRCo'): the user's credentials.
inline constexpr values::FourCharCode kUser = values::FourCC("Usee");
inline constexpr values::FourCharCode kPassword = values::FourCC("PaSS");
}  // namespace download_params

}  // namespace engine
