#include "app/sharing/crypto/server_key.h"

#include <gtest/gtest.h>

#include "app/browser/services/stored_password_service.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/plist.h"

namespace sharing {
namespace {

// A stand-in cipher that is plainly not clear text: every byte inverted, behind a tag.
class InvertingCipher : public browser::StoredPasswordService {
 public:
  std::optional<values::Bytes> EncryptStoredPassword(const values::Bytes& plain) override {
    values::Bytes out = {'E', 'N', 'C'};
    for (auto b : plain) out.push_back(static_cast<std::uint8_t>(~b));
    return out;
  }
  std::optional<values::Bytes> DecryptStoredPassword(const values::Bytes& e) override {
    if (e.size() < 3 || e[0] != 'E') return std::nullopt;
    values::Bytes out;
    for (std::size_t i = 3; i < e.size(); ++i) out.push_back(static_cast<std::uint8_t>(~e[i]));
    return out;
  }
};

class ServerKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = browser::StoredPasswordServiceSlot::Set(std::make_unique<InvertingCipher>());
    util::SettingsPreferences().Remove(util::kServerKeyKey.name);
    ForgetServerKey();
  }
  void TearDown() override {
    browser::StoredPasswordServiceSlot::Set(std::move(old_));
    ForgetServerKey();
  }
  std::unique_ptr<browser::StoredPasswordService> old_;
};

TEST_F(ServerKeyTest, MadeOnceKeptEncipheredAndLoadedInTheNextRun) {
  const std::string fingerprint = CopyServerKeyFingerprint();
  EXPECT_EQ(fingerprint.size(), 49u);
  EXPECT_EQ(CopyServerPublicKeyString().size(), 384u);
  EXPECT_EQ(CopyServerKeyFingerprint(), fingerprint);
  const auto stored = util::SettingsPreferences().GetData(util::kServerKeyKey.name);
  ASSERT_TRUE(stored);
  EXPECT_EQ((*stored)[0], 'E');
  ForgetServerKey();  // the next run
  EXPECT_TRUE(LoadServerKey());
  EXPECT_EQ(CopyServerKeyFingerprint(), fingerprint);
  auto copy = CopyServerKey();
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->IsValidPrivateKey());
}

TEST_F(ServerKeyTest, UnusableStoredKeyIsReplaced) {
  auto publicOnly = RSAKey::Generate(1024);
  ASSERT_TRUE(publicOnly);
  values::Value archive = publicOnly->Archive();
  archive.Erase("d");
  auto pubBytes = values::WritePropertyList(archive, values::PlistFormat::kBinary);
  const std::vector<std::pair<const char*, values::Value>> stored = {
      {"not data", values::Value("text")},
      {"does not decipher", values::Value(values::Data{{'x', 'y', 'z'}})},
      {"not an archive", values::Value(values::Data{*InvertingCipher().EncryptStoredPassword({1, 2, 3})})},
      {"no private exponent",
       values::Value(values::Data{*InvertingCipher().EncryptStoredPassword(pubBytes.value())})},
  };
  for (const auto& [name, value] : stored) {
    util::SettingsPreferences().Set(util::kServerKeyKey.name, value);
    EXPECT_FALSE(LoadServerKey()) << name;
    ForgetServerKey();
    EXPECT_EQ(CopyServerKeyFingerprint().size(), 49u) << name;
    ForgetServerKey();
    EXPECT_TRUE(LoadServerKey()) << name << ": the new key was saved";
    ForgetServerKey();
  }
}

TEST_F(ServerKeyTest, WithoutACipherTheKeyIsNeverWritten) {
  browser::StoredPasswordServiceSlot::Set(nullptr);
  EXPECT_EQ(CopyServerKeyFingerprint().size(), 49u);
  EXPECT_FALSE(util::SettingsPreferences().CopyValue(util::kServerKeyKey.name));
}

}  // namespace
}  // namespace sharing
