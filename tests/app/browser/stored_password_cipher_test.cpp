// Known answers computed with Python's cryptography package (Blowfish, CFB mode, 64-bit
// feedback, 24-byte key 00 01 .. 17), never with this code.

#include "app/browser/stored_password_cipher.h"

#include <gtest/gtest.h>

#include "app/engine/log/transfer_log.h"
#include "platform/keychain/file_keychain.h"
#include "platform/values/base64.h"
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
    if (!plain) continue;  // refused, as the case expects
    EXPECT_EQ(std::string(plain->begin(), plain->end()), *c.plain) << c.name;
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
    gStoredPasswordKeyOutOfReach = false;
  }
  void TearDown() override { SetCredentialsKeychain(nullptr); }
  std::string dir_;
  std::shared_ptr<keychain::Keychain> keychain_;
};

TEST_F(StoredPasswordKeyTest, MadeOnceStoredAsBase64AndReadBackInTheNextRun) {
  const auto key = GetStoredPasswordKey(false);
  ASSERT_TRUE(key);
  EXPECT_FALSE(gStoredPasswordKeyOutOfReach);
  Bytes text;
  ASSERT_EQ(keychain_->FindGenericPassword("Truvane Preferences Encryption Key", "", text), keychain::kNoErr);
  EXPECT_EQ(text.size(), 32u);
  const auto enciphered = EncryptStoredPassword(Text("pw"));
  ASSERT_TRUE(enciphered);
  ForgetStoredPasswordKey();  // the next run
  EXPECT_EQ(GetStoredPasswordKey(true), key);
  EXPECT_EQ(DecryptStoredPassword(*enciphered), Text("pw"));
  EXPECT_FALSE(gStoredPasswordKeyOutOfReach);
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

// A key item that holds no key: what it enciphered cannot be read, and a run that met such
// a value makes no key (the real one may come back); a run that met none replaces it.
TEST_F(StoredPasswordKeyTest, KeyItemOfWrongLengthGivesNothingAndIsReplacedOnlyByARunWithoutValues) {
  for (const char* stored : {"AAECAwQFBgcICQoLDA0ODxAREhMUFQ==" /* 23 bytes */,
                             "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGA==" /* 25 bytes */, "not base64 at all!"}) {
    keychain_->DeleteGenericPassword("Truvane Preferences Encryption Key", "");
    ASSERT_EQ(keychain_->AddGenericPassword("Truvane Preferences Encryption Key", "", Text(stored)),
              keychain::kNoErr);
    ForgetStoredPasswordKey();
    gStoredPasswordKeyOutOfReach = false;
    EXPECT_FALSE(DecryptStoredPassword(Hex("fb125b49a9028ce1")));
    EXPECT_TRUE(gStoredPasswordKeyOutOfReach) << stored;
    EXPECT_FALSE(GetStoredPasswordKey(false)) << "a key made now would leave the value unreadable for good";
    Bytes now;
    ASSERT_EQ(keychain_->FindGenericPassword("Truvane Preferences Encryption Key", "", now),
              keychain::kNoErr);
    EXPECT_EQ(now, Text(stored));

    ForgetStoredPasswordKey();  // a run with nothing enciphered
    gStoredPasswordKeyOutOfReach = false;
    EXPECT_TRUE(GetStoredPasswordKey(false)) << stored;
    ASSERT_EQ(keychain_->FindGenericPassword("Truvane Preferences Encryption Key", "", now),
              keychain::kNoErr);
    EXPECT_EQ(now.size(), 32u) << stored;
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
  EXPECT_FALSE(gStoredPasswordKeyOutOfReach);
  EXPECT_EQ(locked->writes, 0);
}

// Two keychains, as a desktop session and a run without one see them: the key is found
// in whichever holds it, in either order, and copied to the one that lacks it, so that a
// run with only the other back end reads the same passwords.
TEST_F(StoredPasswordKeyTest, KeyInEitherKeychainIsFoundAndCopiedToTheOther) {
  const std::string text = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYX";  // the bytes 00 .. 17
  for (bool holderFirst : {true, false}) {
    const std::string dir = testsupport::MakeTempDir("two");
    auto holder = std::make_shared<keychain::FileKeychain>(dir + "/a", dir + "/a.key");
    auto other = std::make_shared<keychain::FileKeychain>(dir + "/b", dir + "/b.key");
    ASSERT_EQ(holder->AddGenericPassword("Truvane Preferences Encryption Key", "", Text(text)),
              keychain::kNoErr);
    if (holderFirst) {
      SetCredentialsKeychains({holder, other});
    } else {
      SetCredentialsKeychains({other, holder});
    }
    gStoredPasswordKeyOutOfReach = false;
    EXPECT_EQ(DecryptStoredPassword(Hex("fb125b49a9028ce1d79a7341c82ff63e50a0217445aa26")),
              Text("secret password"))
        << holderFirst;
    Bytes copied;
    ASSERT_EQ(other->FindGenericPassword("Truvane Preferences Encryption Key", "", copied), keychain::kNoErr)
        << holderFirst;
    EXPECT_EQ(copied, Text(text));
    // The next run reaches only the other back end.
    SetCredentialsKeychains({other});
    EXPECT_EQ(GetStoredPasswordKey(true), CountingKey()) << holderFirst;
  }
}

// Keys of the same name that differ (made by older runs under each back end): values
// enciphered under either are read; new ones use the first keychain's.
TEST_F(StoredPasswordKeyTest, DifferentKeysInTwoKeychainsBothRead) {
  const std::string dir = testsupport::MakeTempDir("two");
  auto a = std::make_shared<keychain::FileKeychain>(dir + "/a", dir + "/a.key");
  auto b = std::make_shared<keychain::FileKeychain>(dir + "/b", dir + "/b.key");
  StoredPasswordKey keyA = CountingKey();
  StoredPasswordKey keyB = CountingKey();
  keyB[0] ^= 0x80;
  for (auto [k, key] : {std::pair{a, keyA}, std::pair{b, keyB}}) {
    const std::string base64 = values::EncodeBase64(std::span<const std::uint8_t>(key.data(), key.size()));
    ASSERT_EQ(k->AddGenericPassword("Truvane Preferences Encryption Key", "", Text(base64)),
              keychain::kNoErr);
  }
  SetCredentialsKeychains({a, b});
  const auto underA = EncryptDataWithKey(Text("from a"), keyA);
  const auto underB = EncryptDataWithKey(Text("from b"), keyB);
  ASSERT_TRUE(underA && underB);
  EXPECT_EQ(DecryptStoredPassword(*underA), Text("from a"));
  EXPECT_EQ(DecryptStoredPassword(*underB), Text("from b"));
  const auto fresh = EncryptStoredPassword(Text("new"));
  ASSERT_TRUE(fresh);
  EXPECT_EQ(DecryptDataWithKey(*fresh, keyA), Text("new"));
}

// No keychain holds the key and a value waits for it: nothing is made, in no keychain,
// and the log says once which keychains were searched. A damaged keychain file is named.
TEST_F(StoredPasswordKeyTest, NoKeyIsMadeWhileAValueWaitsForOneAndTheLogSaysWhereItLooked) {
  const std::string dir = testsupport::MakeTempDir("none");
  auto damaged = std::make_shared<keychain::FileKeychain>(dir + "/damaged", dir + "/damaged.key");
  ASSERT_EQ(damaged->AddGenericPassword("other", "", Text("x")), keychain::kNoErr);
  testsupport::WriteFile(dir + "/damaged", "not a keychain");
  struct Case {
    const char* name;
    std::vector<std::shared_ptr<keychain::Keychain>> keychains;
    std::vector<std::string> logged;
  };
  auto emptyA = std::make_shared<keychain::FileKeychain>(dir + "/a", dir + "/a.key");
  auto emptyB = std::make_shared<keychain::FileKeychain>(dir + "/b", dir + "/b.key");
  const Case cases[] = {
      {"two empty keychains",
       {emptyA, emptyB},
       {"none of the keychains searched (file \"" + dir + "/a\", file \"" + dir + "/b\")"}},
      {"one damaged", {damaged, emptyB}, {"The keychain file \"" + dir + "/damaged\""}},
  };
  for (const Case& c : cases) {
    engine::CloseGlobalLog();  // nothing held from before
    SetCredentialsKeychains(c.keychains);
    gStoredPasswordKeyOutOfReach = false;
    EXPECT_FALSE(DecryptStoredPassword(Hex("fb125b49a9028ce1"))) << c.name;
    EXPECT_FALSE(EncryptStoredPassword(Text("pw"))) << c.name;
    EXPECT_FALSE(DecryptStoredPassword(Hex("fb125b49a9028ce1"))) << c.name;
    for (const auto& k : c.keychains) {
      Bytes none;
      EXPECT_NE(k->FindGenericPassword("Truvane Preferences Encryption Key", "", none), keychain::kNoErr)
          << c.name;
    }
    engine::CreateGlobalLogWindow();
    const std::string log = engine::CurrentGlobalLog()->Text();
    engine::CloseGlobalLog();
    for (const std::string& text : c.logged) {
      const auto at = log.find(text);
      EXPECT_NE(at, std::string::npos) << c.name << "\n" << log;
      if (at != std::string::npos) {
        EXPECT_EQ(log.find(text, at + 1), std::string::npos) << "said twice: " << log;
      }
    }
  }
}

}  // namespace
}  // namespace browser
