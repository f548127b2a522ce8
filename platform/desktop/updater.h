#pragma once
// The application updater: told when launching has finished, asked to check for a new
// version now, and to check on a schedule.
//
// On Linux the distribution's package manager updates the program, so the default
// updater does nothing; a build that updates itself installs its own with UpdaterSlot::Set.

#include <memory>
#include <utility>

#include "platform/runtime/service_slot.h"

namespace desktop {

class Updater {
 public:
  virtual ~Updater() = default;
  virtual void ApplicationDidFinishLaunching() = 0;
  virtual void CheckForUpdates() = 0;
  // Checks every `interval_seconds` from now on (0 or less: no scheduled checks).
  virtual void ScheduleChecks(double interval_seconds) = 0;
};

class PackageManagedUpdater : public Updater {
 public:
  void ApplicationDidFinishLaunching() override {}
  void CheckForUpdates() override {}
  void ScheduleChecks(double) override {}
};

using UpdaterSlot = runtime::ServiceSlot<Updater, PackageManagedUpdater>;

}  // namespace desktop
