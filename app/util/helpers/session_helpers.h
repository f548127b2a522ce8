#pragma once
// The session: one pass of the main run loop, that is, what one user action or one
// incoming script event does. Everything added within one session shares its identifier
// as a batch id, and a question asked once per session (where to save the downloads) is
// not asked again within it. The shell's run-loop observer calls ResetSessionState
// before each pass.
//
// The batch registry remembers, per batch id, the one answer a dialog gave for a whole
// batch of items ("apply to all").
//
// Main thread only: neither the session nor the registry has a lock.

#include <cstdint>
#include <optional>
#include <string>

namespace util {

// The text of a new random UUID ("0D1C4B2E-...", upper case).
std::string CreateUUIDString();

// The current session's identifier, made on first use within the session.
const std::string& GetSessionUUIDString();

// Forgets the session identifier and the "download folder asked" mark.
void ResetSessionState();

// Set once the download folder was asked for in this session; ResetSessionState clears it.
extern bool gSessionDownloadFolderAsked;

// An answer remembered for a batch (pointer-sized, opaque to the registry).
using BatchAction = std::intptr_t;

// Nothing for an empty id or when nothing is stored.
std::optional<BatchAction> LookupBatchAction(const std::string& batch_id);

// Stores the answer (ignored for an empty id) and posts "batchActionChange" for the id.
void SetBatchAction(const std::string& batch_id, BatchAction action);

}  // namespace util
