#include "app/browser/stored_password_cipher.h"

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/values/base64.h"

namespace browser {

std::atomic<bool> gStoredPasswordKeyRegenerated{false};

namespace {

constexpr std::uint8_t kCheckBlock[8] = {0x64, 0xFE, 0x93, 0xCA, 0xB0, 0x71, 0x82, 0xD5};
constexpr std::size_t kBlock = 8;

struct KeyState {
  std::mutex mutex;
  std::optional<StoredPasswordKey> key;
  std::shared_ptr<keychain::Keychain> keychain;
};
KeyState& State() {
  static KeyState state;
  return state;
}

// Blowfish is in OpenSSL 3's legacy provider. Loading any provider by hand stops the
// default one from loading by itself, so both are loaded, once, for the whole process.
bool LoadBlowfishProviders() {
  static const bool loaded = [] {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* deflt = OSSL_PROVIDER_load(nullptr, "default");
    return legacy != nullptr && deflt != nullptr;
  }();
  return loaded;
}

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct CipherFree {
  void operator()(EVP_CIPHER* c) const { EVP_CIPHER_free(c); }
};

// One Blowfish-CFB64 run over `in` (a stream mode: output as long as input).
std::optional<values::Bytes> Blowfish(const values::Bytes& in, const StoredPasswordKey& key,
                                      const std::uint8_t* iv, bool encrypt) {
  if (!LoadBlowfishProviders()) return std::nullopt;
  std::unique_ptr<EVP_CIPHER, CipherFree> cipher(EVP_CIPHER_fetch(nullptr, "BF-CFB", nullptr));
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!cipher || !ctx) return std::nullopt;
  // The key length is set before the key: Blowfish's default is 16 bytes.
  if (EVP_CipherInit_ex(ctx.get(), cipher.get(), nullptr, nullptr, nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1 ||
      EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv, encrypt ? 1 : 0) != 1)
    return std::nullopt;
  values::Bytes out(in.size() + kBlock);
  int len = 0;
  if (EVP_CipherUpdate(ctx.get(), out.data(), &len, in.data(), static_cast<int>(in.size())) != 1)
    return std::nullopt;
  int tail = 0;
  if (EVP_CipherFinal_ex(ctx.get(), out.data() + len, &tail) != 1) return std::nullopt;
  out.resize(static_cast<std::size_t>(len + tail));
  return out;
}

std::optional<values::Bytes> OpenWithIV(const std::uint8_t* iv, const values::Bytes& enciphered,
                                        const StoredPasswordKey& key) {
  auto plain = Blowfish(enciphered, key, iv, false);
  if (!plain || plain->size() < kBlock || std::memcmp(plain->data(), kCheckBlock, kBlock) != 0)
    return std::nullopt;
  return values::Bytes(plain->begin() + kBlock, plain->end());
}

std::optional<StoredPasswordKey> DecodeKey(const values::Bytes& text) {
  auto bytes =
      values::DecodeBase64(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  if (!bytes || bytes->size() != StoredPasswordKey{}.size()) return std::nullopt;
  StoredPasswordKey key;
  std::copy(bytes->begin(), bytes->end(), key.begin());
  return key;
}

}  // namespace

void SetCredentialsKeychain(std::shared_ptr<keychain::Keychain> keychain) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.keychain = std::move(keychain);
  s.key.reset();
}

std::shared_ptr<keychain::Keychain> GetCredentialsKeychain() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.keychain;
}

void ForgetStoredPasswordKey() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.key.reset();
}

std::optional<StoredPasswordKey> GetStoredPasswordKey(bool forDecrypt) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  if (s.key) return s.key;
  if (!s.keychain) return std::nullopt;
  keychain::Keychain& k = *s.keychain;
  values::Bytes stored;
  const keychain::Status found = k.FindGenericPassword(kStoredPasswordKeyService, "", stored);
  if (found == keychain::kNoErr) {
    if (auto key = DecodeKey(stored)) {
      s.key = key;
      return s.key;
    }
    if (k.DeleteGenericPassword(kStoredPasswordKeyService, "") != keychain::kNoErr) return std::nullopt;
  } else if (found != keychain::kItemNotFound) {
    return std::nullopt;
  }
  StoredPasswordKey key;
  if (RAND_bytes(key.data(), static_cast<int>(key.size())) != 1) return std::nullopt;
  const std::string text = values::EncodeBase64(std::span<const std::uint8_t>(key.data(), key.size()));
  if (k.AddGenericPassword(kStoredPasswordKeyService, "", values::Bytes(text.begin(), text.end())) !=
      keychain::kNoErr)
    return std::nullopt;
  s.key = key;
  if (forDecrypt) {
    gStoredPasswordKeyRegenerated = true;
    return std::nullopt;
  }
  return s.key;
}

std::optional<values::Bytes> EncryptDataWithKey(const values::Bytes& plain, const StoredPasswordKey& key) {
  std::uint8_t iv[kBlock];
  if (RAND_bytes(iv, kBlock) != 1) return std::nullopt;
  values::Bytes clear(kCheckBlock, kCheckBlock + kBlock);
  clear.insert(clear.end(), plain.begin(), plain.end());
  auto body = Blowfish(clear, key, iv, true);
  if (!body) return std::nullopt;
  values::Bytes out(iv, iv + kBlock);
  out.insert(out.end(), body->begin(), body->end());
  return out;
}

std::optional<values::Bytes> DecryptDataWithKey(const values::Bytes& enciphered,
                                                const StoredPasswordKey& key) {
  static constexpr std::uint8_t kZeroIV[kBlock] = {};
  if (auto plain = OpenWithIV(kZeroIV, enciphered, key)) return plain;
  if (enciphered.size() < 2 * kBlock) return std::nullopt;
  return OpenWithIV(enciphered.data(), values::Bytes(enciphered.begin() + kBlock, enciphered.end()), key);
}

std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain) {
  auto key = GetStoredPasswordKey(false);
  if (!key) return std::nullopt;
  return EncryptDataWithKey(plain, *key);
}

std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& enciphered) {
  auto key = GetStoredPasswordKey(true);
  if (!key) return std::nullopt;
  return DecryptDataWithKey(enciphered, *key);
}

std::optional<values::Bytes> KeychainStoredPasswords::EncryptStoredPassword(const values::Bytes& plain) {
  return browser::EncryptStoredPassword(plain);
}

std::optional<values::Bytes> KeychainStoredPasswords::DecryptStoredPassword(const values::Bytes& enciphered) {
  return browser::DecryptStoredPassword(enciphered);
}

}  // namespace browser
