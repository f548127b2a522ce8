#pragma once
// The menu's "check for updates" and the preferences' check interval, over the desktop's
// updater (platform/desktop/updater.h).

namespace util {

// Asks the updater to check now.
void CheckForUpdates();

// Stores the interval as "SUScheduledCheckInterval" (a float) in the user defaults, then
// has the updater check on that schedule.
void SetUpdateCheckInterval(double seconds);

}  // namespace util
