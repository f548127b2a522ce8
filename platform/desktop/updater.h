#pragma once
// The application updater: told when launching has finished, asked to check for a new
// version now, and to check on a schedule.
//
// On Linux the distribution's package manager updates the program, so the default
// updater does nothing; a build that updates itself installs its own with SetUpdater.

#include <memory>
#include <utility>

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

inline std::unique_ptr<Updater>& UpdaterSlot() {
  static std::unique_ptr<Updater> slot = std::make_unique<PackageManagedUpdater>();
  return slot;
}
inline Updater& GetUpdater() {
  return *UpdaterSlot();
}
// Installs `updater` (the do-nothing one when null) and returns the previous one.
inline std::unique_ptr<Updater> SetUpdater(std::unique_ptr<Updater> updater) {
  if (!updater) updater = std::make_unique<PackageManagedUpdater>();
  return std::exchange(UpdaterSlot(), std::move(updater));
}

}  // namespace desktop
