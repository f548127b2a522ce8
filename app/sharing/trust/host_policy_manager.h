#pragma once
// Which peers' server keys are trusted, much as a secure-shell client keeps its known
// hosts.
//
// A key seen before for a host is accepted. A new host, or a known host with another key,
// is put to the user (HostKeyQuestionService), whose answer may be remembered for the
// session or for good. The same store says whether a peer that offers no usable key may be
// used unenciphered. Hosts are the text before the first ":" of the address a caller
// gives; keys are known by their fingerprints.
//
// Policy result bits (policyForHost): 1 accepted; 2 unknown host; 4 known host, other key;
// 8 known host, other key, host always accepted; 16 known host, other key, fingerprint
// always accepted; 32 unknown host, fingerprint always accepted. Accepted: any of 1, 8,
// 16, 32 (kAcceptMask).
//
// Kept for good in the hosts database "Truvane Hosts" (application-support folder), saved
// after every change so that no decision is lost to a crash, and in the defaults
// "unknownHostPolicy" (1 ask, 2 accept and remember new hosts, 3 accept a new host's key
// only when it is trusted for another host) and "insecureHostPolicy" (every host may be
// used unenciphered). Session-only trust is never stored.
//
// Any thread; the lists are under two locks, never held while the user is asked.

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "platform/values/value.h"

namespace sharing {

enum HostPolicyBits : int {
  kHostKeyAccepted = 1,
  kHostUnknown = 2,
  kHostKeyChanged = 4,
  kHostAlwaysAccepted = 8,
  kKnownHostFingerprintAlwaysAccepted = 16,
  kUnknownHostFingerprintAlwaysAccepted = 32,
};
inline constexpr int kAcceptMask = 57;

inline constexpr int kUnknownHostAsk = 1;
inline constexpr int kUnknownHostAccept = 2;
inline constexpr int kUnknownHostAcceptKnownKey = 3;

inline constexpr const char kHostsDatabaseName[] = "Truvane Hosts";

class HostPolicyManager {
 public:
  // With the hosts database at `databasePath` ("" keeps nothing on disk).
  explicit HostPolicyManager(std::string databasePath);
  // The shared one, loaded from the database and the defaults on first use.
  static HostPolicyManager& Default();

  void LoadHostsFromPrefs();
  void LoadDefaults();
  void WriteDefaults();
  void SaveHostsToPrefs();

  void AddInsecureHost(std::string_view host, bool sessionOnly);
  void AddHost(std::string_view host, std::string_view fingerprint, bool sessionOnly);
  int PolicyForHost(std::string_view host, std::string_view fingerprint);
  bool UnsecurePolicyForHost(std::string_view host);
  bool FingerPrintIsKnown(std::string_view fingerprint);

  // For a worker about to connect to `address`: whether the key is trusted, asking the
  // user when the policy says so.
  bool CheckKey(std::string_view fingerprint, std::string_view address);
  // Whether the peer may be used unenciphered; `interacted` tells whether the user was asked.
  bool UnsecureConnectionToHost(std::string_view address, bool& interacted);

  // What the question's OK does, by the question asked.
  void ApplyAnswer(const std::string& host, const std::string& fingerprint, int policy,
                   bool alwaysAcceptUnknownHosts, bool acceptNewKeyForOneSessionOnly,
                   bool alwaysAcceptUnsecuredConnections, bool unsecuredConnectionsSpecifiedHostOnly);

  // Rows of the preferences window's table: {"hostname", "fingerprint" ("*": any key of
  // that host), "session only"}.
  values::Array ArrayForPreferences();
  void ReconfigureFromPreferencesArray(const values::Array& rows);

  int UnknownHostPolicy();
  void SetUnknownHostPolicy(int policy);
  bool AlwaysAcceptInsecureHosts();
  void SetAlwaysAcceptInsecureHosts(bool accept);

 private:
  using Names = std::set<std::string, std::less<>>;
  using KeyLists = std::map<std::string, Names, std::less<>>;
  int PolicyLocked(std::string_view host, std::string_view fingerprint);

  std::string databasePath_;
  bool unwritableLogged_ = false;
  std::mutex hostDataBaseLock_;
  std::mutex insecureHostsLock_;
  KeyLists hosts_;
  KeyLists sessionOnlyHosts_;
  Names hostsToAlwaysAccept_;
  Names fingerprintsToAlwaysAccept_;
  int unknownHostPolicy_ = kUnknownHostAsk;
  bool alwaysAcceptInsecureHosts_ = false;
  Names insecureHosts_;
  Names sessionOnlyInsecureHosts_;
};

// The host of an address: the text before its first ":".
std::string HostOfAddress(std::string_view address);

bool HostPolicyCheckKey(std::string_view fingerprint, std::string_view address);
bool HostPolicyAllowUnsecuredConnection(std::string_view address, bool* asked);
// Writes the shared manager's hosts database; nothing when this run never read it.
void HostPolicySaveHosts();

}  // namespace sharing
