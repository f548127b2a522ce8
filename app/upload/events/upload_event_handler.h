#pragma once
// The handler of the upload workers' 'TrUC' events (upload_event_codes.h) on the
// application target: the one place where the results of the workers reach the upload
// queue, the lists and the user. Every kind is handled also when its upload is gone
// (the end event still frees the record and re-arms the when-done check).
//
// An end code the table does not know ends the upload as failed: it must not stay
// "uploading" without a worker, counted against the uploads that may run at once.
//
// Main thread only.

#include <cstdint>
#include <string>

#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/status.h"

namespace upload {

runtime::Status HandleUploadEvent(runtime::Event& event);
runtime::HandlerRef InstallUploadEventHandler(runtime::EventTarget& target);

// The answer to a file-exists question, to the upload's worker; with apply to all it is
// remembered for the upload's batch.
void PostUploadConflictAnswer(std::int32_t answer, const std::string& uid, bool applyToAll);

}  // namespace upload
