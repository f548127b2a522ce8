#pragma once
// What start-up hangs on the settings store: the subsystems above the store take what
// they keep of the settings at every load (help tags, proxy credentials, filters, the
// schedule, favourites, the simple mode...) and give the filter table back for every
// save. The store knows none of them; it only calls util::SettingsHooks.

namespace shell {

// Installs the settings hooks. Start-up calls it before the first load.
void InstallSettingsHooks();

}  // namespace shell
