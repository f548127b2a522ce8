#pragma once
// What the program may ask of the system when everything is done: shut the computer
// down, put it to sleep, or end the user's session.
//
// The Linux default asks logind through its command-line clients (`systemctl poweroff`,
// `systemctl suspend`, `loginctl terminate-session`), started without a shell and without
// waiting; the system decides whether the request is allowed. Tests install a recording
// stand-in with SystemActionsSlot::Set: a test must never power off the machine it runs on.

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace desktop {

enum class SystemAction { kShutDown, kSleep, kLogOut };

class SystemActions {
 public:
  virtual ~SystemActions() = default;
  // True when the request was handed to the system.
  virtual bool Perform(SystemAction action) = 0;
};

class LogindSystemActions : public SystemActions {
 public:
  using Runner = std::function<bool(const std::vector<std::string>& argv)>;
  // `runner` starts the client program; by default LaunchDetached.
  explicit LogindSystemActions(Runner runner = nullptr);
  bool Perform(SystemAction action) override;

  // The command line for an action; `session` is $XDG_SESSION_ID (empty: the caller's
  // own session, found by loginctl from the process).
  static std::vector<std::string> CommandFor(SystemAction action, const std::string& session);

 private:
  Runner runner_;
};

using SystemActionsSlot = runtime::ServiceSlot<SystemActions, LogindSystemActions>;

}  // namespace desktop
