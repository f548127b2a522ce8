#include "platform/desktop/system_actions.h"

#include <unistd.h>

#include "platform/desktop/process_launcher.h"

namespace desktop {

LogindSystemActions::LogindSystemActions(Runner runner) : runner_(std::move(runner)) {
  if (!runner_) runner_ = [](const std::vector<std::string>& argv) { return LaunchDetached(argv); };
}

std::vector<std::string> LogindSystemActions::CommandFor(SystemAction action, const std::string& session) {
  switch (action) {
    case SystemAction::kShutDown:
      return {"systemctl", "poweroff"};
    case SystemAction::kSleep:
      return {"systemctl", "suspend"};
    case SystemAction::kLogOut:
      // Without a session id, the user's own sessions (never another user's).
      if (session.empty()) return {"loginctl", "terminate-user", "--", std::to_string(::getuid())};
      return {"loginctl", "terminate-session", "--", session};
  }
  return {};
}

bool LogindSystemActions::Perform(SystemAction action) {
  const char* session = std::getenv("XDG_SESSION_ID");
  auto argv = CommandFor(action, session != nullptr ? session : "");
  return !argv.empty() && runner_(argv);
}

}  // namespace desktop
