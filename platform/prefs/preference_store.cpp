#include "platform/prefs/preference_store.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>

#include "platform/prefs/value_conversions.h"
#include "platform/values/plist_xml.h"

namespace prefs {

// One domain in one scope. `values` is what readers see; `pending` names the keys changed
// since the file was last read or written, with the generation of their latest change.
// Lock order: syncMutex, then the domain's file lock, then the store's mutex_.
struct PreferenceStore::Domain {
  std::string path;
  bool valid = true;    // a name that can be a file name
  bool loaded = false;  // read from the file (written under mutex_)
  bool failed = false;  // the file exists but could not be read: never replace it
  values::Dictionary values;
  std::map<std::string, std::uint64_t, std::less<>> pending;
  FileIdentity identity;  // of the file as last read or written
  std::mutex syncMutex;   // one load or synchronise at a time
};

namespace {

bool IsValidDomainName(std::string_view domain) {
  return !domain.empty() && domain.front() != '.' && domain.find('/') == std::string_view::npos &&
         domain.find('\0') == std::string_view::npos && domain.size() < 200;
}

std::string LockPathFor(const std::string& path) {
  const auto slash = path.rfind('/');
  return path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".lock";
}

}  // namespace

PreferenceStore::PreferenceStore(std::string folder, std::string hostName)
    : folder_(std::move(folder)), hostName_(std::move(hostName)) {}

PreferenceStore::~PreferenceStore() = default;

std::string PreferenceStore::CurrentHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  std::string host(name);
  for (char& c : host) {
    if (c == '/') c = '_';
  }
  return host;
}

std::string PreferenceStore::PathFor(std::string_view domain, Scope scope) const {
  if (scope == Scope::kCurrentHost)
    return folder_ + "/ByHost/" + std::string(domain) + "." + hostName_ + ".plist";
  return folder_ + "/" + std::string(domain) + ".plist";
}

void PreferenceStore::SetLogHook(LogHook hook) {
  std::lock_guard lock(mutex_);
  logHook_ = std::move(hook);
}

void PreferenceStore::Log(const std::string& line) {
  LogHook hook;
  {
    std::lock_guard lock(mutex_);
    hook = logHook_;
  }
  if (hook) {
    hook(line);
  } else {
    std::cerr << "Truvane preferences: " << line << std::endl;
  }
}

void PreferenceStore::Report(const DomainFile& file, const std::string& path) {
  switch (file.state) {
    case DomainFile::State::kUnreadable:
      Log(path + " could not be read (" + file.error + "); moved aside to " + file.movedTo);
      break;
    case DomainFile::State::kFailed:
      Log(file.error + "; the preferences in it are not used and it will not be replaced");
      break;
    default:
      break;
  }
}

PreferenceStore::Domain& PreferenceStore::Load(std::string_view name, Scope scope) {
  Domain* domain;
  {
    std::lock_guard lock(mutex_);
    std::pair<std::string, Scope> id(name, scope);
    auto it = domains_.find(id);
    if (it == domains_.end()) {
      auto created = std::make_unique<Domain>();
      created->path = PathFor(name, scope);
      created->valid = IsValidDomainName(name);
      created->loaded = !created->valid;  // an impossible name stays in memory only
      it = domains_.emplace(std::move(id), std::move(created)).first;
    }
    domain = it->second.get();
    if (domain->loaded) return *domain;
  }
  // First use: read the file outside mutex_, so that readers of other domains do not
  // wait for the disk, and under the file lock, so that moving a bad file aside cannot
  // race with another process replacing it.
  std::lock_guard sync(domain->syncMutex);
  {
    std::lock_guard lock(mutex_);
    if (domain->loaded) return *domain;
  }
  DomainFile file;
  if (IdentityOf(domain->path).exists) {
    FileLock fileLock(LockPathFor(domain->path));
    file = ReadDomainFile(domain->path);
  }
  Report(file, domain->path);
  std::lock_guard lock(mutex_);
  domain->values = std::move(file.values);
  domain->identity = file.identity;
  domain->failed = file.state == DomainFile::State::kFailed;
  domain->loaded = true;
  return *domain;
}

