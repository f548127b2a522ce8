#include "app/sharing/crypto/session_key.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_set>

#include "app/sharing/crypto/sharing_base64.h"
#include "platform/values/digest.h"

namespace sharing {
namespace {

SessionCipherPtr NewCipher(const SessionKey& key) {
  SessionCipherPtr cipher(new SessionCipher);
  SessionCipherInit(*cipher, key);
  return cipher;
}

// Keys accepted in this run, by the first 8 bytes of their SHA-256.
class UsedSessionKeys {
 public:
  // False when the key was seen before.
  bool Remember(const SessionKey& key) {
    const auto digest = values::ComputeDigest(values::DigestAlgorithm::kSha256, key);
    std::uint64_t id = 0;
    std::memcpy(&id, digest.data(), sizeof id);
    std::lock_guard lock(mutex_);
    if (!seen_.insert(id).second) return false;
    order_.push_back(id);
    if (order_.size() > kRememberedSessionKeys) {
      seen_.erase(order_.front());
      order_.pop_front();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_set<std::uint64_t> seen_;
  std::deque<std::uint64_t> order_;
};

UsedSessionKeys& Used() {
  static UsedSessionKeys used;
  return used;
}

}  // namespace

void SessionCipherDeleter::operator()(SessionCipher* cipher) const {
  SessionCipherClear(*cipher);
  delete cipher;
}

SessionCipherPtr CreateSessionKey(const RSAKey& peer, std::string& keyText) {
  keyText.clear();
  SessionKey key;
  // No weaker fallback: a connection without a random key is not worth enciphering.
  if (RAND_bytes(key.data(), static_cast<int>(key.size())) != 1) return nullptr;
  const auto enciphered = peer.EncryptOAEP(key);
  SessionCipherPtr cipher;
  if (enciphered && !enciphered->empty()) {
    keyText = Base64Encode(*enciphered);
    cipher = NewCipher(key);
  }
  OPENSSL_cleanse(key.data(), key.size());
  return cipher;
}

SessionCipherPtr AcceptSessionKey(const RSAKey& serverKey, std::string_view keyText) {
  const auto enciphered = Base64Decode(keyText);
  auto plain = serverKey.DecryptOAEP(enciphered);
  if (!plain || plain->size() != kSessionKeySize) return nullptr;
  SessionKey key;
  std::memcpy(key.data(), plain->data(), key.size());
  OPENSSL_cleanse(plain->data(), plain->size());
  SessionCipherPtr cipher = Used().Remember(key) ? NewCipher(key) : nullptr;
  OPENSSL_cleanse(key.data(), key.size());
  return cipher;
}

}  // namespace sharing
