#pragma once
// The events between the upload workers and the main thread.
//
// 'TrUC' (worker to main thread, posted to the main queue aimed at the application):
//   1 the worker ended; '----' the worker's record (UploadRecord), handed over
//   2 progress and state; '----' uid; optional 'Nsta' new state, 'Qu$$' the worker's
//     event queue, 'Byte' bytes sent, 'Sped' KB/s (float), 'LFsz' size to send,
//     'CAtt' the custom attributes
//   3, 4 the server refused the credentials (3: the user name too)
//   5 a log line; 'Mes_' {"text", "style"}
//   6 the destination folder does not exist
//   7, 8 the server certificate differs from the accepted one / is not trusted;
//     'Cert' the certificates (array of DER data), 'ERRR' {domain, code}
//   9 a file of that name exists; 'uPRP' remote path, 'RMoD' remote date, 'ReFS' remote
//     size, 'UiFo' folder upload, 'uPLP' local path, 'LMoD' local date, 'LFsz' local
//     size, 'flNm' file name
// The uid travels as the item's UID text.
//
// 'SUCe' (main thread to one worker, posted to its queue aimed at its controller):
//   1 stop; 2 the answer to a file-exists question, '----' the answer, 'ApAL' apply to all

#include <cstdint>

#include "platform/values/fourcc.h"

namespace upload {

inline constexpr values::FourCharCode kUploadEventClass = values::FourCC("TrUC");
inline constexpr std::uint32_t kUploadEventEnded = 1;
inline constexpr std::uint32_t kUploadEventProgress = 2;
inline constexpr std::uint32_t kUploadEventAuthUserRefused = 3;
inline constexpr std::uint32_t kUploadEventAuthPasswordRefused = 4;
inline constexpr std::uint32_t kUploadEventLog = 5;
inline constexpr std::uint32_t kUploadEventFolderMissing = 6;
inline constexpr std::uint32_t kUploadEventCertificateChanged = 7;
inline constexpr std::uint32_t kUploadEventCertificateUntrusted = 8;
inline constexpr std::uint32_t kUploadEventFileExists = 9;

inline constexpr values::FourCharCode kUploadControlClass = values::FourCC("SUCe");
inline constexpr std::uint32_t kUploadControlStop = 1;
inline constexpr std::uint32_t kUploadControlAnswer = 2;

namespace upload_params {
inline constexpr values::FourCharCode kNewState = values::FourCC("Nsta");
inline constexpr values::FourCharCode kEventQueue = values::FourCC("Qu$$");
inline constexpr values::FourCharCode kBytes = values::FourCC("Byte");
inline constexpr values::FourCharCode kSpeed = values::FourCC("Sped");
inline constexpr values::FourCharCode kFileSize = values::FourCC("LFsz");
inline constexpr values::FourCharCode kCustomAttributes = values::FourCC("CAtt");
inline constexpr values::FourCharCode kMessage = values::FourCC("Mes_");
inline constexpr values::FourCharCode kCertificates = values::FourCC("Cert");
inline constexpr values::FourCharCode kStreamError = values::FourCC("ERRR");
inline constexpr values::FourCharCode kRemotePath = values::FourCC("uPRP");
inline constexpr values::FourCharCode kRemoteDate = values::FourCC("RMoD");
inline constexpr values::FourCharCode kRemoteSize = values::FourCC("ReFS");
inline constexpr values::FourCharCode kIsFolder = values::FourCC("UiFo");
inline constexpr values::FourCharCode kLocalPath = values::FourCC("uPLP");
inline constexpr values::FourCharCode kLocalDate = values::FourCC("LMoD");
inline constexpr values::FourCharCode kFileName = values::FourCC("flNm");
inline constexpr values::FourCharCode kApplyToAll = values::FourCC("ApAL");
}  // namespace upload_params

}  // namespace upload
