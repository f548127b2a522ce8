#include "app/shell/settings_hooks.h"

#include "app/browser/services/favourites_service.h"
#include "app/engine/http/system_proxy_credentials.h"
#include "app/queue/services/filter_table_service.h"
#include "app/queue/services/queue_schedule_service.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/services/received_files_service.h"
#include "app/ui/services/interface_service.h"
#include "app/util/settings/settings_codec.h"
#include "app/util/settings/settings_store.h"

namespace shell {

namespace {

const values::Value* Find(const values::Dictionary& domain, std::string_view key) {
  auto it = domain.find(key);
  return it == domain.end() ? nullptr : &it->second;
}

// The favourites of the newer key, else of the older one, which are converted and written
// back under the newer key.
void LoadFavourites(prefs::PreferenceStore& store, const values::Dictionary& domain) {
  const values::Value* favourites = Find(domain, "Favouritesv2");
  if (favourites == nullptr || !favourites->IsDictionary()) favourites = Find(domain, "Favourites");
  if (favourites == nullptr || !favourites->IsDictionary()) return;
  browser::FavouritesService& service = browser::FavouritesServiceSlot::Get();
  bool converted = false;
  for (const auto& [name, entry] : *favourites->AsDictionary()) {
    converted = service.AddFavouriteFromPreference(name, entry) || converted;
  }
  if (converted) store.Set("Favouritesv2", service.CopyFavouritesPreferenceDictionary());
}

void SettingsLoaded(const util::SettingsLoad& load) {
  engine::UpdateProxyCredentialsFromSystem();
  if (!load.reload) sharing::ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(false);
  ui::InterfaceServiceSlot::Get().SetHelpTagsEnabled(load.settings.useHelpTags);
  const values::Value* filters = Find(load.domain, "Filters");
  queue::FilterTableServiceSlot::Get().LoadFilters(filters != nullptr ? filters->AsArray() : nullptr);
  if (load.reload) sharing::ApplyFileTransferServerSettings();
  if (!load.reload) {
    queue::QueueScheduleServiceSlot::Get().ReadScheduleDictionary(Find(load.domain, "newSchedulesX"));
    LoadFavourites(load.store, load.domain);
    ui::InterfaceServiceSlot::Get().SetSimpleMode(!load.settings.advancedMode);
  }
}

}  // namespace

void InstallSettingsHooks() {
  util::SettingsHooks& hooks = util::SettingsHooksSlot::Get();
  hooks.settingsLoaded = SettingsLoaded;
  hooks.settingsSaving = [](util::SavedExtras& extras) {
    extras.filters = queue::FilterTableServiceSlot::Get().CopyFiltersPreference();
  };
}

}  // namespace shell
