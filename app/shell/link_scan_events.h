#pragma once
// The scan events of "add files from URL" applied on the main thread:
//   'SEX_' 2  the files one page or folder gave become downloads of the queue (with the
//             scan's connections, destination, credentials and batch id), and the
//             window's status log says how many were found;
//   'SEX_' 1  the scan ended: the window is idle again and shows the result (an alert for
//             a failure, "complete" in the log otherwise), and the downloads the scan
//             added that are still queued become one undoable step.

#include "platform/runtime/event.h"
#include "platform/runtime/status.h"

namespace shell {

runtime::Status LinkScanResultsEvent(const runtime::Event& event);
runtime::Status LinkScanFinishedEvent(const runtime::Event& event);

// The alert text for a scan's result; empty when the scan counts as complete.
std::string LinkScanResultMessage(std::int32_t result);

}  // namespace shell
