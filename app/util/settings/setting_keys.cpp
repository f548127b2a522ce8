#include "app/util/settings/setting_keys.h"

#include <utility>

#include "app/util/settings/bandwidth_settings.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"
#include "platform/prefs/value_conversions.h"

namespace util {

bool ReadSetting(SettingKey<bool> key) {
  return PrefBoolForKey(key.name);
}

std::int32_t ReadSetting(SettingKey<std::int32_t> key) {
  return PrefIntegerForKey(key.name);
}

std::string ReadSetting(SettingKey<std::string> key) {
  const std::optional<values::Value> v = SettingsPreferences().CopyUserDefault(key.name);
  const std::string* text = v ? v->AsString() : nullptr;
  return text != nullptr ? *text : std::string();
}

std::optional<values::Value> ReadSetting(SettingKey<values::Value> key) {
  return SettingsPreferences().CopyUserDefault(key.name);
}

std::optional<bool> ReadStoredSetting(SettingKey<bool> key) {
  return SettingsPreferences().GetBool(key.name);
}

std::optional<std::int64_t> ReadStoredSetting(SettingKey<std::int64_t> key) {
  return SettingsPreferences().GetInteger(key.name);
}

std::optional<std::string> ReadStoredSetting(SettingKey<std::string> key) {
  return SettingsPreferences().GetString(key.name);
}

std::optional<values::Bytes> ReadStoredSetting(SettingKey<values::Bytes> key) {
  return SettingsPreferences().GetData(key.name);
}

std::optional<values::Array> ReadStoredSetting(SettingKey<values::Array> key) {
  return SettingsPreferences().GetArray(key.name);
}

std::optional<values::Dictionary> ReadStoredSetting(SettingKey<values::Dictionary> key) {
  return SettingsPreferences().GetDictionary(key.name);
}

void WriteSetting(SettingKey<bool> key, bool value) {
  SetPreferenceValue(key.name, values::Value(value));
}

void WriteSetting(SettingKey<std::int64_t> key, std::int64_t value) {
  SetPreferenceValue(key.name, values::Value(values::Number::Int64(value)));
}

void WriteSetting(SettingKey<std::string> key, const std::string& value) {
  SetPreferenceValue(key.name, values::Value(value));
}

void WriteSetting(SettingKey<values::Bytes> key, const values::Bytes& value) {
  SetPreferenceValue(key.name, values::Value(values::Data{value}));
}

void WriteSetting(SettingKey<values::Array> key, values::Array value) {
  SetPreferenceValue(key.name, values::Value(std::move(value)));
}

void WriteSetting(SettingKey<values::Value> key, values::Value value) {
  SetPreferenceValue(key.name, value);
}

void RemoveSettingNamed(std::string_view name) {
  SettingsPreferences().Remove(name);
}

void SynchronizeSettings() {
  SettingsPreferences().Synchronize();
}

void WriteLiveBandwidthLimit(const BandwidthKeyPair& pair, const BandwidthLimit& limit) {
  const values::Value all = SettingsPreferences().CopyAll();
  static const values::Dictionary kEmpty;
  const values::Dictionary& domain = all.IsDictionary() ? *all.AsDictionary() : kEmpty;
  SetPreferenceValue(pair.liveKey, values::Value(MergeBandwidthDictionary(domain, pair.liveKey, limit)));
}

}  // namespace util