std::optional<values::Value> PreferenceStore::CopyValue(std::string_view key, std::string_view name,
                                                        Scope scope) {
  Domain& domain = Load(name, scope);
  std::lock_guard lock(mutex_);
  auto it = domain.values.find(key);
  if (it == domain.values.end()) return std::nullopt;
  return it->second;
}

values::Value PreferenceStore::CopyAll(std::string_view name, Scope scope) {
  Domain& domain = Load(name, scope);
  std::lock_guard lock(mutex_);
  return values::Value(domain.values);
}

std::optional<bool> PreferenceStore::GetBool(std::string_view key, std::string_view domain, Scope scope) {
  auto v = CopyValue(key, domain, scope);
  return v ? BoolFromValue(*v) : std::nullopt;
}

std::optional<std::int64_t> PreferenceStore::GetInteger(std::string_view key, std::string_view domain,
                                                        Scope scope) {
  auto v = CopyValue(key, domain, scope);
  return v ? IntegerFromValue(*v) : std::nullopt;
}

std::optional<double> PreferenceStore::GetDouble(std::string_view key, std::string_view domain, Scope scope) {
  auto v = CopyValue(key, domain, scope);
  return v ? DoubleFromValue(*v) : std::nullopt;
}

std::optional<std::string> PreferenceStore::GetString(std::string_view key, std::string_view domain,
                                                      Scope scope) {
  auto v = CopyValue(key, domain, scope);
  if (!v || !v->IsString()) return std::nullopt;
  return *v->AsString();
}

std::optional<values::Bytes> PreferenceStore::GetData(std::string_view key, std::string_view domain,
                                                      Scope scope) {
  auto v = CopyValue(key, domain, scope);
  if (!v || !v->IsData()) return std::nullopt;
  return std::move(v->AsData()->bytes);
}

std::optional<values::Array> PreferenceStore::GetArray(std::string_view key, std::string_view domain,
                                                       Scope scope) {
  auto v = CopyValue(key, domain, scope);
  if (!v || !v->IsArray()) return std::nullopt;
  return std::move(*v->AsArray());
}

std::optional<values::Dictionary> PreferenceStore::GetDictionary(std::string_view key,
                                                                 std::string_view domain, Scope scope) {
  auto v = CopyValue(key, domain, scope);
  if (!v || !v->IsDictionary()) return std::nullopt;
  return std::move(*v->AsDictionary());
}

void PreferenceStore::Set(std::string_view key, values::Value value, std::string_view name, Scope scope) {
  Domain& domain = Load(name, scope);
  std::lock_guard lock(mutex_);
  if (value.IsNull()) {
    if (auto it = domain.values.find(key); it != domain.values.end()) domain.values.erase(it);
  } else {
    domain.values.insert_or_assign(std::string(key), std::move(value));
  }
  domain.pending.insert_or_assign(std::string(key), ++generation_);
}

void PreferenceStore::Remove(std::string_view key, std::string_view domain, Scope scope) {
  Set(key, values::Value(), domain, scope);
}

void PreferenceStore::SetMultiple(const values::Dictionary& toSet, const std::vector<std::string>& toRemove,
                                  std::string_view name, Scope scope) {
  Domain& domain = Load(name, scope);
  std::lock_guard lock(mutex_);
  const std::uint64_t generation = ++generation_;
  for (const auto& key : toRemove) {
    if (auto it = domain.values.find(key); it != domain.values.end()) domain.values.erase(it);
    domain.pending.insert_or_assign(key, generation);
  }
  for (const auto& [key, value] : toSet) {
    if (value.IsNull()) {
      if (auto it = domain.values.find(key); it != domain.values.end()) domain.values.erase(it);
    } else {
      domain.values.insert_or_assign(key, value);
    }
    domain.pending.insert_or_assign(key, generation);
  }
}

