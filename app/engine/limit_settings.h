#pragma once
// The bandwidth limits in force while the program runs, read by the transfers on every
// read and write, and the writer that changes them.
//
// Per direction (downloads, uploads): whether the limit is on, its rate in bytes per
// second (the transports size socket buffers by it), and the queue of the direction's
// limiter task. Beside them: whether the rate history wants per-second samples, and the
// queue those samples go to. All are atomics: transfer tasks read them without a lock,
// and a change takes effect at their next read.
//
// `SetDownloadBandwidthLimit` and `SetUploadBandwidthLimit` are the one writer of a new
// rate (bandwidth menus, mini window, Apple events, start-up): they tell the limiter when
// asked, then store {"limit", "status"} in the direction's live preference dictionary,
// keeping the dictionary's other entries. Which key that is, and how it stays in step
// with the settings store's own key of the same limit, is the settings store's business
// (app/util/bandwidth_settings.h); the writer goes through it.

#include <atomic>
#include <cstdint>

#include "platform/runtime/message_queue.h"

namespace engine {

enum class TransferDirection : std::uint8_t { kDownload, kUpload };

bool IsBandwidthLimitOn(TransferDirection direction);
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
