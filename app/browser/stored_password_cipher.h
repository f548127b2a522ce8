#pragma once
// The stored-password cipher: how the program keeps a secret in its own files (the queue
// file, the uploads file, the favourites, the sharing server's private key).
//
// A value is Blowfish in CFB mode with 64-bit feedback under a 24-byte key that lives in
// the keychain item "Truvane Preferences Encryption Key" (as Base64 text). Its clear text
// is an 8-byte check block followed by the value, so a wrong key or damaged bytes are
// told from a real value.
//
// Two forms are read:
//   check block || value under an all-zero IV           8 + n bytes (older writers)
//   IV || (check block || value under that IV)          16 + n bytes (what we write)
// The first form starts every value with the same IV and the same first block, so the
// first 8 bytes of every secret were masked by one key-stream block: knowing one stored
// password gave away the start of all others. Writing a fresh random IV per value ends
// that; the older form is still read, and a value of the newer form passes the older
// form's check only by a 2^-64 chance.
//
// The key is settled once per process under its own lock and cached. It is looked for in
// every keychain the run can reach (the desktop's Secret Service and the file store), and
// copied to those that lack it, so a run under another back end finds the same key. It is
// made anew only when every keychain says it holds none and no enciphered value has met
// the want of one in this run: a keychain that cannot be reached (locked, refused,
// damaged) gives no key at all, never a new one, since a new key would make every stored
// secret unreadable. A key is handed out only once the keychain has stored it. Readers
// keep a value no key opens as it is stored, so that it is read again once its key is back.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/browser/services/stored_password_service.h"
#include "platform/keychain/keychain.h"
#include "platform/values/value.h"

namespace browser {

using StoredPasswordKey = std::array<std::uint8_t, 24>;

inline constexpr const char kStoredPasswordKeyService[] = "Truvane Preferences Encryption Key";

// Set when a decrypting caller found the key in none of the keychains (and none was locked
// or damaged): whatever is enciphered cannot be read in this run, and no key is made.
extern std::atomic<bool> gStoredPasswordKeyOutOfReach;

// The keychains the credentials store and the cipher's key use (start-up installs the
// user's; tests file stores of their own): the first holds the credentials, all are
// searched for the key. None: no keychain, so no key.
void SetCredentialsKeychains(std::vector<std::shared_ptr<keychain::Keychain>> keychains);
void SetCredentialsKeychain(std::shared_ptr<keychain::Keychain> keychain);
// The same, opened by `open` when a secret is first wanted: reaching the desktop's keyring
// may wait on its own prompt (a keyring not made yet, a locked one), or on a service that
// does not answer, and start-up must not wait with it.
using KeychainOpener = std::function<std::vector<std::shared_ptr<keychain::Keychain>>()>;
void SetCredentialsKeychainOpener(KeychainOpener open);
std::shared_ptr<keychain::Keychain> GetCredentialsKeychain();

// The cached key, else the stored one, else (see above) a new one stored in the keychain.
// A decrypting caller never gets a new key: nothing, and gStoredPasswordKeyOutOfReach set.
std::optional<StoredPasswordKey> GetStoredPasswordKey(bool forDecrypt);
// Forgets the cached key (tests; a new keychain).
void ForgetStoredPasswordKey();

std::optional<values::Bytes> EncryptDataWithKey(const values::Bytes& plain, const StoredPasswordKey& key);
// Nothing when the check block does not match (wrong key, damaged bytes, too short).
std::optional<values::Bytes> DecryptDataWithKey(const values::Bytes& enciphered,
                                                const StoredPasswordKey& key);

std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain);
// Under the key, else under a different key of the same name another keychain holds.
std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& enciphered);

// The cipher above behind the service other subsystems reach.
class KeychainStoredPasswords : public StoredPasswordService {
 public:
  std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain) override;
  std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& enciphered) override;
};

}  // namespace browser
