// The user-defaults bridges: stored value, else registered default. The preference store
// is safe to use from any thread, so these need no lock of their own.

#include <algorithm>
#include <climits>

#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "platform/prefs/value_conversions.h"

namespace util {

bool PrefBoolForKey(std::string_view key) {
  const std::optional<values::Value> v = SettingsPreferences().CopyUserDefault(key);
  if (!v) return false;
  return prefs::BoolFromValue(*v).value_or(false);
}

int PrefIntegerForKey(std::string_view key) {
  const std::optional<values::Value> v = SettingsPreferences().CopyUserDefault(key);
  if (!v) return 0;
  const std::optional<std::int64_t> n = prefs::IntegerFromValue(*v);
  if (!n) return 0;
  return static_cast<int>(std::clamp<std::int64_t>(*n, INT_MIN, INT_MAX));
}

void SetPreferenceValue(std::string_view key, const values::Value& value) {
  SettingsPreferences().Set(key, value);
}

}  // namespace util
