#pragma once
// The settings store: every user setting of the application's preference domain
// ("com.orbenix.Truvane", current user, any host), read once into memory for the
// procedural core and written back from it.
//
// Two faces on one domain:
//  - `LoadPreferences` reads the stored domain into a `Settings` value (at start-up, and
//    again after the preferences window applies its changes) and `SavePreferences` writes
//    the store's keys back with one multiple set. Other modules read the settings in
//    memory, never the domain. A read of the stored domain never sees the registered
//    defaults, so every key read here carries its own default: the member initialisers
//    of `Settings` below.
//  - Settings the preferences window edits and the procedural core reads live go through
//    the user-defaults view (registered defaults included): `PrefBoolForKey`,
//    `PrefIntegerForKey`, and `SetPreferenceValue` for single writes.
//
// Threads: load and save run on the main thread. The settings in memory are published as
// an immutable snapshot that any thread may take (`CurrentSettings`); a load or a change
// on the main thread (`ChangeSettings`) publishes a new one, so a reader never sees a
// half-loaded set. The sharing users have their own table and critical region
// (sharing_users.h); so has the incoming-folder alias (below).
//
// Stored values convert as every preference read does ("yes" text for a Boolean, "8" for
// a number; platform/prefs/value_conversions.h). A value that does not convert, or a
// number too wide for its setting, counts as absent: the setting takes its default.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/util/settings/bandwidth_settings.h"
#include "app/util/settings/default_settings.h"
#include "app/util/settings/settings_values.h"
#include "platform/prefs/preference_store.h"
#include "platform/runtime/critical_region.h"
#include "platform/runtime/hook_slot.h"
#include "platform/values/fourcc.h"
#include "platform/values/value.h"

namespace util {

// The preference store the settings live in: the process's shared store, or the one a test
// puts in its place (nullptr puts the shared one back).
prefs::PreferenceStore& SettingsPreferences();
void SetSettingsPreferences(prefs::PreferenceStore* store);

// The build number that the "Truvane/%d" user agent carries.
inline constexpr int kTruvaneBuildNumber = 5070;

// The User-Agent of "user agent type" 0, 7 and every value without a preset of its own.
inline constexpr std::string_view kDefaultUserAgent =
    "Mozilla/5.0 (Macintosh; U; Intel Mac OS X 10_5_5; en-us) AppleWebKit/525.26.2 (KHTML, like Gecko) "
    "Version/3.2 Safari/525.26.12";

// Main window bounds ("main window settings").
struct MainWindowSettings {
  std::int16_t xpos = 0;
  std::int16_t ypos = 0;
  std::int16_t xsize = 0;
  std::int16_t ysize = 0;
  float windowAlpha = 1.0f;
  bool operator==(const MainWindowSettings&) const = default;
};

// Bandwidth window bounds ("bandwidth window settings").
struct BandwidthWindowSettings {
  std::int16_t xpos = 0;
  std::int16_t ypos = 0;
  std::int16_t width = 0;
  std::int16_t height = 0;
  float windowAlpha = 1.0f;
  bool operator==(const BandwidthWindowSettings&) const = default;
};

struct Settings {
  // Queue and downloads.
  std::int16_t queueLength = 6;        // "Queue Length": most downloads running at once
  std::int32_t defaultPorts = 3;       // "Default Ports": connections of a new download
  bool autoStartQueue = true;          // "autoStartQueue"
  bool startOnLaunch = true;           // "Start On Launch"
  bool startIfConnected = true;        // "Start if Connected"
  bool downloadsStopWithQueue = true;  // "Downloads stop with queue"
  bool switchMain = false;             // "switchMain"
  bool bringToFront = true;            // "Bring to front"
  bool postProcess = true;             // "Post Process"
  std::string postProcessTypes =
      ".sit;.sitx;.bin;.hqx;.zip;.dmg;.gz;.tgz;.tar;.bz2;.tbz";  // "postprocesstypes"
  bool limitSimultaneousDownloads = false;                       // "limit sim dls"
  std::int32_t maxDomainDownloads = 1;                           // "maxDomainDownloads", at least 1
  DomainLimits domainLimits;                                     // "domainLimits", each at least 1
  std::string userAgent{kDefaultUserAgent};  // the User-Agent in force ("User agent" holds it when saved)
  std::int32_t userAgentType = 7;            // "user agent type": chooses userAgent
  std::string anonFTPPassword{kDefaultAnonymousFTPPassword};  // "anon ftp password"
  values::Value savedCerts;                                   // "saved certs" as stored (start-up only)
  values::Value savedCertTypes;                               // "saved cert types" as stored (start-up only)
  std::vector<std::string> blackList;                         // "blackList": sensitive-server host rules
  bool disconnectWhenDone = false;                            // "discon when done"
  bool sleepWhenDone = false;                                 // "sleep when done"
  bool logoutWhenDone = false;                                // "logout when done"
  bool quitWhenDone = false;                                  // "quit when done"
  bool shutdownWhenDone = false;                              // "shutdown when done"

