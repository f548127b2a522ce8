#pragma once
// The user's keychain: generic passwords (a service name and an account, holding any
// bytes) and internet passwords (server, account, port, protocol and authentication
// type, holding a password).
//
// Two back ends keep the same contract (tests/platform/keychain runs one suite on both):
// the desktop's Secret Service through libsecret, used when a session bus offers one, and
// an enciphered file of our own otherwise. OpenUserKeychain picks between them.
//
// Every call says what happened as a status: kItemNotFound only when the item is known
// to be absent, and kNotAvailable for everything else that went wrong (no service, a
// locked or refused collection, a damaged file). Callers that would make something anew
// when an item is missing must act on kItemNotFound alone: a keychain that is merely
// locked is not an empty one.
//
// The calls are thread-safe and may block (the Secret Service answers over D-Bus).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/values/fourcc.h"
#include "platform/values/value.h"

namespace keychain {

// The codes callers compare with (the keychain's own numbers).
enum Status : int {
  kNoErr = 0,
  kNotAvailable = -25291,
  kDuplicateItem = -25299,
  kItemNotFound = -25300,
};

// Protocol and authentication codes of internet passwords.
inline constexpr values::FourCharCode kProtocolFTP = values::FourCC("ftp ");
inline constexpr values::FourCharCode kProtocolFTPS = values::FourCC("ftps");
inline constexpr values::FourCharCode kProtocolFTPAccount = values::FourCC("ftpa");
inline constexpr values::FourCharCode kProtocolHTTP = values::FourCC("http");
inline constexpr values::FourCharCode kProtocolHTTPS = values::FourCC("htps");
inline constexpr values::FourCharCode kProtocolHTTPProxy = values::FourCC("htpx");
inline constexpr values::FourCharCode kProtocolFTPProxy = values::FourCC("ftpx");
inline constexpr values::FourCharCode kAuthenticationDefault = values::FourCC("dflt");

struct InternetPassword {
  std::string server;
  std::string account;
  std::string path;
  std::uint16_t port = 0;  // 0: none
  values::FourCharCode protocol = 0;
  values::FourCharCode authenticationType = kAuthenticationDefault;
  std::string password;
  bool operator==(const InternetPassword&) const = default;
};

// An internet-password search: the server and protocol always; the rest only when given.
// Every member has an initializer: designated initializers name only what they match.
struct InternetQuery {
  std::string server{};
  values::FourCharCode protocol = 0;
  std::optional<std::string> account{};
  std::optional<std::uint16_t> port{};
  std::optional<values::FourCharCode> authenticationType{};
};

class Keychain {
 public:
  virtual ~Keychain() = default;

  // Adds a generic password; kDuplicateItem when one with the same service and account
  // exists (it is left as it was).
  virtual Status AddGenericPassword(const std::string& service, const std::string& account,
                                    const values::Bytes& data) = 0;
  virtual Status FindGenericPassword(const std::string& service, const std::string& account,
                                     values::Bytes& data) = 0;
  // Replaces the data of an existing item; kItemNotFound when there is none.
  virtual Status ReplaceGenericPassword(const std::string& service, const std::string& account,
                                        const values::Bytes& data) = 0;
  virtual Status DeleteGenericPassword(const std::string& service, const std::string& account) = 0;

  // Adds an internet password; kDuplicateItem when one with the same server, account,
  // path, port, protocol and authentication type exists.
  virtual Status AddInternetPassword(const InternetPassword& item) = 0;
  // Every match, oldest first (so "the first item" is the same on every call);
  // kItemNotFound when none matches.
  virtual Status FindInternetPasswords(const InternetQuery& query, std::vector<InternetPassword>& found) = 0;

  // "Secret Service" or "file", for the log.
  virtual std::string Name() const = 0;
  // Where it is, for a person reading the log: the name, and the file of a file store.
  virtual std::string Description() const { return Name(); }
  // Why the last call answered kNotAvailable, when the store knows (a damaged file, naming
  // it); empty otherwise.
  virtual std::string Problem() const { return {}; }
};

// The Secret Service when one answers on the session bus, else the file store in the
// application-support folder.
std::unique_ptr<Keychain> OpenUserKeychain();
// Every keychain this run can reach, OpenUserKeychain's first: the Secret Service when one
// answers, then the file store. A secret written under one back end is looked for in the
// others when a later run has another one (a desktop session, then none).
std::vector<std::unique_ptr<Keychain>> OpenUserKeychains();

}  // namespace keychain
