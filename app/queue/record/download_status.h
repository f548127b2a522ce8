#pragma once
// The states of a download. One state at a time, but each is a single bit so that sets of
// states are tested with one mask (status & kRunningMask).

#include <cstdint>

namespace queue {

using DownloadStatus = std::int32_t;

inline constexpr DownloadStatus kStatusDownloading = 4;
inline constexpr DownloadStatus kStatusStarting = 8;
inline constexpr DownloadStatus kStatusQueued = 16;
inline constexpr DownloadStatus kStatusOnHold = 32;
inline constexpr DownloadStatus kStatusStopped = 64;
inline constexpr DownloadStatus kStatusFailed = 128;
inline constexpr DownloadStatus kStatusCompleted = 256;  // "Verification failed" when verificationFailed
inline constexpr DownloadStatus kStatusVerifying = 512;
inline constexpr DownloadStatus kStatusScheduled = 1024;

inline constexpr DownloadStatus kRunningMask = kStatusDownloading | kStatusStarting;          // 12
inline constexpr DownloadStatus kCompletedOrStoppedMask = kStatusCompleted | kStatusStopped;  // 320
inline constexpr DownloadStatus kInactiveMask = 480;    // On Hold, Stopped, Failed, Completed
inline constexpr DownloadStatus kStartableMask = 1488;  // Queued, Stopped, Failed, Completed, Scheduled
inline constexpr DownloadStatus kNotBusyMask = 1520;    // all but Downloading, Starting, Verifying

// What a wrapper's setters report to the smart folders.
enum DownloadAttributeChangeBits : std::uint32_t {
  kChangedFilename = 1,
  kChangedURLData = 2,
  kChangedFileSize = 4,
  kChangedStatus = 8,
  kChangedStartDate = 16,
  kChangedEndDate = 32,
  kChangedAll = 63,
};

}  // namespace queue
