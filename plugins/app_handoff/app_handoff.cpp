#include "plugins/app_handoff/app_handoff.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/appleevents/event_client.h"
#include "platform/appleevents/event_folder.h"
#include "platform/appleevents/initial_event.h"
#include "platform/prefs/preference_store.h"

#ifndef TRUVANE_INSTALL_BINDIR
#define TRUVANE_INSTALL_BINDIR "/usr/local/bin"
#endif

namespace plugins {
namespace {

// A program counts only when it can be started: a folder or a plain data file at a
// location would make a launch that fails after the browser's own download was stopped.
bool IsProgram(const std::string& path) {
  struct stat st {};
  return !path.empty() && path.front() == '/' && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> ReadLastLocation() {
  // A store of its own, read now: the shared one would keep the value it read first.
  prefs::PreferenceStore store(prefs::DefaultPreferencesFolder());
  store.SetLogHook([](const std::string&) {});
  return store.GetString(kLastLocationKey);
}

}  // namespace

std::string InstalledProgramPath() {
  return std::string(TRUVANE_INSTALL_BINDIR) + "/truvane";
}

std::string UserProgramPath() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + "/.local/bin/truvane";
}

HandoffLocations BrowserPluginLocations() {
  return {{InstalledProgramPath(), UserProgramPath()}};
}

HandoffLocations FinderPluginLocations() {
  return {{InstalledProgramPath(), UserProgramPath()}};
}

std::optional<std::string> LocateApplicationBundle(const HandoffLocations& locations) {
  for (const std::string& program : locations.programs) {
    if (IsProgram(program)) return program;
  }
  if (auto last = ReadLastLocation(); last && IsProgram(*last)) return last;
  return std::nullopt;
}

HandoffResult SendOrLaunch(const EventMaker& make, const HandoffOptions& options) {
  appleevents::SendOptions send;
  send.timeout = options.timeout;
  send.wants_reply = false;
  send.folder = options.eventFolder;
  appleevents::AppleEvent reply;
  const appleevents::Status sent = appleevents::SendEvent(make(false), reply, send);
  if (sent == appleevents::kNoErr) return HandoffResult::kSent;
  // Anything but "nobody answers" means a program is there that did not take the event:
  // starting a second copy would only hand it back to the first.
  if (sent != appleevents::kProcNotFound) return HandoffResult::kFailed;

  const std::optional<std::string> program = LocateApplicationBundle(options.locations);
  if (!program) return HandoffResult::kNotFound;
  std::string folder = options.eventFolder;
  if (appleevents::PrepareEventFolder(folder) != appleevents::kNoErr) return HandoffResult::kFailed;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  const appleevents::Status launched =
      appleevents::LaunchWithInitialEvent(*program, folder, make(true), false, deadline, reply);
  return launched == appleevents::kNoErr ? HandoffResult::kLaunched : HandoffResult::kFailed;
}

}  // namespace plugins
