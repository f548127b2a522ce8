#include "app/sharing/crypto/server_key.h"

#include <mutex>

#include "app/browser/services/stored_password_service.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace sharing {
namespace {

struct ServerKeyState {
  std::recursive_mutex region;
  std::shared_ptr<const RSAKey> key;
};
ServerKeyState& State() {
  static ServerKeyState state;
  return state;
}

}  // namespace

bool LoadServerKey() {
  auto& s = State();
  std::lock_guard lock(s.region);
  s.key.reset();
  const auto stored = util::ReadStoredSetting(util::kServerKeyKey);
  if (!stored) return false;
  const auto archive = browser::StoredPasswordServiceSlot::Get().DecryptStoredPassword(*stored);
  if (!archive) return false;
  auto key = RSAKey::UnarchiveData(*archive);
  if (!key || !key->IsValidPrivateKey()) return false;
  s.key = std::move(key);
  return true;
}

void SaveServerKey() {
  auto& s = State();
  std::lock_guard lock(s.region);
  if (!s.key) return;
  const auto enciphered =
      browser::StoredPasswordServiceSlot::Get().EncryptStoredPassword(s.key->ArchiveData());
  if (!enciphered) return;
  util::WriteSetting(util::kServerKeyKey, *enciphered);
  util::SynchronizeSettings();
}

std::shared_ptr<const RSAKey> CopyOrCreateServerKey() {
  auto& s = State();
  std::lock_guard lock(s.region);
  if (s.key || LoadServerKey()) return s.key;
  s.key = RSAKey::Generate();
  if (s.key) SaveServerKey();
  return s.key;
}

std::unique_ptr<RSAKey> CopyServerKey() {
  auto key = CopyOrCreateServerKey();
  return key ? key->Copy() : nullptr;
}

std::string CopyServerPublicKeyString() {
  auto key = CopyOrCreateServerKey();
  return key ? key->PublicKeyString() : std::string();
}

std::string CopyServerKeyFingerprint() {
  auto key = CopyOrCreateServerKey();
  return key ? key->Fingerprint() : std::string();
}

void ForgetServerKey() {
  auto& s = State();
  std::lock_guard lock(s.region);
  s.key.reset();
}

}  // namespace sharing
