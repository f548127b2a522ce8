#pragma once
// The keychain kept in a file of our own, for sessions without a Secret Service.
//
// The items are one property list, enciphered with AES-256-GCM under a random key held in
// a second file; both files are mode 0600 and replaced atomically. The key sits in the
// preferences folder and the items in the application-support folder, so a copy of one
// folder alone (a backup, a shared data folder) gives nothing away; it is no protection
// against a program running as the same user, which the Secret Service's login keyring
// gives.
//
// A store that cannot be read (damaged, its key gone, too large) answers kNotAvailable to
// every call and is never overwritten, so nothing in it is lost to a later write.

#include <mutex>
#include <string>

#include "platform/keychain/keychain.h"

namespace keychain {

class FileKeychain : public Keychain {
 public:
  FileKeychain(std::string storePath, std::string keyPath);
  // "Truvane Keychain" in the application-support folder, its key "Truvane Keychain Key"
  // in the preferences folder.
  static std::unique_ptr<FileKeychain> OpenDefault();

  Status AddGenericPassword(const std::string& service, const std::string& account,
                            const values::Bytes& data) override;
  Status FindGenericPassword(const std::string& service, const std::string& account,
                             values::Bytes& data) override;
  Status ReplaceGenericPassword(const std::string& service, const std::string& account,
                                const values::Bytes& data) override;
  Status DeleteGenericPassword(const std::string& service, const std::string& account) override;
  Status AddInternetPassword(const InternetPassword& item) override;
  Status FindInternetPasswords(const InternetQuery& query, std::vector<InternetPassword>& found) override;
  std::string Name() const override { return "file"; }
  std::string Description() const override;
  std::string Problem() const override;

  // Larger stores are refused as damaged.
  static constexpr std::size_t kMaxStoreSize = std::size_t{16} << 20;

 private:
  Status Load(values::Value& items);
  Status Save(const values::Value& items);

  mutable std::mutex mutex_;
  std::string problem_;  // why the last Load refused the store
  std::string storePath_;
  std::string keyPath_;
};

}  // namespace keychain
