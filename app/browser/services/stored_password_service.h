#pragma once
// The stored-password cipher, for subsystems that keep a secret in their own files and may
// not include the credentials store (the sharing server's private key, uploads,
// favourites). The store installs its cipher at start-up.
//
// The default has no key: it enciphers and deciphers nothing, so a caller keeps its secret
// in memory only and writes no clear text in its place.

#include <optional>

#include "platform/runtime/service_slot.h"
#include "platform/values/value.h"

namespace browser {

class StoredPasswordService {
 public:
  virtual ~StoredPasswordService() = default;
  // Nothing when no key can be had.
  virtual std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain) = 0;
  // Nothing when no key can be had or the value does not decipher under it.
  virtual std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& enciphered) = 0;
};

class NoStoredPasswordKey : public StoredPasswordService {
 public:
  std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes&) override { return std::nullopt; }
  std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes&) override { return std::nullopt; }
};

using StoredPasswordServiceSlot = runtime::ServiceSlot<StoredPasswordService, NoStoredPasswordKey>;

}  // namespace browser
