// LoadPreferences and SavePreferences: reading and writing the domain, and applying what
// takes effect at once. The values themselves are decided in settings_read.cpp and
// settings_write.cpp.

#include "app/util/settings/settings_store.h"

#include <atomic>

#include "app/util/settings/download_folder.h"
#include "app/util/settings/settings_codec.h"
#include "app/util/settings/sharing_users.h"
#include "platform/prefs/preference_store.h"

namespace util {

namespace {

std::atomic<std::shared_ptr<const Settings>>& Published() {
  static std::atomic<std::shared_ptr<const Settings>> settings{std::make_shared<const Settings>()};
  return settings;
}

// Main thread: the bandwidth limits both keys of each pair held when the store last
// loaded or wrote them (bandwidth_settings.h).
BandwidthAgreement gBandwidthAgreed;

prefs::PreferenceStore*& PreferencesOverride() {
  static prefs::PreferenceStore* store = nullptr;
  return store;
}

const values::Value* Find(const values::Dictionary& domain, std::string_view key) {
  auto it = domain.find(key);
  return it == domain.end() ? nullptr : &it->second;
}

std::optional<values::Bytes> DataOf(const values::Value* v) {
  if (v == nullptr || !v->IsData()) return std::nullopt;
  return v->AsData()->bytes;
}

// After a reload the winner of each pair goes into both keys, so the next start-up sees
// one value whichever key it prefers.
void BringBandwidthPairsInStep(prefs::PreferenceStore& store, const values::Dictionary& domain,
                               const Settings& s) {
  values::Dictionary changes;
  auto mirror = [&](const BandwidthKeyPair& pair, const BandwidthLimit& limit) {
    for (std::string_view key : {pair.store.key, pair.liveKey}) {
      if (ReadBandwidthLimit(domain, key, pair.store) != limit || Find(domain, key) == nullptr) {
        changes.insert_or_assign(std::string(key), MergeBandwidthDictionary(domain, key, limit));
      }
    }
  };
  mirror(kDownloadBandwidthKeys, s.downloadBandwidth);
  mirror(kUploadBandwidthKeys, s.uploadBandwidth);
  if (!changes.empty()) store.SetMultiple(changes);
}

}  // namespace

prefs::PreferenceStore& SettingsPreferences() {
  if (prefs::PreferenceStore* store = PreferencesOverride()) return *store;
  return prefs::SharedPreferences();
}

void SetSettingsPreferences(prefs::PreferenceStore* store) {
  PreferencesOverride() = store;
}

std::shared_ptr<const Settings> CurrentSettings() {
  return Published().load();
}

void ChangeSettings(const std::function<void(Settings&)>& change) {
  auto next = std::make_shared<Settings>(*CurrentSettings());
  change(*next);
  Published().store(std::move(next));
}

runtime::CriticalRegion& IncomingFolderRegion() {
  static runtime::CriticalRegion region;
  return region;
}

std::optional<values::Bytes>& IncomingFolderAlias() {
  static std::optional<values::Bytes> alias;
  return alias;
}

void LoadPreferences(bool reload) {
  prefs::PreferenceStore& store = SettingsPreferences();
  // A domain that cannot be read is an empty one: every default applies.
  const values::Value all = store.CopyAll();
  static const values::Dictionary kEmpty;
  const values::Dictionary& domain = all.IsDictionary() ? *all.AsDictionary() : kEmpty;
  const std::optional<values::Value> systemPlug =
      store.CopyValue("systemplug", prefs::kApplicationDomain, prefs::Scope::kCurrentHost);

  const std::shared_ptr<const Settings> previous = CurrentSettings();
  auto next = std::make_shared<Settings>(ReadSettings(
      {domain, systemPlug ? &*systemPlug : nullptr, [](std::string_view key) { return PrefBoolForKey(key); }},
      *previous, reload, gBandwidthAgreed));
  if (reload) BringBandwidthPairsInStep(store, domain, *next);
  gBandwidthAgreed = {next->downloadBandwidth, next->uploadBandwidth};
  Published().store(next);

  {
    runtime::RegionGuard inside(SharingUsersRegion());
    SharingUsers() = ReadSharingUsers(Find(domain, "Users"));
  }

  if (!reload) {
    LoadDefaultFolderAlias(DataOf(Find(domain, "Default folder alias")));
    files::FileRef folder;
    GetDefaultDownloadFolder(folder);
    runtime::RegionGuard inside(IncomingFolderRegion());
    IncomingFolderAlias() = DataOf(Find(domain, "Default incoming folder alias"));
  }

  runtime::CallHook(SettingsHooksSlot::Get().settingsLoaded, SettingsLoad{store, domain, *next, reload});
}

void SavePreferences() {
  prefs::PreferenceStore& store = SettingsPreferences();
  const std::shared_ptr<const Settings> settings = CurrentSettings();
  const values::Value all = store.CopyAll();
  static const values::Dictionary kEmpty;
  const values::Dictionary& stored = all.IsDictionary() ? *all.AsDictionary() : kEmpty;

  SavedExtras extras;
  {
    runtime::RegionGuard inside(SharingUsersRegion());
    extras.users = CopySharingUsersDictionary(SharingUsers());
  }
  runtime::CallHook(SettingsHooksSlot::Get().settingsSaving, extras);
  extras.defaultFolderAlias = CopyDefaultFolderAliasBytes();
  {
    runtime::RegionGuard inside(IncomingFolderRegion());
    extras.incomingFolderAlias = IncomingFolderAlias();
  }
  store.SetMultiple(BuildSavedPreferences(*settings, stored, extras));
  gBandwidthAgreed = {settings->downloadBandwidth, settings->uploadBandwidth};
}

void SaveBandwidthSettings() {
  prefs::PreferenceStore& store = SettingsPreferences();
  const std::shared_ptr<const Settings> settings = CurrentSettings();
  const values::Value all = store.CopyAll();
  static const values::Dictionary kEmpty;
  const values::Dictionary& stored = all.IsDictionary() ? *all.AsDictionary() : kEmpty;
  values::Dictionary changes;
  for (const auto& [pair, limit] : {std::pair{kDownloadBandwidthKeys, settings->downloadBandwidth},
                                    std::pair{kUploadBandwidthKeys, settings->uploadBandwidth}}) {
    for (std::string_view key : {pair.store.key, pair.liveKey}) {
      changes.insert_or_assign(std::string(key), MergeBandwidthDictionary(stored, key, limit));
    }
  }
  store.SetMultiple(changes);
  gBandwidthAgreed = {settings->downloadBandwidth, settings->uploadBandwidth};
}

}  // namespace util
