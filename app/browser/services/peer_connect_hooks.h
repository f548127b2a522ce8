#pragma once
// What the favourites ask of the sharing windows: connect a favourite of a copy found by
// Bonjour, with the favourite's user and password and the progress sheet.
//
// The sharing windows install the hook at start-up; until then such a favourite does not
// connect.
//
// Main thread only.

#include <functional>
#include <optional>
#include <string>

#include "platform/runtime/hook_slot.h"

namespace browser {

struct PeerConnectHooks {
  // False when the copy is not found on the network or is already connected.
  std::function<bool(const std::string& serviceName, const std::string& user, const std::string& password,
                     const std::optional<std::string>& favouriteName, bool silent)>
      connectBonjourPeer;
};
using PeerConnectHooksSlot = runtime::HookSlot<PeerConnectHooks>;

}  // namespace browser