  // Interface and windows.
  std::int32_t fontSize = 2;                            // "fontSize": 1 or 2
  bool showToolbar = true;                              // "Show toolbar"
  bool hideOnStartup = false;                           // "hide on startup"
  bool splitPanes = true;                               // "splitpanes"
  bool useHelpTags = true;                              // "Use help tags"
  MainWindowSettings mainWindow;                        // "main window settings" (start-up only)
  std::int16_t splitterXpos = 190;                      // "Splitter xpos" (start-up only)
  float floaterAlpha = 1.0f;                            // "floaterAlpha" (start-up only)
  bool floatAboveAll = false;                           // "float above all" (start-up only)
  BandwidthWindowSettings bandwidthWindow;              // "bandwidth window settings" (start-up only)
  bool showServers = true;                              // "show servers"
  bool showFilters = true;                              // "show filters"
  bool showHistory = true;                              // "show history"
  bool showRemote = true;                               // "show remote"
  bool showRendezvous = true;                           // "show rendezvous"
  bool showUploads = true;                              // "show uploads"
  bool showFileSharing = true;                          // "show file sharing"
  bool showReceivedFiles = true;                        // "show received files"
  values::Array recentSearches;                         // "recentSearches" (start-up only)
  bool advancedMode = true;                             // "advanced_mode" (start-up only)
  SettingsColor miniBack{{53970, 54484, 65535}, 1.0f};  // "miniBackRGBA"
  bool useErrorLog = false;                             // "Use Error Log": failures to the log only

  // Dock.
  bool displayGraphInDock = false;                      // "displaygraphindock"
  bool displayJobsInDock = true;                        // "displayjobsindock"
  bool displayReceivedFilesInDock = true;               // "displayreceivedfilesindock"
  bool displayUploadCountInDock = true;                 // "displayuploadcountindock"
  SettingsColor dockFore{{65535, 0, 0}, 0.7f};          // "dockForRGBA"
  SettingsColor dockBack{{50176, 55808, 60160}, 0.7f};  // "dockBackRGBA"

  // Sharing.
  // "Share port", stored as a signed 16-bit number and read as the unsigned port it is, so
  // a port above 32767 is kept; the file server uses the port above it.
  std::uint16_t sharePort = 2550;
  bool shareFolders = false;           // "Share Folders"
  std::int32_t maxDownloads = 4;       // "Max downloads" by peers
  std::int32_t maxUploads = 4;         // "Max uploads" from peers
  bool shareFiles = true;              // maxDownloads > 0; saved as "Share Files"
  bool allowUploads = true;            // maxUploads > 0; saved as "allow uploads"
  bool requireSecureTransfer = false;  // "requireSecureTransfer"
  // "last upload folder path": the received-files folder to make when its alias is lost.
  std::string lastUploadFolderPath;

  // Bandwidth.
  BandwidthLimit downloadBandwidth = kDownloadBandwidthKeys.store.absent;
  BandwidthLimit uploadBandwidth = kUploadBandwidthKeys.store.absent;
  BandwidthLimit serverSendBandwidth = kServerSendBandwidthKey.absent;
  BandwidthLimit serverReceiveBandwidth = kServerReceiveBandwidthKey.absent;

