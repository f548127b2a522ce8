// Known answers computed with Python's cryptography package (Blowfish, CFB mode, 64-bit
// feedback, 24-byte key 00 01 .. 17), never with this code.

#include "app/browser/stored_password_cipher.h"

#include <gtest/gtest.h>

#include "platform/keychain/file_keychain.h"
#include "platform/values/digest.h"
#include "tests/support/temp_home.h"

namespace browser {
namespace {

using values::Bytes;

Bytes Hex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}
Bytes Text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}
StoredPasswordKey CountingKey() {
  StoredPasswordKey key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  return key;
}

TEST(StoredPasswordCipher, ReadsKnownValuesOfBothForms) {
  struct Case {
    const char* name;
    const char* enciphered;
    std::optional<std::string> plain;
  };
  const Case cases[] = {
      {"zero IV", "fb125b49a9028ce1d79a7341c82ff63e50a0217445aa26", "secret password"},
      {"zero IV, empty value", "fb125b49a9028ce1", ""},
      {"own IV", "0123456789abcdef4fa8aec6508506a596f43f26cea83e", "hunter2"},
      {"flipped check byte", "fb125b49a9028ce0d79a7341c82ff63e50a0217445aa26", std::nullopt},
      {"own IV, flipped IV byte", "0123456789abcdee4fa8aec6508506a596f43f26cea83e", std::nullopt},
      {"shorter than the check block", "fb125b49a9028c", std::nullopt},
      {"nothing", "", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto plain = DecryptDataWithKey(Hex(c.enciphered), CountingKey());
    ASSERT_EQ(plain.has_value(), c.plain.has_value()) << c.name;
    if (plain) EXPECT_EQ(std::string(plain->begin(), plain->end()), *c.plain) << c.name;
  }
  StoredPasswordKey other = CountingKey();
  other[23] ^= 1;
  EXPECT_FALSE(DecryptDataWithKey(Hex("fb125b49a9028ce1d79a7341c82ff63e50a0217445aa26"), other));
}

TEST(StoredPasswordCipher, EveryValueGetsItsOwnKeyStream) {
  const auto key = CountingKey();
  const auto a = EncryptDataWithKey(Text("AAAAAAAA"), key);
  const auto b = EncryptDataWithKey(Text("AAAAAAAA"), key);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->size(), 16u + 8u);
  EXPECT_NE(*a, *b);  // the same secret twice does not show as the same bytes
  for (const auto& v : {*a, *b}) {
    const auto plain = DecryptDataWithKey(v, key);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, Text("AAAAAAAA"));
  }
  const auto empty = EncryptDataWithKey({}, key);
  ASSERT_TRUE(empty);
  const auto back = DecryptDataWithKey(*empty, key);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->empty());
}

class StoredPasswordKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir("spk");
    keychain_ = std::make_shared<keychain::FileKeychain>(dir_ + "/store", dir_ + "/key");
    SetCredentialsKeychain(keychain_);
    gStoredPasswordKeyRegenerated = false;
  }
  void TearDown() override { SetCredentialsKeychain(nullptr); }
  std::string dir_;
  std::shared_ptr<keychain::Keychain> keychain_;
};

TEST_F(StoredPasswordKeyTest, MadeOnceStoredAsBase64AndReadBackInTheNextRun) {
  const auto key = GetStoredPasswordKey(false);
  ASSERT_TRUE(key);
  EXPECT_FALSE(gStoredPasswordKeyRegenerated);
  Bytes text;
  ASSERT_EQ(keychain_->FindGenericPassword("Truvane Preferences Encryption Key", "", text), keychain::kNoErr);
  EXPECT_EQ(text.size(), 32u);
  const auto enciphered = EncryptStoredPassword(Text("pw"));
  ASSERT_TRUE(enciphered);
  ForgetStoredPasswordKey();  // the next run
  EXPECT_EQ(GetStoredPasswordKey(true), key);
  EXPECT_EQ(DecryptStoredPassword(*enciphered), Text("pw"));
  EXPECT_FALSE(gStoredPasswordKeyRegenerated);
}

TEST_F(StoredPasswordKeyTest, KeyItemOfKnownTextIsUsed) {
  // Base64 of the bytes 00 .. 17, as Python's base64 module gives it.
  const std::string text = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYX";
  ASSERT_EQ(keychain_->AddGenericPassword("Truvane Preferences Encryption Key", "", Text(text)),
            keychain::kNoErr);
  EXPECT_EQ(GetStoredPasswordKey(true), CountingKey());
  EXPECT_EQ(DecryptStoredPassword(Hex("fb125b49a9028ce1d79a7341c82ff63e50a0217445aa26")),
            Text("secret password"));
}

TEST_F(StoredPasswordKeyTest, KeyItemOfWrongLengthIsReplacedAndDecryptingGetsNothing) {
  for (const char* stored : {"AAECAwQFBgcICQoLDA0ODxAREhMUFQ==" /* 23 bytes */,
                             "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGA==" /* 25 bytes */, "not base64 at all!"}) {
    keychain_->DeleteGenericPassword("Truvane Preferences Encryption Key", "");
    ASSERT_EQ(keychain_->AddGenericPassword("Truvane Preferences Encryption Key", "", Text(stored)),
              keychain::kNoErr);
    ForgetStoredPasswordKey();
    gStoredPasswordKeyRegenerated = false;
    EXPECT_FALSE(DecryptStoredPassword(Hex("fb125b49a9028ce1")));
    EXPECT_TRUE(gStoredPasswordKeyRegenerated) << stored;
    Bytes now;
    ASSERT_EQ(keychain_->FindGenericPassword("Truvane Preferences Encryption Key", "", now),
              keychain::kNoErr);
    EXPECT_EQ(now.size(), 32u) << stored;
    EXPECT_TRUE(GetStoredPasswordKey(false)) << "the new key serves enciphering in the same run";
  }
}

// A keychain that answers nothing but "not available" (locked, refused).
class LockedKeychain : public keychain::Keychain {
 public:
  keychain::Status AddGenericPassword(const std::string&, const std::string&, const Bytes&) override {
    ++writes;
    return keychain::kNotAvailable;
  }
  keychain::Status FindGenericPassword(const std::string&, const std::string&, Bytes&) override {
    return keychain::kNotAvailable;
  }
  keychain::Status ReplaceGenericPassword(const std::string&, const std::string&, const Bytes&) override {
    ++writes;
    return keychain::kNotAvailable;
  }
  keychain::Status DeleteGenericPassword(const std::string&, const std::string&) override {
    ++writes;
    return keychain::kNotAvailable;
  }
  keychain::Status AddInternetPassword(const keychain::InternetPassword&) override {
    return keychain::kNotAvailable;
  }
  keychain::Status FindInternetPasswords(const keychain::InternetQuery&,
                                         std::vector<keychain::InternetPassword>&) override {
    return keychain::kNotAvailable;
  }
  std::string Name() const override { return "locked"; }
  int writes = 0;
};

TEST_F(StoredPasswordKeyTest, LockedKeychainGivesNoKeyAndNoNewOne) {
  auto locked = std::make_shared<LockedKeychain>();
  SetCredentialsKeychain(locked);
  EXPECT_FALSE(GetStoredPasswordKey(false));
  EXPECT_FALSE(EncryptStoredPassword(Text("pw")));
  EXPECT_FALSE(DecryptStoredPassword(Hex("fb125b49a9028ce1")));
  EXPECT_FALSE(gStoredPasswordKeyRegenerated);
  EXPECT_EQ(locked->writes, 0);
}

}  // namespace
}  // namespace browser
