#pragma once
// Records the system actions asked for (shut down, sleep, log out) and performs none.

#include <memory>
#include <vector>

#include "platform/desktop/system_actions.h"

namespace fakes {

class FakeSystemActions : public desktop::SystemActions {
 public:
  std::vector<desktop::SystemAction> performed;
  bool Perform(desktop::SystemAction action) override {
    performed.push_back(action);
    return true;
  }
};

class ScopedFakeSystemActions {
 public:
  ScopedFakeSystemActions() {
    auto fake = std::make_unique<FakeSystemActions>();
    fake_ = fake.get();
    previous_ = desktop::SystemActionsSlot::Set(std::move(fake));
  }
  ~ScopedFakeSystemActions() { desktop::SystemActionsSlot::Set(std::move(previous_)); }
  FakeSystemActions* operator->() { return fake_; }

 private:
  FakeSystemActions* fake_;
  std::unique_ptr<desktop::SystemActions> previous_;
};

}  // namespace fakes