  // Other.
  bool reconnectAtStart = true;       // "reconnectAtStart"
  bool systemPlug = false;            // "systemplug": plug-ins installed for all users
  std::int64_t filesTransferred = 0;  // "Files transfered" (start-up only)
  std::int64_t bytesTransferred = 0;  // "Bytes transfered" (start-up only)
  bool enablePFSupport = false;       // "Enable PF support"
  // The file manager that receives the Finder events (comments, reveal, open, trash).
  values::FourCharCode fileManagerSignature = values::FourCC("MACS");
  bool hideHiddenFiles = true;  // "hideHiddenFiles"
  bool confirmRemovals = true;  // "confirm removals"
  std::string queueSound;       // "queue sound"
  std::string downloadSound;    // "download sound"

  // Read and saved, with no further effect.
  bool usePassiveFTP = true;             // "UsePassiveFTP"
  bool removeCompleted = false;          // "Remove Completed"
  bool updatesAutocheck = true;          // "Updates Autocheck"
  bool usePasswordData = true;           // "Use password data"
  bool savePasswordData = true;          // "Save password data"
  bool installPlugin = true;             // "install plugin"
  bool pluginBack = true;                // "plugin back"
  bool tcpWindowSize = false;            // "tcpWindowSize"
  std::string lastEditedUser = "Guest";  // "LastEditedUser"
};

// The settings in force, for any thread. Hold the snapshot for one decision; take a new
// one for the next, since a load replaces it.
std::shared_ptr<const Settings> CurrentSettings();

// Main thread: changes settings in memory (the bandwidth menus, the connections Apple
// event...) and publishes the result. The change reaches the domain with the next save.
void ChangeSettings(const std::function<void(Settings&)>& change);

// Reads the whole domain into memory, then hands it to the settings hooks (below), which
// apply what takes effect at once (help tags, proxy credentials, filters...). With reload set (after the
// preferences window's apply) the values only start-up reads stay as they are: window bounds, folder aliases,
// statistics, certificates, the schedule, favourites, recent searches, "advanced_mode".
void LoadPreferences(bool reload);

// What a load hands the subsystems above the store: the domain as read and the settings
// made of it. The store knows none of them; start-up (app/shell/settings_hooks.h)
// installs one hook that passes each its part.
struct SettingsLoad {
  prefs::PreferenceStore& store;
  const values::Dictionary& domain;
  const Settings& settings;
  bool reload;
};
struct SavedExtras;

struct SettingsHooks {
  // The end of every load: what takes effect at once (help tags, proxy credentials,
  // filters; at start-up also the schedule, favourites, the simple mode...).
  std::function<void(const SettingsLoad&)> settingsLoaded;
  // Every save: fills in what the store keeps for others (the filter table).
  std::function<void(SavedExtras&)> settingsSaving;
};
using SettingsHooksSlot = runtime::HookSlot<SettingsHooks>;

// Writes the store's keys (and only those) with one multiple set. No synchronise: the
// domain is synchronised at shut-down.
void SavePreferences();

// Writes the download and upload limits in memory into both keys of each pair
// (bandwidth_settings.h), keeping the other entries of the dictionaries. For shut-down.
void SaveBandwidthSettings();

// The User-Agent of a "user agent type" (1 to 6 the presets, any other value the
// default browser string).
std::string UserAgentForType(std::int32_t type);

// The incoming-folder alias (the bytes of "Default incoming folder alias", loaded at
// start-up) and its critical region, shared with the received-files code; empty when no
// folder is known. Read and replace it only inside the region.
runtime::CriticalRegion& IncomingFolderRegion();
std::optional<values::Bytes>& IncomingFolderAlias();

// Bridges to the user-defaults view of the domain, for any thread: the stored value, else
// the registered default, else false or 0.
bool PrefBoolForKey(std::string_view key);
int PrefIntegerForKey(std::string_view key);

// Stores one value in the application's domain (current user, any host); a null value
// removes the key. Used for the transfer statistics.
void SetPreferenceValue(std::string_view key, const values::Value& value);

}  // namespace util
