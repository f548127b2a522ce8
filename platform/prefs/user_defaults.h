#pragma once
// The user-defaults view of one preference domain: a read answers the stored value when
// there is one, else the registered default. This is the view that settings edited in
// windows are read through; the plain reads of PreferenceStore never see registered
// defaults, so code that reads through them carries its own default for every key.
//
// A UserDefaults is a light handle on a store; any number of them may view the same
// domain and they share its registered defaults. Safe to use from any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/prefs/preference_store.h"

namespace prefs {

class UserDefaults {
 public:
  explicit UserDefaults(PreferenceStore& store, std::string domain = std::string(kApplicationDomain));

  const std::string& domain() const { return domain_; }

  void RegisterDefaults(const values::Dictionary& defaults);

  std::optional<values::Value> ObjectForKey(std::string_view key) const;
  // The scalar readers answer false, 0 and 0.0 when the key has no value, stored or
  // registered, that converts (value_conversions.h).
  bool BoolForKey(std::string_view key) const;
  std::int64_t IntegerForKey(std::string_view key) const;
  double DoubleForKey(std::string_view key) const;
  std::optional<std::string> StringForKey(std::string_view key) const;
  std::optional<values::Bytes> DataForKey(std::string_view key) const;
  std::optional<values::Array> ArrayForKey(std::string_view key) const;
  std::optional<values::Dictionary> DictionaryForKey(std::string_view key) const;
  // Registered defaults overlaid with the stored values.
  values::Dictionary DictionaryRepresentation() const;

  // A null value removes the stored value (the registered default shows again).
  void SetObject(std::string_view key, values::Value value);
  void RemoveObject(std::string_view key);
  SyncStatus Synchronize();

 private:
  PreferenceStore* store_;
  std::string domain_;
};

}  // namespace prefs
