#pragma once
// Steps shared by the command client (ftp_connection.cpp) and its request queue
// (ftp_request_queue.cpp). Not for other callers.

#include <optional>
#include <string>

#include "app/engine/ftp/ftp_connection.h"

namespace engine::ftp_internal {

enum class Step {
  kDone,        // handled; wait for what comes next
  kRefused,     // the reply is not one the state accepts: the reader reports kFailed with it
  kSendFailed,  // a command could not be written (error set): FailRequestStep
  kStopped,     // the client set its stop flag: touch nothing
};

// True when the client stopped.
bool Notify(FTPConnectionParam& c, FTPMessage message, std::optional<std::string> text);
Step Send(FTPConnectionParam& c, const std::string& command, int next_state);
Step RequestDataConnection(FTPConnectionParam& c);
Step AfterSingleFileCwd(FTPConnectionParam& c, bool success);
void CloseData(FTPConnectionParam& c);

// Queue mode.
Step StartNextRequest(FTPConnectionParam& c);
Step ContinueRequestAfterCwd(FTPConnectionParam& c, bool success);
Step HandleRequestReply(FTPConnectionParam& c, const FTPReply& reply);
Step DropHeadAndStartNext(FTPConnectionParam& c);
// A step of the running work could not go on: kFailed; in queue mode the head request is
// dropped and the next one starts.
Step FailRequestStep(FTPConnectionParam& c);

}  // namespace engine::ftp_internal
