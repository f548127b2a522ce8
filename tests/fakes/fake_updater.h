#pragma once
// Records what was asked of the updater.

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/updater.h"

namespace fakes {

class FakeUpdater : public desktop::Updater {
 public:
  std::vector<std::string> calls;
  std::vector<double> intervals;
  void ApplicationDidFinishLaunching() override { calls.push_back("launched"); }
  void CheckForUpdates() override { calls.push_back("check"); }
  void ScheduleChecks(double interval_seconds) override {
    calls.push_back("schedule");
    intervals.push_back(interval_seconds);
  }
};

class ScopedFakeUpdater {
 public:
  ScopedFakeUpdater() {
    auto fake = std::make_unique<FakeUpdater>();
    fake_ = fake.get();
    previous_ = desktop::UpdaterSlot::Set(std::move(fake));
  }
  ~ScopedFakeUpdater() { desktop::UpdaterSlot::Set(std::move(previous_)); }
  FakeUpdater* operator->() { return fake_; }

 private:
  FakeUpdater* fake_;
  std::unique_ptr<desktop::Updater> previous_;
};

}  // namespace fakes
