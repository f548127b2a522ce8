#pragma once
// The settings read one at a time, each a typed key of the application's domain.
//
// The settings store (settings_store.h) loads the saved settings into `Settings` at once;
// the keys here are the others: those the preferences window edits and the core reads live,
// window state, first-launch flags. A key names its stored form and the type every reader
// takes it as, so no caller spells a key or converts a value itself, and the preferences
// window binds its controls to the same keys.
//
// Two views of the domain:
//  - `ReadSetting`: the user-defaults view (any thread): the stored value, else the
//    registered default (default_settings.h), else false, 0 or empty. A key that holds a
//    choice reads as its enumeration; a stored number outside the choices passes through,
//    and each reader gives it the meaning it keeps for a value it does not know.
//  - `ReadStoredSetting`: the stored value only, nothing when absent or not convertible, for
//    the keys whose absence means something of its own.
// Writes go to the domain in memory; `SynchronizeSettings` writes the domain to disk.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/values/value.h"

namespace util {

template <typename T>
struct SettingKey {
  std::string_view name;
};

// "remove when": what becomes of a finished download.
enum class RemoveFinished : std::int32_t { kManually = 1, kWhenFinished = 2, kAtQuit = 3 };
// "historylifetime": how long history entries live; any other value keeps them all.
enum class HistoryLifetime : std::int32_t { kUnlimited = 1, kWeek = 2, kTwoWeeks = 3, kMonth = 4, kYear = 5 };
// "post download action" (run only with "take action when done"); 0, negative values and
// values above 5 do nothing.
enum class PostDownloadAction : std::int32_t {
  kNothing = 0,
  kDisconnect = 1,
  kQuit = 2,
  kShutDown = 3,
  kSleep = 4,
  kLogOut = 5
};
// "downloadMode": where a new download goes when no folder is named.
enum class DownloadMode : std::int32_t { kDirect = 1, kAskWhere = 2 };
// "downloadDoubleClickAction": a double-click on downloads edits them or opens their files.
enum class DownloadDoubleClick : std::int32_t { kOpenFiles = 0, kEdit = 1 };

// Queue, completion and history.
inline constexpr SettingKey<bool> kEncryptQueueKey{"encrypt queue"};
inline constexpr SettingKey<RemoveFinished> kRemoveWhenKey{"remove when"};
inline constexpr SettingKey<std::int32_t> kInactivityTimerDurationKey{"inactivity timer duration"};
inline constexpr SettingKey<bool> kTakeActionWhenDoneKey{"take action when done"};
inline constexpr SettingKey<PostDownloadAction> kPostDownloadActionKey{"post download action"};
inline constexpr SettingKey<HistoryLifetime> kHistoryLifetimeKey{"historylifetime"};
inline constexpr SettingKey<values::Array> kHistoryOpenKey{"historyOpen"};
inline constexpr SettingKey<bool> kUseFiltersKey{"use filters"};
inline constexpr SettingKey<bool> kKeepFiltersOrganisedKey{"keep_filters_organised"};
inline constexpr SettingKey<DownloadMode> kDownloadModeKey{"downloadMode"};
inline constexpr SettingKey<DownloadDoubleClick> kDownloadDoubleClickActionKey{"downloadDoubleClickAction"};

// Uploads and sharing.
inline constexpr SettingKey<std::int32_t> kMaxSimultaneousUploadsKey{"max sim uploads"};
inline constexpr SettingKey<bool> kStartUploadsOnLaunchKey{"start ul on launch"};
inline constexpr SettingKey<bool> kStartUploadsIfConnectedKey{"start ul if connected"};
inline constexpr SettingKey<bool> kUploadsStopWithQueueKey{"Uploads stop with queue"};
inline constexpr SettingKey<bool> kAdvertiseRendezvousKey{"advertise rendezvous"};
inline constexpr SettingKey<std::int64_t> kUnknownHostPolicyKey{"unknownHostPolicy"};
inline constexpr SettingKey<bool> kInsecureHostPolicyKey{"insecureHostPolicy"};
inline constexpr SettingKey<values::Bytes> kServerKeyKey{"server pub key"};

// Application and Dock.
inline constexpr SettingKey<bool> kShowActivityOnStartKey{"show activity on start"};
inline constexpr SettingKey<bool> kWarnOnQuitKey{"warnonquit"};
inline constexpr SettingKey<bool> kWarnOnlyIfDownloadingKey{"warnonlyifdl"};
inline constexpr SettingKey<bool> kShowSpeedsKey{"show speeds"};
inline constexpr SettingKey<bool> kNoDockBouncesKey{"NoDockBounces"};
inline constexpr SettingKey<std::int32_t> kBounceCountKey{"BounceCount"};
inline constexpr SettingKey<bool> kPlayDownloadSoundKey{"playsound1"};
inline constexpr SettingKey<bool> kPlayQueueSoundKey{"playsoundall"};
inline constexpr SettingKey<std::string> kDownloadSoundKey{"download sound"};
inline constexpr SettingKey<std::string> kQueueSoundKey{"queue sound"};
inline constexpr SettingKey<bool> kAdvancedModeKey{"advanced_mode"};
inline constexpr SettingKey<std::int64_t> kSetupTypeKey{"setup type"};
inline constexpr SettingKey<std::string> kLastLocationKey{"last location"};
inline constexpr SettingKey<std::int64_t> kLastFolderKey{"lastfolder"};
// First-launch steps, each set before its step runs.
inline constexpr SettingKey<bool> kSmartFoldersAddedKey{"DemoSmartFoldersAddedv5"};
inline constexpr SettingKey<bool> kInitialImportKey{"InitialImport"};

// Main window state.
inline constexpr SettingKey<bool> kWasOpenLibraryKey{"was_open_library"};
inline constexpr SettingKey<bool> kWasOpenSearchForKey{"was_open_search_for"};
inline constexpr SettingKey<bool> kWasOpenRemoteKey{"was_open_remote"};
inline constexpr SettingKey<bool> kWasOpenMyFoldersKey{"was_open_my_folders"};
inline constexpr SettingKey<bool> kHideLeftPaneKey{"hideLeftPane"};
inline constexpr SettingKey<bool> kHideSearchBarKey{"hideSearchBar"};
inline constexpr SettingKey<std::int64_t> kPreviousQueueStateKey{"previous_queue_state"};
inline constexpr SettingKey<bool> kDefaultToMiniKey{"defaultToMini"};
inline constexpr SettingKey<values::Value> kSplitterRatioKey{"splitter_ratio"};
inline constexpr SettingKey<values::Value> kBrowserStateKey{"browser_db_settings"};
inline constexpr SettingKey<values::Value> kFileBrowserColumnsKey{"FB columns"};

// Add files window.
inline constexpr SettingKey<values::Array> kLastURLsKey{"lastURLs"};
inline constexpr SettingKey<values::Array> kLastExtensionsKey{"lastExtensions"};
inline constexpr SettingKey<values::Array> kLastRegexesKey{"lastRegexes"};
inline constexpr SettingKey<bool> kAddFilesUseExtensionsKey{"addFilesUseExtensions"};
inline constexpr SettingKey<bool> kFollowLinksKey{"followLinks"};
inline constexpr SettingKey<bool> kUseScanLevelsKey{"useScanLevels"};
inline constexpr SettingKey<bool> kAddFilesDisclosureKey{"addfiles from url disclosure"};

// Remote servers and passwords.
inline constexpr SettingKey<bool> kHideHiddenFilesKey{"hideHiddenFiles"};
inline constexpr SettingKey<bool> kSplitPanesKey{"splitpanes"};
inline constexpr SettingKey<std::string> kAnonymousFTPPasswordKey{"anon ftp password"};
inline constexpr SettingKey<values::Value> kFavouritesKey{"Favouritesv2"};
inline constexpr SettingKey<values::Dictionary> kLegacyAuthenticationDataKey{"Authentication Data"};
inline constexpr SettingKey<std::string> kOnlineDiskServiceKey{"iDisk service"};
inline constexpr SettingKey<std::string> kOnlineDiskSignUpKey{"iDisk sign-up page"};

// The user-defaults view.
bool ReadSetting(SettingKey<bool> key);
std::int32_t ReadSetting(SettingKey<std::int32_t> key);
std::string ReadSetting(SettingKey<std::string> key);
std::optional<values::Value> ReadSetting(SettingKey<values::Value> key);
template <typename Choice>
requires std::is_enum_v<Choice> Choice ReadSetting(SettingKey<Choice> key) {
  return static_cast<Choice>(ReadSetting(SettingKey<std::int32_t>{key.name}));
}

// The stored value only.
std::optional<bool> ReadStoredSetting(SettingKey<bool> key);
std::optional<std::int64_t> ReadStoredSetting(SettingKey<std::int64_t> key);
std::optional<std::string> ReadStoredSetting(SettingKey<std::string> key);
std::optional<values::Bytes> ReadStoredSetting(SettingKey<values::Bytes> key);
std::optional<values::Array> ReadStoredSetting(SettingKey<values::Array> key);
std::optional<values::Dictionary> ReadStoredSetting(SettingKey<values::Dictionary> key);

// Writes in memory (Booleans as Booleans, integers as 64-bit numbers as a reload reads
// them back, choices as integers).
void WriteSetting(SettingKey<bool> key, bool value);
void WriteSetting(SettingKey<std::int64_t> key, std::int64_t value);
void WriteSetting(SettingKey<std::string> key, const std::string& value);
void WriteSetting(SettingKey<values::Bytes> key, const values::Bytes& value);
void WriteSetting(SettingKey<values::Array> key, values::Array value);
void WriteSetting(SettingKey<values::Value> key, values::Value value);
template <typename Choice>
requires std::is_enum_v<Choice>
void WriteSetting(SettingKey<Choice> key, Choice value) {
  WriteSetting(SettingKey<std::int64_t>{key.name}, static_cast<std::int64_t>(value));
}
void RemoveSettingNamed(std::string_view name);
template <typename T>
void RemoveSetting(SettingKey<T> key) {
  RemoveSettingNamed(key.name);
}

// Writes the application's domain to disk.
void SynchronizeSettings();

// Writes `limit` into the live key of `pair`, keeping the other entries stored there.
struct BandwidthKeyPair;
struct BandwidthLimit;
void WriteLiveBandwidthLimit(const BandwidthKeyPair& pair, const BandwidthLimit& limit);

}  // namespace util
