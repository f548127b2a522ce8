#pragma once
// Notifications the views listen for that other subsystems post. Header-only so that
// the helpers below the views (app/util) can post without linking the views.
//
// The views register their implementation at start-up with ViewNotificationsSlot::Set(). The
// default stand-in posts nothing: with no view on screen there is no one to tell.

#include <memory>
#include <string>
#include <utility>

#include "platform/runtime/service_slot.h"

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

using ViewNotificationsSlot = runtime::ServiceSlot<ViewNotifications, SilentViewNotifications>;

inline void PostBatchActionChange(const std::string& batch_id) {
  ViewNotificationsSlot::Get().PostBatchActionChange(batch_id);
}

}  // namespace ui
