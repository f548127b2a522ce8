#pragma once
// The two "open folder" commands: the default download folder and the folder where files
// from other copies arrive (made when missing), opened in the file manager.
//
// Main thread only.

#include "platform/runtime/status.h"

namespace ui {

// noErr when the folder was handed to the file manager; fnfErr (-43) when there is no
// folder, ioErr (-36) when the file manager could not be started.
runtime::Status OpenDefaultFolderInFinder();
runtime::Status OpenReceivedFolderInFinder();

}  // namespace ui
