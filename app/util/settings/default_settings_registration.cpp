#include "app/util/settings/default_settings.h"
#include "app/util/settings/plugin_file_types.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "platform/prefs/value_conversions.h"

namespace util {

void RegisterDefaultSettings() {
  prefs::PreferenceStore& store = SettingsPreferences();
  for (const values::Dictionary& defaults : DefaultSettingsRegistrations()) store.RegisterDefaults(defaults);
}

void registerDefaultPluginTypes() {
  prefs::PreferenceStore& store = SettingsPreferences();
  store.RegisterDefaults({{"pluginTypes", defaultPluginTypes()}});

  std::int64_t version = 0;
  if (const std::optional<values::Value> stored = store.CopyUserDefault("pluginTypes base version")) {
    version = prefs::IntegerFromValue(*stored).value_or(0);
  }
  const std::optional<values::Value> userTypes = store.CopyValue("pluginTypes");
  const PluginTypesUpdate update =
      UpdatePluginTypes(version, userTypes && userTypes->IsArray() ? userTypes->AsArray() : nullptr);

  values::Dictionary changes;
  if (update.storeBaseVersion)
    changes.emplace("pluginTypes base version", values::Number::Int32(kPluginTypesBaseVersion));
  if (update.pluginTypes) changes.emplace("pluginTypes", *update.pluginTypes);
  if (!changes.empty()) store.SetMultiple(changes);
}

}  // namespace util
