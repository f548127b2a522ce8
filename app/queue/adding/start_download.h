#pragma once
// Starting a download: make (or reopen) its partial package, fill the task's context and
// hand it to the engine; and the per-host limits the scheduler asks before it starts one.
//
// A download whose start fails leaves the queue order before it is marked Failed, so the
// scheduler never picks it again and again.

#include <cstdint>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"

namespace queue {

// The UIDs of the downloads whose task was started and has not ended.
extern std::vector<DownloadUID> gActiveDownloads;

inline constexpr std::int32_t kStartCancelled = -100;
// No download folder could be had (neither the destination nor the default).
inline constexpr std::int32_t kStartNoDownloadFolder = -120;
// The engine could not make the task.
inline constexpr std::int32_t kStartNoTask = -108;

// 0 when the download started or was already running; kStartCancelled when a file or folder
// could not be made or the folder choice was cancelled; kStartNoDownloadFolder; kStartNoTask;
// another file-system error code when an existing package could not be reopened.
std::int32_t StartDownload(const WrapperRef& wrapper);

// True when every host of the download is below its per-host limit.
bool CanStartUnderHostLimits(const DownloadQueueElement& element);

}  // namespace queue
