#pragma once
// How a plug-in hands its one event to Truvane.
//
// Every hand-off decides afresh (nothing is cached between two): when the application's
// event socket answers, the event is written to it without waiting for a reply; when
// nothing answers, the installed `truvane` is looked for in the plug-in's locations, in
// order, then at the "last location" preference (where the program was last started
// from), and the first one found is started detached with the event as the first event
// it handles. The plug-ins never wait for the application to act on the event.
//
// Linux stands in for the other platform's search as follows: the locations a plug-in
// knows are the program in the project's install prefix (where Launch Services and the
// fixed application folders would have found it), then the user's own ~/.local/bin,
// where the plug-ins' install scripts link the program they were given, so a hand-off
// installed from a build finds that build before it has ever run; the preference is read
// from the application's preference file at every hand-off, so a program moved since the
// last start is still found.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/appleevents/apple_event.h"

namespace plugins {

inline constexpr char kLastLocationKey[] = "last location";

// The program in the install prefix the plug-ins were built for.
std::string InstalledProgramPath();
// ~/.local/bin/truvane, where the install scripts link the program; empty without a HOME.
std::string UserProgramPath();

// Where each plug-in looks for the program, in order, before "last location".
struct HandoffLocations {
  std::vector<std::string> programs;
};
HandoffLocations BrowserPluginLocations();
HandoffLocations FinderPluginLocations();

// The first location that holds an executable file, then "last location" when it names
// one; nothing when neither does.
std::optional<std::string> LocateApplicationBundle(const HandoffLocations& locations);

enum class HandoffResult {
  kSent,      // written to the running application
  kLaunched,  // the application was started with the event
  kNotFound,  // not running, and no program to start
  kFailed,    // the running application could not be reached, or the start failed
};

struct HandoffOptions {
  HandoffLocations locations;
  // How long writing the event to a running application may take.
  std::chrono::milliseconds timeout{10000};
  // Empty: the application's event folder.
  std::string eventFolder;
};

// The event is built by `make`, told whether it goes to a running application (false) or
// with a launch (true): the plug-ins order the parameters differently in the two cases.
using EventMaker = std::function<appleevents::AppleEvent(bool forLaunch)>;
HandoffResult SendOrLaunch(const EventMaker& make, const HandoffOptions& options);

// Whether the hand-off reached the application or started it.
inline bool HandedOff(HandoffResult r) {
  return r == HandoffResult::kSent || r == HandoffResult::kLaunched;
}

}  // namespace plugins
