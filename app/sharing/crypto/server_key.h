#pragma once
// The server key: one RSA key pair per user (1536 bits, exponent 65537) that this copy's
// sharing servers present to peers. Made on first need, then kept for good in the
// preference "server pub key" (despite the name, the whole private key: its archive,
// enciphered with the stored-password cipher).
//
// A stored value that does not decipher, unarchive or pass the key check is ignored and
// replaced by a new key at the next save. When no stored-password key can be had the key
// is used for this run only and nothing is written, so the private key never reaches the
// preferences in clear.
//
// Any thread; one lock guards the key and its stored copy.

#include <memory>
#include <string>

#include "app/sharing/crypto/rsa_key.h"

namespace sharing {

// Forgets the key in memory and reads the stored one; whether one was accepted.
bool LoadServerKey();
void SaveServerKey();
// The key in memory, else the stored one, else a new one (kept and saved). Null only when
// no key can be generated.
std::shared_ptr<const RSAKey> CopyOrCreateServerKey();
std::unique_ptr<RSAKey> CopyServerKey();
std::string CopyServerPublicKeyString();
std::string CopyServerKeyFingerprint();
// Drops the key in memory (tests; a new user).
void ForgetServerKey();

}  // namespace sharing
