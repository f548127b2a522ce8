#pragma once
// Records the notifications posted to the views.

#include <string>
#include <vector>

#include "app/ui/services/view_notifications.h"

namespace fakes {

class FakeViewNotifications : public ui::ViewNotifications {
 public:
  std::vector<std::string> batch_action_changes;
  void PostBatchActionChange(const std::string& batch_id) override {
    batch_action_changes.push_back(batch_id);
  }
};

class ScopedFakeViewNotifications {
 public:
  ScopedFakeViewNotifications() {
    auto fake = std::make_unique<FakeViewNotifications>();
    fake_ = fake.get();
    previous_ = ui::ViewNotificationsSlot::Set(std::move(fake));
  }
  ~ScopedFakeViewNotifications() { ui::ViewNotificationsSlot::Set(std::move(previous_)); }
  FakeViewNotifications* operator->() { return fake_; }

 private:
  FakeViewNotifications* fake_;
  std::unique_ptr<ui::ViewNotifications> previous_;
};

}  // namespace fakes
