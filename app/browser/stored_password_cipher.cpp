#include "app/browser/stored_password_cipher.h"

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/engine/log/transfer_log.h"
#include "platform/runtime/main_thread.h"
#include "platform/values/base64.h"

namespace browser {

std::atomic<bool> gStoredPasswordKeyOutOfReach{false};

namespace {

constexpr std::uint8_t kCheckBlock[8] = {0x64, 0xFE, 0x93, 0xCA, 0xB0, 0x71, 0x82, 0xD5};
constexpr std::size_t kBlock = 8;

struct KeyState {
  std::mutex mutex;
  std::optional<StoredPasswordKey> key;
  // Keys of the same name found in other keychains: values enciphered under them are
  // still read.
  std::vector<StoredPasswordKey> otherKeys;
  std::vector<std::shared_ptr<keychain::Keychain>> keychains;  // the credentials keychain first
  KeychainOpener opener;  // run once, by the first caller that needs a keychain
  bool outOfReachLogged = false;
  std::set<std::string> problemsLogged;
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

// Called with the lock held: whoever first needs a keychain waits for it, and the others
// for that one.
void OpenPendingKeychains(KeyState& s) {
  if (!s.opener) return;
  const KeychainOpener open = std::move(s.opener);
  s.opener = nullptr;
  s.keychains = open();
  std::erase(s.keychains, nullptr);
}

}  // namespace

void SetCredentialsKeychains(std::vector<std::shared_ptr<keychain::Keychain>> keychains) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  std::erase(keychains, nullptr);
  s.keychains = std::move(keychains);
  s.opener = nullptr;
  s.key.reset();
  s.otherKeys.clear();
  s.outOfReachLogged = false;
  s.problemsLogged.clear();
}

void SetCredentialsKeychain(std::shared_ptr<keychain::Keychain> keychain) {
  SetCredentialsKeychains({std::move(keychain)});
}

void SetCredentialsKeychainOpener(KeychainOpener open) {
  SetCredentialsKeychains({});
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.opener = std::move(open);
}

std::shared_ptr<keychain::Keychain> GetCredentialsKeychain() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  OpenPendingKeychains(s);
  return s.keychains.empty() ? nullptr : s.keychains.front();
}

void ForgetStoredPasswordKey() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.key.reset();
  s.otherKeys.clear();
}

namespace {

// Logged on the main thread (the global log is the main thread's); said at once when
// already there, so that start-up's own readers report before the log is made.
void Log(std::string text) {
  if (runtime::IsMainThread()) {
    engine::LogMessageToGlobalLog(true, "%@", {text});
  } else {
    runtime::PerformOnMainThread(
        [text = std::move(text)] { engine::LogMessageToGlobalLog(true, "%@", {text}); });
  }
}

}  // namespace

// The key is looked for in every keychain, the credentials keychain first. One found
// anywhere is copied to those that answer that they lack it, so that a later run with
// another back end (a desktop session, then none) finds it where it looks. A key is
// made only when every keychain says it holds none (none locked or damaged) and no
// enciphered value has met the want of one in this run: a new key would leave such a
// value unreadable for good, where the old key may yet come back.
std::optional<StoredPasswordKey> GetStoredPasswordKey(bool forDecrypt) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  if (s.key) return s.key;
  OpenPendingKeychains(s);
  if (s.keychains.empty()) return std::nullopt;
  std::optional<StoredPasswordKey> found;
  std::vector<keychain::Keychain*> lacking;  // answered that they hold none
  std::vector<keychain::Keychain*> replace;  // hold something that is no key
  std::vector<std::string> searched;
  bool unsure = false;  // a keychain that did not answer may hold it
  for (const auto& k : s.keychains) {
    values::Bytes stored;
    const keychain::Status status = k->FindGenericPassword(kStoredPasswordKeyService, "", stored);
    searched.push_back(k->Description());
    if (status == keychain::kNoErr) {
      if (auto key = DecodeKey(stored)) {
        if (!found) {
          found = key;
        } else if (*key != *found &&
                   std::find(s.otherKeys.begin(), s.otherKeys.end(), *key) == s.otherKeys.end()) {
          s.otherKeys.push_back(*key);
        }
      } else {
        replace.push_back(k.get());
      }
    } else if (status == keychain::kItemNotFound) {
      lacking.push_back(k.get());
    } else {
      unsure = true;
      const std::string problem = k->Problem();
      if (!problem.empty() && s.problemsLogged.insert(problem).second) Log(problem);
    }
  }
  const auto storeIn = [](keychain::Keychain& k, const StoredPasswordKey& key) {
    const std::string text = values::EncodeBase64(std::span<const std::uint8_t>(key.data(), key.size()));
    return k.AddGenericPassword(kStoredPasswordKeyService, "", values::Bytes(text.begin(), text.end())) ==
           keychain::kNoErr;
  };
  if (found) {
    for (keychain::Keychain* k : lacking) (void)storeIn(*k, *found);
    s.key = found;
    return s.key;
  }
  // No key anywhere this run can see.
  if (forDecrypt && !unsure) {
    gStoredPasswordKeyOutOfReach = true;
    if (!s.outOfReachLogged) {
      s.outOfReachLogged = true;
      std::string where;
      for (const auto& name : searched) where += (where.empty() ? "" : ", ") + name;
      Log("Stored passwords could not be deciphered: their key \"" + std::string(kStoredPasswordKeyService) +
          "\" is in none of the keychains searched (" + where +
          "). They are kept as they are stored, and read again once that key can be found.");
    }
  }
  if (forDecrypt || unsure || gStoredPasswordKeyOutOfReach) return std::nullopt;
  StoredPasswordKey key;
  if (RAND_bytes(key.data(), static_cast<int>(key.size())) != 1) return std::nullopt;
  keychain::Keychain& first = *s.keychains.front();
  const bool firstHadJunk = std::find(replace.begin(), replace.end(), &first) != replace.end();
  if (firstHadJunk && first.DeleteGenericPassword(kStoredPasswordKeyService, "") != keychain::kNoErr)
    return std::nullopt;
  // Handed out only once the credentials keychain holds it.
  if (!storeIn(first, key)) return std::nullopt;
  for (keychain::Keychain* k : lacking) {
    if (k != &first) (void)storeIn(*k, key);
  }
  s.key = key;
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
  if (auto plain = DecryptDataWithKey(enciphered, *key)) return plain;
  std::vector<StoredPasswordKey> others;
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    others = s.otherKeys;
  }
  for (const auto& other : others) {
    if (auto plain = DecryptDataWithKey(enciphered, other)) return plain;
  }
  return std::nullopt;
}

std::optional<values::Bytes> KeychainStoredPasswords::EncryptStoredPassword(const values::Bytes& plain) {
  return browser::EncryptStoredPassword(plain);
}

std::optional<values::Bytes> KeychainStoredPasswords::DecryptStoredPassword(const values::Bytes& enciphered) {
  return browser::DecryptStoredPassword(enciphered);
}

}  // namespace browser
