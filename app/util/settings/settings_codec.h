#pragma once
// Settings from and to their stored form, without touching the preference domain: the
// part of LoadPreferences and SavePreferences that decides every value, kept apart from
// the reading and writing so that it can be checked on its own.

#include <functional>
#include <optional>
#include <string_view>

#include "app/util/settings/settings_store.h"
#include "app/util/settings/sharing_users.h"

namespace util {

// What a load reads.
struct SettingsSources {
  const values::Dictionary& domain;                    // current user, any host
  const values::Value* systemPlug = nullptr;           // "systemplug": any user, current host
  std::function<bool(std::string_view key)> prefBool;  // the user-defaults view
};

// The bandwidth limits the store last wrote to, or loaded from, both keys of each pair.
struct BandwidthAgreement {
  std::optional<BandwidthLimit> download;
  std::optional<BandwidthLimit> upload;
};

// The settings a load yields. With reload set, the start-up-only values are those of
// `previous`.
Settings ReadSettings(const SettingsSources& sources, const Settings& previous, bool reload,
                      const BandwidthAgreement& agreed);

// What a save writes beside the settings themselves.
struct SavedExtras {
  values::Dictionary users;                          // CopySharingUsersDictionary
  std::optional<values::Array> filters;              // the filter table, when one is known
  std::optional<values::Bytes> defaultFolderAlias;   // when an alias exists
  std::optional<values::Bytes> incomingFolderAlias;  // when an alias exists
};

// The dictionary a save stores. `stored` is the domain as it stands, for the entries of
// the bandwidth dictionaries that the store leaves as they are.
values::Dictionary BuildSavedPreferences(const Settings& settings, const values::Dictionary& stored,
                                         const SavedExtras& extras);

}  // namespace util
