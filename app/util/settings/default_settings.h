#pragma once
// The registered defaults of the settings the preferences window edits, one dictionary per
// pane of that window.
//
// Registered defaults live only in the user-defaults view of the preference domain: a read
// through that view (PrefBoolForKey, PrefIntegerForKey, the preferences window's bindings)
// falls back to them, a read of the stored domain never sees them. That is why the settings
// loader carries its own default for every key it reads; where a key is in both places the
// values agree.
//
// Every method builds a new dictionary on each call, so the preferences window can edit
// the result (to put one pane back to its defaults) without touching the next caller's copy.

#include <string_view>
#include <vector>

#include "platform/values/value.h"

namespace util {

// The anonymous FTP password used when the user has set none: shaped like an e-mail
// address because FTP servers that log anonymous users expect one. The example.com domain
// is reserved, so the address never reaches a real mailbox.
inline constexpr std::string_view kDefaultAnonymousFTPPassword = "truvane@example.com";

// The values of the preferences window's panes. A class of class methods only.
struct trdefaults {
  static values::Dictionary defaultsForiTunesPane();
  static values::Dictionary defaultsForDownloadsPane();
  static values::Dictionary defaultsForGeneralPane();
  static values::Dictionary defaultsForAdvancedPane();
  static values::Dictionary defaultsForConnectionPane();
  static values::Dictionary defaultsForPluginPane();
  static values::Dictionary defaultsForSharingPane();
  static values::Dictionary defaultsForSensitivePane();
  static values::Dictionary defaultsForDockPane();
  static values::Dictionary defaultsForFiltersPane();
  static values::Dictionary defaultsForInterfacePane();
  static values::Dictionary defaultsForPasswordPane();
  static values::Dictionary defaultsForQueuePane();
  static values::Dictionary defaultsForBrowserPane();
  static values::Dictionary defaultsForRapidSharePane();
};

// The registrations made at start-up, in their order: the add-files values, the interface
// mode, then the panes Advanced, Connection, Plugin, Sharing, Downloads, Sensitive, Dock,
// Interface, Password, Queue, Filters, Browser, General, iTunes, RapidShare. The browser
// plug-in's file types are registered after these by registerDefaultPluginTypes.
std::vector<values::Dictionary> DefaultSettingsRegistrations();

// Registers DefaultSettingsRegistrations() in the registration domain of the application's
// user defaults, each as a separate registration.
void RegisterDefaultSettings();

}  // namespace util