SyncStatus PreferenceStore::Synchronize(std::string_view name, Scope scope) {
  Domain& domain = Load(name, scope);
  if (!domain.valid) return {"\"" + std::string(name) + "\" cannot name a preference file"};
  std::lock_guard sync(domain.syncMutex);
  FileLock fileLock(LockPathFor(domain.path));
  if (!fileLock.locked()) return {fileLock.error()};

  const FileIdentity onDisk = IdentityOf(domain.path);
  bool reload;
  {
    std::lock_guard lock(mutex_);
    reload = domain.failed || onDisk != domain.identity;
  }
  if (reload) {
    DomainFile file = ReadDomainFile(domain.path);
    Report(file, domain.path);
    std::lock_guard lock(mutex_);
    domain.failed = file.state == DomainFile::State::kFailed;
    if (domain.failed) return {"cannot read " + domain.path + ": " + file.error};
    // Keys we changed keep our value; the rest come from the file. A malformed file
    // (now moved aside) contributes nothing: we keep what we had.
    if (file.state != DomainFile::State::kUnreadable) {
      values::Dictionary merged = std::move(file.values);
      for (const auto& [key, generation] : domain.pending) {
        if (auto ours = domain.values.find(key); ours != domain.values.end()) {
          merged.insert_or_assign(key, ours->second);
        } else if (auto theirs = merged.find(key); theirs != merged.end()) {
          merged.erase(theirs);
        }
      }
      domain.values = std::move(merged);
    }
    domain.identity = file.identity;
  }

  values::Value snapshot;
  std::uint64_t written;
  {
    std::lock_guard lock(mutex_);
    // After a malformed file was moved aside there is no file: write ours even without
    // changes, so the domain is on disk again.
    if (domain.pending.empty() && (domain.identity.exists || domain.values.empty())) return {};
    snapshot = values::Value(domain.values);
    written = generation_;
  }
  auto text = values::WriteXmlPropertyList(snapshot);
  if (!text) return {"cannot write " + domain.path + ": " + text.error()};
  if (auto error = WriteFileAtomically(domain.path, *text); !error.empty()) {
    Log("cannot write " + domain.path + ": " + error);
    return {error};
  }
  const FileIdentity identity = IdentityOf(domain.path);
  std::lock_guard lock(mutex_);
  domain.identity = identity;
  // Changes made while the file was being written stay pending for the next time.
  std::erase_if(domain.pending, [&](const auto& entry) { return entry.second <= written; });
  return {};
}

SyncStatus PreferenceStore::SynchronizeAll() {
  std::vector<std::pair<std::string, Scope>> keys;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, domain] : domains_) keys.push_back(key);
  }
  SyncStatus first;
  for (const auto& [name, scope] : keys) {
    auto status = Synchronize(name, scope);
    if (first.ok() && !status.ok()) first = std::move(status);
  }
  return first;
}

void PreferenceStore::RegisterDefaults(const values::Dictionary& defaults, std::string_view domain) {
  std::lock_guard lock(mutex_);
  auto it = registered_.find(domain);
  if (it == registered_.end()) it = registered_.emplace(std::string(domain), values::Dictionary{}).first;
  for (const auto& [key, value] : defaults) it->second.insert_or_assign(key, value);
}

std::optional<values::Value> PreferenceStore::CopyUserDefault(std::string_view key, std::string_view name) {
  if (auto stored = CopyValue(key, name)) return stored;
  std::lock_guard lock(mutex_);
  auto it = registered_.find(name);
  if (it == registered_.end()) return std::nullopt;
  auto entry = it->second.find(key);
  if (entry == it->second.end()) return std::nullopt;
  return entry->second;
}

values::Value PreferenceStore::CopyUserDefaults(std::string_view name) {
  Domain& domain = Load(name, Scope::kAnyHost);
  std::lock_guard lock(mutex_);
  values::Dictionary merged;
  if (auto it = registered_.find(name); it != registered_.end()) merged = it->second;
  for (const auto& [key, value] : domain.values) merged.insert_or_assign(key, value);
  return values::Value(std::move(merged));
}

std::string DefaultPreferencesFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/Truvane";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.config/Truvane";
}

PreferenceStore& SharedPreferences() {
  static PreferenceStore store(DefaultPreferencesFolder());
  return store;
}

}  // namespace prefs
