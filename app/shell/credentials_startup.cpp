#include "app/shell/credentials_startup.h"

#include <memory>
#include <vector>

#include "app/browser/auth_items.h"
#include "app/browser/services/stored_password_service.h"
#include "app/browser/stored_password_cipher.h"
#include "app/queue/record/queue_hooks.h"
#include "app/sharing/services/host_key_question_service.h"
#include "app/sharing/trust/host_key_alerts.h"
#include "platform/keychain/keychain.h"

namespace shell {

void InstallCredentialServices(bool interactive) {
  // Opened when a secret is first wanted: the desktop's keyring may answer only after its
  // own prompt (a keyring not made yet asks for a password), or not at all.
  browser::SetCredentialsKeychainOpener([] {
    std::vector<std::shared_ptr<keychain::Keychain>> keychains;
    for (auto& k : keychain::OpenUserKeychains()) keychains.push_back(std::move(k));
    return keychains;
  });
  browser::StoredPasswordServiceSlot::Set(std::make_unique<browser::KeychainStoredPasswords>());
  browser::AuthItemsServiceSlot::Set(std::make_unique<browser::StoredAuthItems>());
  browser::CredentialsServiceSlot::Set(std::make_unique<browser::KeychainCredentials>());
  sharing::HostKeyQuestionServiceSlot::Set(std::make_unique<sharing::ToolboxHostKeyQuestions>(interactive));

  auto& hooks = queue::QueueHooksSlot::Get();
  hooks.encipherCredential = [](const std::string& plain) {
    return browser::EncryptStoredPassword(values::Bytes(plain.begin(), plain.end()));
  };
  hooks.decipherCredential = [](const values::Bytes& enciphered) -> std::optional<std::string> {
    if (browser::gStoredPasswordKeyOutOfReach) return std::nullopt;
    auto plain = browser::DecryptStoredPassword(enciphered);
    if (!plain) return std::nullopt;
    return std::string(plain->begin(), plain->end());
  };
  hooks.storedPasswordKeyFailed = [] {
    return browser::gStoredPasswordKeyOutOfReach || !browser::GetStoredPasswordKey(true);
  };
  hooks.storeCredentials = [](const values::Url& url, const std::string& user, const std::string& password) {
    browser::StoreCredentialsForURLDomain(url, user, password);
  };
}

void LoadCredentials() {
  // Nothing here reaches the keychain: the list is read, and the cipher's key found or
  // made, by the first caller that needs them (a saved password, a log-in, a save of the
  // queue with a password in it).
  browser::LoadAuthItemsOnFirstUse();
}

}  // namespace shell
