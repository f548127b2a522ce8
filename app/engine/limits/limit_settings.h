#pragma once
// The bandwidth limits in force while the program runs, read by the transfers on every
// read and write, and the writer that changes them.
//
// Per direction (downloads, uploads): whether the limit is on and its rate in bytes per
// second (the transports size socket buffers by it) are the settings store's values
// (`Settings::downloadBandwidth`, `uploadBandwidth`), read from its current snapshot and
// changed through it, so the limit in force and the limit saved at shut-down are one.
// The queue of each direction's limiter task, whether the rate history wants per-second
// samples and the queue those go to are run-time state here, in atomics.
//
// `SetDownloadBandwidthLimit` and `SetUploadBandwidthLimit` are the one writer of a new
// rate (bandwidth menus, mini window, Apple events, start-up): they tell the limiter when
// asked, record the rate in the settings, then store {"limit", "status"} in the
// direction's live preference dictionary ("Bandwidth Settings", "Upload Bandwidth
// Settings"), keeping the dictionary's other entries. The key and how it stays in step
// with the store's own key of the same limit ("Bandwidth settings") belong to the
// settings store (app/util/bandwidth_settings.h); the writer only uses them.

#include <atomic>
#include <cstdint>

#include "platform/runtime/message_queue.h"

namespace engine {

enum class TransferDirection : std::uint8_t { kDownload, kUpload };

bool IsBandwidthLimitOn(TransferDirection direction);
// Main thread (the bandwidth menus' on and off commands): the preference follows with the
// next write of the limit or the settings.
void SetBandwidthLimitOn(TransferDirection direction, bool on);
std::int32_t BandwidthLimitBytesPerSecond(TransferDirection direction);

// The limiter of a direction (0 while none runs).
runtime::QueueId LimiterQueue(TransferDirection direction);
void SetLimiterQueue(TransferDirection direction, runtime::QueueId queue);

// Samples for the rate history: wanted while a rate graph is shown.
bool StatisticsWanted();
void SetStatisticsWanted(bool wanted);
runtime::QueueId StatisticsQueue();
void SetStatisticsQueue(runtime::QueueId queue);

// Main thread. With `notifyLimiter`, first sends the rate to the direction's limiter; then
// records the rate and stores it with the current on/off state in the preferences.
void SetDownloadBandwidthLimit(bool notifyLimiter, std::int32_t bytesPerSecond);
void SetUploadBandwidthLimit(bool notifyLimiter, std::int32_t bytesPerSecond);

}  // namespace engine
