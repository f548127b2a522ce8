#pragma once
// Notifications the views listen for that other subsystems post. Header-only so that
// the helpers below the views (app/util) can post without linking the views.
//
// The views register their implementation at start-up with SetViewNotifications(). The
// default stand-in posts nothing: with no view on screen there is no one to tell.

#include <memory>
#include <string>
#include <utility>

namespace ui {

class ViewNotifications {
 public:
  virtual ~ViewNotifications() = default;
  // "batchActionChange", object the batch identifier, user info {"batchID": identifier},
  // delivered at once.
  virtual void PostBatchActionChange(const std::string& batch_id) = 0;
};

class SilentViewNotifications : public ViewNotifications {
 public:
  void PostBatchActionChange(const std::string&) override {}
};

inline std::unique_ptr<ViewNotifications>& ViewNotificationsSlot() {
  static std::unique_ptr<ViewNotifications> slot = std::make_unique<SilentViewNotifications>();
  return slot;
}

inline ViewNotifications& GetViewNotifications() {
  return *ViewNotificationsSlot();
}

// Installs `n` (the silent stand-in when null) and returns the previous one.
inline std::unique_ptr<ViewNotifications> SetViewNotifications(std::unique_ptr<ViewNotifications> n) {
  if (!n) n = std::make_unique<SilentViewNotifications>();
  return std::exchange(ViewNotificationsSlot(), std::move(n));
}

inline void PostBatchActionChange(const std::string& batch_id) {
  GetViewNotifications().PostBatchActionChange(batch_id);
}

}  // namespace ui
