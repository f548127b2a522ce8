#pragma once
// Preference domains: named dictionaries of settings that persist between runs.
//
// A domain ("com.orbenix.Truvane", a plug-in's identifier...) lives in memory and in one
// XML property list per scope:
//   Scope::kAnyHost      <folder>/<domain>.plist                    (every setting)
//   Scope::kCurrentHost  <folder>/ByHost/<domain>.<host name>.plist (settings of this
//                        machine only, such as whether plug-ins are installed for all
//                        users; keyed by host name so a home folder shared between
//                        machines keeps one file per machine)
// where <folder> is $XDG_CONFIG_HOME/Truvane (~/.config/Truvane by default).
//
// Model:
// - A domain is read from its file on first use. Sets and removes change memory at once:
//   every later read, from any thread, sees them. They reach the file on Synchronize.
// - Synchronize writes the domain when it has unsaved changes. When the file changed on
//   disk since we last read or wrote it (another process synchronised), it is read
//   again first and our unsaved changes are laid over it key by key, so both processes'
//   changes survive; keys we did not change take the file's values.
// - A malformed file is renamed aside ("<file>.unreadable-<UTC time>") and reported
//   through the log hook, never overwritten; the domain then starts empty. A file that
//   exists but cannot be read at all (permissions) is left alone and Synchronize refuses
//   to replace it.
// - Registered defaults (RegisterDefaults) live in memory only and are seen only through
//   the user-defaults view (CopyUserDefault, and the UserDefaults class); the plain reads
//   see stored values only.
// - Numbers keep their width in memory, but property lists do not record it: after a
//   reload every integer reads back as 64-bit (values::Number::Kind::kInt64).
//
// All members are safe to call from any thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/prefs/preference_file.h"
#include "platform/values/value.h"

namespace prefs {

// The application's own domain.
inline constexpr std::string_view kApplicationDomain = "com.orbenix.Truvane";

enum class Scope : std::uint8_t {
  kAnyHost,      // the current user on any host
  kCurrentHost,  // this host only
};

// Outcome of Synchronize: empty message on success.
struct SyncStatus {
  std::string message;
  bool ok() const { return message.empty(); }
};

// Receives one line per event worth a log entry (a file moved aside, a failed write).
using LogHook = std::function<void(const std::string&)>;

class PreferenceStore {
 public:
  // Domains are files in `folder` (created on the first write). `hostName` names the
  // current-host files.
  explicit PreferenceStore(std::string folder, std::string hostName = CurrentHostName());
  ~PreferenceStore();
  PreferenceStore(const PreferenceStore&) = delete;
  PreferenceStore& operator=(const PreferenceStore&) = delete;

  // Replaces the default hook, which writes to stderr.
  void SetLogHook(LogHook hook);

  // ---- Plain reads: stored values only ----
  std::optional<values::Value> CopyValue(std::string_view key, std::string_view domain = kApplicationDomain,
                                         Scope scope = Scope::kAnyHost);
  // The whole domain as a dictionary value (empty when nothing is stored).
  values::Value CopyAll(std::string_view domain = kApplicationDomain, Scope scope = Scope::kAnyHost);

  // Typed reads: nothing when the key is absent or its value does not convert (see
  // value_conversions.h for what converts).
  std::optional<bool> GetBool(std::string_view key, std::string_view domain = kApplicationDomain,
                              Scope scope = Scope::kAnyHost);
  std::optional<std::int64_t> GetInteger(std::string_view key, std::string_view domain = kApplicationDomain,
                                         Scope scope = Scope::kAnyHost);
  std::optional<double> GetDouble(std::string_view key, std::string_view domain = kApplicationDomain,
                                  Scope scope = Scope::kAnyHost);
  std::optional<std::string> GetString(std::string_view key, std::string_view domain = kApplicationDomain,
                                       Scope scope = Scope::kAnyHost);
  std::optional<values::Bytes> GetData(std::string_view key, std::string_view domain = kApplicationDomain,
                                       Scope scope = Scope::kAnyHost);
  std::optional<values::Array> GetArray(std::string_view key, std::string_view domain = kApplicationDomain,
                                        Scope scope = Scope::kAnyHost);
  std::optional<values::Dictionary> GetDictionary(std::string_view key,
                                                  std::string_view domain = kApplicationDomain,
                                                  Scope scope = Scope::kAnyHost);

  // ---- Writes (in memory until Synchronize) ----
  // A null value removes the key.
  void Set(std::string_view key, values::Value value, std::string_view domain = kApplicationDomain,
           Scope scope = Scope::kAnyHost);
  void Remove(std::string_view key, std::string_view domain = kApplicationDomain,
              Scope scope = Scope::kAnyHost);
  // Sets every entry of `toSet` and removes every key of `toRemove`, as one change that
  // no reader sees half done.
  void SetMultiple(const values::Dictionary& toSet, const std::vector<std::string>& toRemove = {},
                   std::string_view domain = kApplicationDomain, Scope scope = Scope::kAnyHost);

  SyncStatus Synchronize(std::string_view domain = kApplicationDomain, Scope scope = Scope::kAnyHost);
  // Every domain this store has touched.
  SyncStatus SynchronizeAll();

  // ---- Registration domain and the user-defaults view ----
  // Adds to the domain's registered defaults (later registrations win per key).
  void RegisterDefaults(const values::Dictionary& defaults, std::string_view domain = kApplicationDomain);
  // The stored value (any host), else the registered default.
  std::optional<values::Value> CopyUserDefault(std::string_view key,
                                               std::string_view domain = kApplicationDomain);
  // Registered defaults overlaid with the stored values.
  values::Value CopyUserDefaults(std::string_view domain = kApplicationDomain);

  // The file that holds a domain.
  std::string PathFor(std::string_view domain, Scope scope = Scope::kAnyHost) const;

  static std::string CurrentHostName();

 private:
  struct Domain;

  Domain& Load(std::string_view domain, Scope scope);
  void Log(const std::string& line);
  void Report(const DomainFile& file, const std::string& path);

  const std::string folder_;
  const std::string hostName_;

  std::mutex mutex_;  // guards everything below and every Domain's values
  std::map<std::pair<std::string, Scope>, std::unique_ptr<Domain>> domains_;
  std::map<std::string, values::Dictionary, std::less<>> registered_;
  std::uint64_t generation_ = 0;  // counts changes, to tell which ones a write included
  LogHook logHook_;
};

// The folder of the application's preferences: $XDG_CONFIG_HOME/Truvane, or
// ~/.config/Truvane when XDG_CONFIG_HOME is unset or not absolute.
std::string DefaultPreferencesFolder();

// The process's store in DefaultPreferencesFolder(), created on first use.
PreferenceStore& SharedPreferences();

}  // namespace prefs
