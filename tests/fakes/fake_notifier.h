#pragma once
// Records the desktop notices posted; posting succeeds unless told otherwise.

#include <memory>
#include <vector>

#include "platform/desktop/notifier.h"

namespace fakes {

class FakeNotifier : public desktop::Notifier {
 public:
  std::vector<desktop::Notice> posted;
  bool succeed = true;
  bool Post(const desktop::Notice& notice) override {
    posted.push_back(notice);
    return succeed;
  }
};

class ScopedFakeNotifier {
 public:
  ScopedFakeNotifier() {
    auto fake = std::make_unique<FakeNotifier>();
    fake_ = fake.get();
    previous_ = desktop::NotifierSlot::Set(std::move(fake));
  }
  ~ScopedFakeNotifier() { desktop::NotifierSlot::Set(std::move(previous_)); }
  FakeNotifier* operator->() { return fake_; }

 private:
  FakeNotifier* fake_;
  std::unique_ptr<desktop::Notifier> previous_;
};

}  // namespace fakes
