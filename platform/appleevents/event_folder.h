#pragma once
// Where the event socket lives: $XDG_RUNTIME_DIR/truvane, or /tmp/truvane-<uid> when
// no runtime folder is set. The folder is the access check: it is made with mode 0700
// and used only when it is a real folder (not a link) owned by this user, so another
// user can neither connect to the socket nor plant one for us to talk to.

#include <string>

#include "platform/appleevents/ae_status.h"

namespace appleevents {

inline constexpr Status kUnsafeFolderErr = -54;  // permErr: the folder is not ours alone

std::string EventFolderPath();
// Makes the folder when missing (and the runtime folder above it, 0700), tightens its
// mode to 0700 when it is ours, refuses it otherwise. `folder` empty: EventFolderPath().
Status PrepareEventFolder(std::string& folder);
std::string EventSocketPath(const std::string& folder);

}  // namespace appleevents
