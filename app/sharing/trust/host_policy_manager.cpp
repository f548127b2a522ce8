#include "app/sharing/trust/host_policy_manager.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "app/engine/log/transfer_log.h"
#include "app/sharing/services/host_key_question_service.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/standard_folders.h"
#include "platform/values/plist.h"
#include "platform/values/plist_xml.h"

namespace sharing {
namespace {

using values::Value;

values::Array ToArray(const std::set<std::string, std::less<>>& set) {
  return values::Array(set.begin(), set.end());
}

void ReadStrings(const Value& root, const char* key, std::set<std::string, std::less<>>& out) {
  const values::Array* list = nullptr;
  if (root.GetArray(key, list) != values::Lookup::kOk) return;
  out.clear();
  for (const Value& v : *list) {
    if (v.IsString()) out.insert(*v.AsString());
  }
}

// The database as stored: nothing when there is none. One that cannot be read (damaged,
// not a regular file, too large) is moved aside, so that the next save does not replace
// it unseen, and the log says which file and where it went. The read never blocks: a
// FIFO in the file's place is refused, not waited on.
std::optional<Value> ReadDatabase(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return std::nullopt;
  auto root = values::ReadPropertyListFile(path);
  std::string why;
  if (!root) {
    why = root.error();
  } else if (!root->IsDictionary()) {
    why = path + ": not a dictionary";
  } else {
    return std::move(root).value();
  }
  const std::string aside = path + " (damaged)";
  if (std::rename(path.c_str(), aside.c_str()) == 0) {
    engine::LogMessageToGlobalLog(true,
                                  "The hosts database could not be read (%@). It was kept as \"%@\"; the "
                                  "hosts known for sharing start empty.",
                                  {why, aside});
  } else {
    engine::LogMessageToGlobalLog(true,
                                  "The hosts database could not be read (%@); the hosts known for sharing "
                                  "start empty.",
                                  {why});
  }
  return std::nullopt;
}

}  // namespace

std::string HostOfAddress(std::string_view address) {
  return std::string(address.substr(0, address.find(':')));
}

HostPolicyManager::HostPolicyManager(std::string databasePath) : databasePath_(std::move(databasePath)) {}

namespace {
// Whether the shared manager was made (and its database read) in this run.
std::atomic<bool> gDefaultLoaded{false};
}  // namespace

HostPolicyManager& HostPolicyManager::Default() {
  static HostPolicyManager* manager = [] {
    gDefaultLoaded = true;
    const std::string folder = files::StandardFolderRef(files::StandardFolder::kApplicationSupport).Path();
    auto* m = new HostPolicyManager(folder + "/" + kHostsDatabaseName);
    m->LoadHostsFromPrefs();
    return m;
  }();
  return *manager;
}

void HostPolicyManager::LoadHostsFromPrefs() {
  if (!databasePath_.empty()) {
    if (auto root = ReadDatabase(databasePath_)) {
      std::lock_guard lock(hostDataBaseLock_);
      const Value* hosts = nullptr;
      if (root->GetDictionary("hosts", hosts) == values::Lookup::kOk) {
        hosts_.clear();
        for (const auto& [host, list] : *hosts->AsDictionary()) {
          if (!list.IsArray()) continue;
          auto& set = hosts_[host];
          for (const Value& fp : *list.AsArray()) {
            if (fp.IsString()) set.insert(*fp.AsString());
          }
        }
      }
      ReadStrings(*root, "hostsToAlwaysAccept", hostsToAlwaysAccept_);
      ReadStrings(*root, "fingerprintsToAlwaysAccept", fingerprintsToAlwaysAccept_);
      std::int64_t policy = 0;
      if (root->GetInt64("unknownHostPolicy", policy) == values::Lookup::kOk && policy >= 1 && policy <= 3)
        unknownHostPolicy_ = static_cast<int>(policy);
      std::lock_guard insecure(insecureHostsLock_);
      ReadStrings(*root, "insecureHosts", insecureHosts_);
    }
  }
  LoadDefaults();
}

void HostPolicyManager::LoadDefaults() {
  const auto policy = util::ReadStoredSetting(util::kUnknownHostPolicyKey);
  {
    std::lock_guard lock(hostDataBaseLock_);
    unknownHostPolicy_ = policy && *policy >= 1 && *policy <= 3 ? static_cast<int>(*policy) : kUnknownHostAsk;
  }
  std::lock_guard lock(insecureHostsLock_);
  alwaysAcceptInsecureHosts_ = util::ReadStoredSetting(util::kInsecureHostPolicyKey).value_or(false);
}

void HostPolicyManager::WriteDefaults() {
  util::WriteSetting(util::kUnknownHostPolicyKey, UnknownHostPolicy());
  util::WriteSetting(util::kInsecureHostPolicyKey, AlwaysAcceptInsecureHosts());
  util::SynchronizeSettings();
}

void HostPolicyManager::SaveHostsToPrefs() {
  Value root(values::Dictionary{});
  {
    std::lock_guard lock(hostDataBaseLock_);
    Value hosts(values::Dictionary{});
    for (const auto& [host, set] : hosts_) hosts.Put(host, ToArray(set));
    root.Put("hosts", std::move(hosts));
    root.Put("hostsToAlwaysAccept", ToArray(hostsToAlwaysAccept_));
    root.Put("fingerprintsToAlwaysAccept", ToArray(fingerprintsToAlwaysAccept_));
    root.Put("unknownHostPolicy", unknownHostPolicy_);
  }
  {
    std::lock_guard lock(insecureHostsLock_);
    root.Put("insecureHosts", ToArray(insecureHosts_));
  }
  if (!databasePath_.empty()) {
    // A host name or fingerprint that cannot be stored as text is left out, not the whole
    // database with it.
    if (const auto dropped = values::RemoveValuesXmlCannotHold(root);
        !dropped.empty() && !unwritableLogged_) {
      unwritableLogged_ = true;
      engine::LogMessageToGlobalLog(true, "The hosts database left out what cannot be saved as text (%@).",
                                    {dropped.front()});
    }
    auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
    const auto folder = files::FindStandardFolder(files::StandardFolder::kApplicationSupport, true);
    if (bytes && folder.ok()) {
      const std::string temp = databasePath_ + ".new";
      if (FILE* f = std::fopen(temp.c_str(), "wb")) {
        const bool written = std::fwrite(bytes->data(), 1, bytes->size(), f) == bytes->size();
        if (std::fclose(f) == 0 && written) std::rename(temp.c_str(), databasePath_.c_str());
      }
    }
  }
  WriteDefaults();
}

void HostPolicyManager::AddInsecureHost(std::string_view host, bool sessionOnly) {
  std::lock_guard lock(insecureHostsLock_);
  (sessionOnly ? sessionOnlyInsecureHosts_ : insecureHosts_).emplace(host);
}

void HostPolicyManager::AddHost(std::string_view host, std::string_view fingerprint, bool sessionOnly) {
  std::lock_guard lock(hostDataBaseLock_);
  auto& lists = sessionOnly ? sessionOnlyHosts_ : hosts_;
  lists[std::string(host)].emplace(fingerprint);
}

int HostPolicyManager::PolicyLocked(std::string_view host, std::string_view fingerprint) {
  const auto permanent = hosts_.find(host);
  const auto session = sessionOnlyHosts_.find(host);
  const bool inPermanent = permanent != hosts_.end();
  const bool inSession = session != sessionOnlyHosts_.end();
  if ((inSession && session->second.contains(fingerprint)) ||
      (inPermanent && permanent->second.contains(fingerprint)))
    return kHostKeyAccepted;
  if (!inPermanent && !inSession) {
    return fingerprintsToAlwaysAccept_.contains(fingerprint) ? kUnknownHostFingerprintAlwaysAccepted
                                                             : kHostUnknown;
  }
  if (hostsToAlwaysAccept_.contains(host)) return kHostAlwaysAccepted;
  if (fingerprintsToAlwaysAccept_.contains(fingerprint)) return kKnownHostFingerprintAlwaysAccepted;
  return kHostKeyChanged;
}

int HostPolicyManager::PolicyForHost(std::string_view host, std::string_view fingerprint) {
  int result;
  int unknownPolicy;
  {
    std::lock_guard lock(hostDataBaseLock_);
    result = PolicyLocked(host, fingerprint);
    unknownPolicy = unknownHostPolicy_;
  }
  if (result != kHostUnknown) return result;
  if (unknownPolicy == kUnknownHostAccept ||
      (unknownPolicy == kUnknownHostAcceptKnownKey && FingerPrintIsKnown(fingerprint))) {
    AddHost(host, fingerprint, false);
    SaveHostsToPrefs();
    return kHostKeyAccepted;
  }
  return result;
}

bool HostPolicyManager::UnsecurePolicyForHost(std::string_view host) {
  std::lock_guard lock(insecureHostsLock_);
  return alwaysAcceptInsecureHosts_ || insecureHosts_.contains(host) ||
         sessionOnlyInsecureHosts_.contains(host);
}

bool HostPolicyManager::FingerPrintIsKnown(std::string_view fingerprint) {
  std::lock_guard lock(hostDataBaseLock_);
  for (const auto* lists : {&hosts_, &sessionOnlyHosts_}) {
    for (const auto& [host, set] : *lists) {
      if (set.contains(fingerprint)) return true;
    }
  }
  return false;
}

bool HostPolicyManager::CheckKey(std::string_view fingerprint, std::string_view address) {
  const std::string host = HostOfAddress(address);
  const int policy = PolicyForHost(host, fingerprint);
  if (policy & kAcceptMask) return true;
  const HostKeyAnswer answer =
      HostKeyQuestionServiceSlot::Get().Ask(HostKeyQuestion{host, std::string(fingerprint), policy});
  if (answer.ok) {
    ApplyAnswer(host, std::string(fingerprint), policy, answer.alwaysAcceptUnknownHosts,
                answer.acceptNewKeyForOneSessionOnly, false, false);
  }
  return (PolicyForHost(host, fingerprint) & kAcceptMask) != 0;
}

bool HostPolicyManager::UnsecureConnectionToHost(std::string_view address, bool& interacted) {
  interacted = false;
  if (AlwaysAcceptInsecureHosts()) return true;
  const std::string host = HostOfAddress(address);
  if (UnsecurePolicyForHost(host)) return true;
  interacted = true;
  const HostKeyAnswer answer = HostKeyQuestionServiceSlot::Get().Ask(HostKeyQuestion{host, "", 0});
  if (answer.ok) {
    ApplyAnswer(host, "", 0, false, false, answer.alwaysAcceptUnsecuredConnections,
                answer.unsecuredConnectionsSpecifiedHostOnly);
  }
  return UnsecurePolicyForHost(host);
}

void HostPolicyManager::ApplyAnswer(const std::string& host, const std::string& fingerprint, int policy,
                                    bool alwaysAcceptUnknownHosts, bool acceptNewKeyForOneSessionOnly,
                                    bool alwaysAcceptUnsecuredConnections,
                                    bool unsecuredConnectionsSpecifiedHostOnly) {
  if (!fingerprint.empty()) {
    if (policy == kHostUnknown) {
      if (alwaysAcceptUnknownHosts) SetUnknownHostPolicy(kUnknownHostAccept);
      AddHost(host, fingerprint, false);
    } else if (policy == kHostKeyChanged) {
      AddHost(host, fingerprint, acceptNewKeyForOneSessionOnly);
    }
  } else if (!alwaysAcceptUnsecuredConnections) {
    AddInsecureHost(host, true);
  } else if (unsecuredConnectionsSpecifiedHostOnly) {
    AddInsecureHost(host, false);
  } else {
    SetAlwaysAcceptInsecureHosts(true);
  }
  SaveHostsToPrefs();
}

values::Array HostPolicyManager::ArrayForPreferences() {
  values::Array rows;
  const auto row = [](const std::string* host, const std::string* fingerprint, bool sessionOnly) {
    Value r(values::Dictionary{});
    if (host) r.Put("hostname", *host);
    if (fingerprint) r.Put("fingerprint", *fingerprint);
    r.Put("session only", sessionOnly);
    return r;
  };
  {
    std::lock_guard lock(hostDataBaseLock_);
    for (const auto& [host, set] : hosts_)
      for (const auto& fp : set) rows.push_back(row(&host, &fp, false));
    for (const auto& [host, set] : sessionOnlyHosts_)
      for (const auto& fp : set) rows.push_back(row(&host, &fp, true));
    const std::string any = "*";
    for (const auto& host : hostsToAlwaysAccept_) rows.push_back(row(&host, &any, false));
    for (const auto& fp : fingerprintsToAlwaysAccept_) rows.push_back(row(nullptr, &fp, false));
  }
  std::lock_guard lock(insecureHostsLock_);
  for (const auto& host : insecureHosts_) rows.push_back(row(&host, nullptr, false));
  for (const auto& host : sessionOnlyInsecureHosts_) rows.push_back(row(&host, nullptr, true));
  return rows;
}

void HostPolicyManager::ReconfigureFromPreferencesArray(const values::Array& rows) {
  KeyLists hosts, sessionOnlyHosts;
  Names alwaysHosts, alwaysFingerprints, insecure, sessionInsecure;
  for (const Value& r : rows) {
    std::string host, fingerprint;
    const bool hasHost = r.GetString("hostname", host) == values::Lookup::kOk && !host.empty();
    const bool hasFingerprint =
        r.GetString("fingerprint", fingerprint) == values::Lookup::kOk && !fingerprint.empty();
    const Value* session = r.Find("session only");
    const bool sessionOnly = session != nullptr && session->BoolOr(false);
    if (hasHost && hasFingerprint && fingerprint == "*") {
      alwaysHosts.insert(host);
    } else if (hasHost && hasFingerprint) {
      (sessionOnly ? sessionOnlyHosts : hosts)[host].insert(fingerprint);
    } else if (hasHost) {
      (sessionOnly ? sessionInsecure : insecure).insert(host);
    } else if (hasFingerprint) {
      alwaysFingerprints.insert(fingerprint);
    }
  }
  {
    std::lock_guard lock(hostDataBaseLock_);
    hosts_ = std::move(hosts);
    sessionOnlyHosts_ = std::move(sessionOnlyHosts);
    hostsToAlwaysAccept_ = std::move(alwaysHosts);
    fingerprintsToAlwaysAccept_ = std::move(alwaysFingerprints);
  }
  {
    std::lock_guard lock(insecureHostsLock_);
    insecureHosts_ = std::move(insecure);
    sessionOnlyInsecureHosts_ = std::move(sessionInsecure);
  }
  SaveHostsToPrefs();
}

int HostPolicyManager::UnknownHostPolicy() {
  std::lock_guard lock(hostDataBaseLock_);
  return unknownHostPolicy_;
}

void HostPolicyManager::SetUnknownHostPolicy(int policy) {
  std::lock_guard lock(hostDataBaseLock_);
  unknownHostPolicy_ = policy;
}

bool HostPolicyManager::AlwaysAcceptInsecureHosts() {
  std::lock_guard lock(insecureHostsLock_);
  return alwaysAcceptInsecureHosts_;
}

void HostPolicyManager::SetAlwaysAcceptInsecureHosts(bool accept) {
  std::lock_guard lock(insecureHostsLock_);
  alwaysAcceptInsecureHosts_ = accept;
}

bool HostPolicyCheckKey(std::string_view fingerprint, std::string_view address) {
  return HostPolicyManager::Default().CheckKey(fingerprint, address);
}

bool HostPolicyAllowUnsecuredConnection(std::string_view address, bool* asked) {
  bool interacted = false;
  const bool allowed = HostPolicyManager::Default().UnsecureConnectionToHost(address, interacted);
  if (asked) *asked = interacted;
  return allowed;
}

void HostPolicySaveHosts() {
  // A run that never read the database has nothing to add to it.
  if (gDefaultLoaded) HostPolicyManager::Default().SaveHostsToPrefs();
}

}  // namespace sharing
