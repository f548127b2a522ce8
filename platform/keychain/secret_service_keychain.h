#pragma once
// The keychain on the desktop's Secret Service (gnome-keyring, KWallet...) through
// libsecret.
//
// Generic passwords use a schema of our own ({service, account}, the data stored as
// binary secrets). Internet passwords use the network-password schema that other Linux
// programs write, so proxy and FTP passwords the user keeps for them are found too; the
// four-character protocol codes map to that schema's protocol names.
//
// Results of a search come in creation order, oldest first.

#include <memory>
#include <mutex>

#include "platform/keychain/keychain.h"

namespace keychain {

class SecretServiceKeychain : public Keychain {
 public:
  // Null when no Secret Service runs on the session bus or can be started there.
  static std::unique_ptr<SecretServiceKeychain> Connect();

  Status AddGenericPassword(const std::string& service, const std::string& account,
                            const values::Bytes& data) override;
  Status FindGenericPassword(const std::string& service, const std::string& account,
                             values::Bytes& data) override;
  Status ReplaceGenericPassword(const std::string& service, const std::string& account,
                                const values::Bytes& data) override;
  Status DeleteGenericPassword(const std::string& service, const std::string& account) override;
  Status AddInternetPassword(const InternetPassword& item) override;
  Status FindInternetPasswords(const InternetQuery& query, std::vector<InternetPassword>& found) override;
  std::string Name() const override { return "Secret Service"; }

  // The network-password schema's protocol name for a code ("ftp", "http-proxy"...) and back.
  static std::string ProtocolName(values::FourCharCode protocol);
  static values::FourCharCode ProtocolCode(const std::string& name);

 private:
  SecretServiceKeychain() = default;
  Status StoreGeneric(const std::string& service, const std::string& account, const values::Bytes& data);

  std::mutex mutex_;
};

}  // namespace keychain
