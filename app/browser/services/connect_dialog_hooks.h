#pragma once
// The connect dialog, for the layers below the windows that reopen it after a failure: the
// FTP browser after a refused login or a root it cannot list, the online-disk browser after
// a failed root listing, peer sharing for a copy that asks for a login, the uploads for an
// upload's destination.
//
// The windows install the hook where there is a display; without one nothing opens.
//
// Main thread only.

#include <functional>
#include <optional>
#include <string>

#include "platform/runtime/hook_slot.h"

namespace browser {

// What the dialog opens with; every part may be missing.
struct ConnectDialogRequest {
  std::optional<std::string> bonjourHost;  // the resolved address of a copy found by Bonjour
  std::optional<std::string> serviceName;  // its service name: the dialog asks for its login
  std::optional<std::string> preFill;      // a location: "ftp://host/path", "idisk://member", ...
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<std::string> favouriteName;  // selected in the favourites pop-up when it exists
};

struct ConnectDialogHooks {
  std::function<void(const ConnectDialogRequest&)> openConnectDialog;
};
using ConnectDialogHooksSlot = runtime::HookSlot<ConnectDialogHooks>;

}  // namespace browser
