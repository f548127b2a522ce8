#pragma once
// The uploads in the running program: their service seams, the shell's upload hooks (load,
// save, the scheduler's start per tick, quitting), the uploads' own hooks into the queue,
// the shell's messages and the list, and the handler of the workers' events.

#include "platform/runtime/event_target.h"

namespace shell {

// Before the queue and the uploads file are loaded; the handler goes on the application
// target and stays installed while the returned reference is kept.
runtime::HandlerRef InstallUploads();

// The remote browser's uploads: a file dropped onto a folder of an FTP or FTPS connection is
// queued as an upload into that folder with the connection's login.
void InstallFTPBrowserUploads();

}  // namespace shell
