#include "app/util/seam_list.h"

#include "app/util/settings/settings_store.h"
#include "platform/runtime/seam_list.h"

namespace util {

void ListSeams() {
  runtime::ListHooks<SettingsHooksSlot>(
      "util::SettingsHooks", {
                                 {"settingsLoaded", &SettingsHooks::settingsLoaded, runtime::AtStartUp()},
                                 {"settingsSaving", &SettingsHooks::settingsSaving, runtime::AtStartUp()},
                             });
}

}  // namespace util
