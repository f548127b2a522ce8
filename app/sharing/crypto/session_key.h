#pragma once
// Session keys: the connecting side makes a fresh 64-byte key from OpenSSL's random
// generator, sends it RSA-OAEP-enciphered under the server's public key as Base64 text,
// and both sides seed their connection's cipher with it.
//
// A server accepts a key only once per run: a peer replaying a recorded key text would
// otherwise make the server encipher its replies with a key stream it already used, and
// the two streams together give the plain text away. Peers that make a fresh key for each
// connection, as every peer does, never notice. The memory of used keys is bounded
// (kRememberedSessionKeys, the oldest forgotten first).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/session_cipher.h"

namespace sharing {

inline constexpr std::size_t kRememberedSessionKeys = 100000;

// Owns one connection's cipher and clears it when it goes.
struct SessionCipherDeleter {
  void operator()(SessionCipher* cipher) const;
};
using SessionCipherPtr = std::unique_ptr<SessionCipher, SessionCipherDeleter>;

// A new key for a connection to the peer whose server key is `peer`: the cipher seeded with
// it, and in `keyText` the Base64 of the enciphered key. Nothing (and an empty text) when
// no random key or no encryption could be had; the caller then goes on unenciphered only
// as the host-key policy allows.
SessionCipherPtr CreateSessionKey(const RSAKey& peer, std::string& keyText);

// The server's side: deciphers a key text with the server key. Nothing unless it gives
// exactly 64 bytes never accepted before in this run.
SessionCipherPtr AcceptSessionKey(const RSAKey& serverKey, std::string_view keyText);

}  // namespace sharing
