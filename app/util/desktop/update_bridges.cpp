#include "app/util/desktop/update_bridges.h"

#include "app/util/settings/settings_store.h"
#include "platform/desktop/updater.h"
#include "platform/values/value.h"

namespace util {

void CheckForUpdates() {
  desktop::UpdaterSlot::Get().CheckForUpdates();
}

void SetUpdateCheckInterval(double seconds) {
  SetPreferenceValue("SUScheduledCheckInterval",
                     values::Value(values::Number::Float32(static_cast<float>(seconds))));
  desktop::UpdaterSlot::Get().ScheduleChecks(seconds);
}

}  // namespace util
