#include "app/browser/auth_items.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/browser/stored_password_cipher.h"
#include "app/util/settings/settings_store.h"
#include "platform/keychain/file_keychain.h"
#include "tests/support/temp_home.h"

namespace browser {
namespace {

class AuthItemsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir("auth");
    keychain_ = std::make_shared<keychain::FileKeychain>(dir_ + "/store", dir_ + "/key");
    SetCredentialsKeychain(keychain_);
    ClearAuthItems();
  }
  void TearDown() override {
    ClearAuthItems();
    SetCredentialsKeychain(nullptr);
  }
  std::string dir_;
  std::shared_ptr<keychain::Keychain> keychain_;
};

TEST_F(AuthItemsTest, FindAuthItemPicksTheClosestItem) {
  struct Stored {
    int type;
    const char* domain;
    const char* path;
    const char* user;
  };
  const Stored stored[] = {
      {0, "*.s.com:80", "/", "wild-root"},      {0, "www.s.com:80", "/docs/", "exact-docs"},
      {1, "s.com:21", "/", "ftp-first"},        {1, "s.com:21", "/", "ftp-second"},
      {0, "*.com:80", "/", "any-com"},          {0, "t.*", "/", "trailing-wildcard"},
      {0, "*.a.b.net:80", "/", "backtracking"}, {2, "secure.example", "/", "default-port"},
  };
  for (const auto& s : stored) AddAuthItem(s.type, s.domain, s.path, s.user, "pw", false);

  struct Case {
    const char* host;
    const char* path;
    int type;
    const char* user;  // nullptr: none
  };
  const Case cases[] = {
      {"www.s.com:80", "/docs/a/", 0, "exact-docs"},  // 0 - 3 beats 1 - 1
      {"www.s.com:80", "/doc/", 0, "wild-root"},      // "/docs/" is no prefix of "/doc/"
      {"www.s.com:80", "/", 0, "wild-root"},
      {"WWW.S.Com:80", "docs/a", 0, "exact-docs"},  // host without regard to case, path made whole
      {"t.www.s.com:80", "/", 0, "wild-root"},
      {"s.com:80", "/", 0, "wild-root"},  // "*" may stand for no label
      {"other.com:80", "/", 0, "any-com"},
      {"s.com:21", "/", 1, "ftp-first"},  // tie: the earlier item
      {"s.com:21", "/", 0, nullptr},      // type 1 only for type 1
      {"s.com:21", "/", 2, nullptr},
      {"t.anything:80", "/", 0, nullptr},            // a trailing "*" matches nothing
      {"x.a.y.a.b.net:80", "/", 0, "backtracking"},  // the second "a" is the one that fits
      {"secure.example:443", "/", 2, "default-port"},
      {"secure.example:8443", "/", 2, nullptr},
      {"s.com:8080", "/", 0, nullptr},
      {"s.com:80.evil.org", "/", 0, nullptr},  // host labels left over
  };
  for (const Case& c : cases) {
    const auto found = FindAuthItem(c.host, c.path, c.type);
    if (c.user == nullptr) {
      EXPECT_FALSE(found) << c.host << c.path << " type " << c.type << " got " << (found ? found->user : "");
    } else {
      ASSERT_TRUE(found) << c.host << c.path << " type " << c.type;
      EXPECT_EQ(found->user, c.user) << c.host << c.path << " type " << c.type;
    }
  }
}

TEST_F(AuthItemsTest, ItemsAreNormalisedAsStored) {
  struct Case {
    int type;
    const char* domain;
    const char* path;
    const char* wantDomain;
    const char* wantPath;
    int components;
  };
  const Case cases[] = {
      {1, "s.com", "", "s.com:21", "/", 1},
      {2, "s.com", "docs", "s.com:443", "/docs/", 3},
      {0, "s.com", "/a/b", "s.com:80", "/a/b/", 4},
      {0, "s.com:8080", "/a/", "s.com:8080", "/a/", 3},
  };
  for (const Case& c : cases) {
    const auto r = MakeAuthItem(c.type, c.domain, "u", "p", c.path, false);
    EXPECT_EQ(r.domain, c.wantDomain);
    EXPECT_EQ(r.path, c.wantPath);
    EXPECT_EQ(PathComponentCount(r.path), c.components) << c.wantPath;
  }
}

TEST_F(AuthItemsTest, StoreCredentialsForURLDomainKeepsTheURLsOwnHost) {
  struct Case {
    const char* url;
    int type;
    const char* domain;
  };
  const Case cases[] = {
      {"ftp://files.s.org:2121/x", 1, "files.s.org:2121"}, {"http://t/x", 0, "t:80"},
      {"https://WWW.S.COM/x", 2, "www.s.com:443"},         {"ftps://s.de/", 1, "s.de:21"},
      {"afp://server.local/share", 0, "server.local:80"},
  };
  for (const Case& c : cases) {
    ClearAuthItems();
    StoreCredentialsForURLDomain(*values::Url::Create(c.url), "user", "secret");
    const auto items = CopyAuthItems();
    ASSERT_EQ(items.size(), 1u) << c.url;
    EXPECT_EQ(items[0].type, c.type) << c.url;
    EXPECT_EQ(items[0].domain, c.domain) << c.url;
    EXPECT_EQ(items[0].path, "/");
  }
  ClearAuthItems();
  StoreCredentialsForURLDomain(*values::Url::Create("/no/host"), "u", "p");
  EXPECT_EQ(GetAuthItemCount(), 0);
}

TEST_F(AuthItemsTest, StoringAgainReplacesOnlyTheItemOfThatHost) {
  AddAuthItem(1, "*.s.org:21", "/", "shared", "shared-pw", false);
  StoreCredentials("a.s.org:21", "alice", "one", 1, "/");
  StoreCredentials("a.s.org:21", "alice", "two", 1, "/");
  const auto items = CopyAuthItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].pass, "shared-pw");  // the wildcard item still serves the other hosts
  EXPECT_EQ(items[1].pass, "two");
  // Saved at once: the next run reads the new password.
  ClearAuthItems();
  LoadAuthItems();
  ASSERT_EQ(GetAuthItemCount(), 2);
  EXPECT_EQ(FindAuthItem("a.s.org:21", "/", 1)->password, "two");
  EXPECT_EQ(FindAuthItem("b.s.org:21", "/", 1)->password, "shared-pw");
}

TEST_F(AuthItemsTest, ListRoundTripsThroughTheKeychainItem) {
  AddAuthItem(0, "s.com", "/docs/", "u1", "p1", true);
  AddAuthItem(1, "f.s.com:2121", "/", "u2", "p2", false);
  const auto before = CopyAuthItems();
  values::Bytes stored;
  ASSERT_EQ(keychain_->FindGenericPassword("Truvane password data", "", stored), keychain::kNoErr);
  ClearAuthItems();
  LoadAuthItems();
  EXPECT_EQ(CopyAuthItems(), before);
  LoadAuthItemsFromData(values::Bytes{'j', 'u', 'n', 'k'});
  EXPECT_EQ(GetAuthItemCount(), 0);
}

// One record of the older preference, its user and password scrambled as it kept them.
values::Bytes LegacyRecord(const std::string& domain, const std::string& user, const std::string& pass,
                           const std::string& scheme, std::int32_t userLength, std::int32_t passLength) {
  values::Bytes r(538, 0);
  std::copy(domain.begin(), domain.end(), r.begin());
  for (std::size_t i = 0; i < user.size(); ++i)
    r[256 + i] = static_cast<std::uint8_t>(user[i] ^ ((i + 27) & 0xFF));
  for (std::size_t i = 0; i < pass.size(); ++i)
    r[384 + i] = static_cast<std::uint8_t>(pass[i] ^ ((i + 43) & 0xFF));
  std::memcpy(&r[512], &userLength, 4);
  std::memcpy(&r[516], &passLength, 4);
  std::copy(scheme.begin(), scheme.end(), r.begin() + 520);
  r[536] = 1;
  return r;
}

TEST_F(AuthItemsTest, OlderPreferenceIsMigratedWithinItsBounds) {
  values::Bytes data = LegacyRecord("ftp.s.com", "bob", "pw", "ftp", 3, 2);
  const auto hostile = LegacyRecord("s.com", "eve", "x", "https", 100000, -5);
  data.insert(data.end(), hostile.begin(), hostile.end());
  auto& prefs = util::SettingsPreferences();
  // A count beyond the data: only the two records present are read.
  prefs.Set("Authentication Data", values::Value{{"count", 9}, {"data", values::Data{data}}});
  LoadAuthItems();
  const auto items = CopyAuthItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0], MakeAuthItem(1, "ftp.s.com", "bob", "pw", "/", true));
  EXPECT_EQ(items[1].type, 2);
  EXPECT_EQ(items[1].domain, "s.com:443");
  // A length past the field: unscrambled to the field's end, never beyond it. The bytes
  // past the name are not UTF-8, so each is read as one Latin-1 character.
  EXPECT_TRUE(items[1].user.starts_with("eve"));
  const auto characters = std::count_if(items[1].user.begin(), items[1].user.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  EXPECT_LE(characters, 128);
  EXPECT_EQ(items[1].pass, "");
  EXPECT_FALSE(prefs.CopyValue("Authentication Data"));
  values::Bytes stored;
  EXPECT_EQ(keychain_->FindGenericPassword("Truvane password data", "", stored), keychain::kNoErr);
}

// Text that is not UTF-8 never costs the stored list: the older preference's bytes are
// read as Latin-1 and stored, and the preference goes only once they are; an item whose
// text cannot be stored is left out of the list, not the list with it.
TEST_F(AuthItemsTest, TextThatIsNotUtf8NeverWipesTheStoredList) {
  auto& prefs = util::SettingsPreferences();
  prefs.Set("Authentication Data",
            values::Value{{"count", 1},
                          {"data", values::Data{LegacyRecord("s.com", "ren\xe9", "pw", "http", 4, 2)}}});
  LoadAuthItems();
  ASSERT_EQ(GetAuthItemCount(), 1);
  EXPECT_EQ(CopyAuthItems()[0].user, "ren\xc3\xa9");
  EXPECT_FALSE(prefs.CopyValue("Authentication Data"));
  ClearAuthItems();
  LoadAuthItems();
  ASSERT_EQ(GetAuthItemCount(), 1) << "the migrated list was not stored";

  StoreCredentials("bad\xff.com", "u", "p", 0, "/");
  ASSERT_EQ(GetAuthItemCount(), 2);
  ClearAuthItems();
  LoadAuthItems();
  ASSERT_EQ(GetAuthItemCount(), 1) << "one item that cannot be stored emptied the list";
  EXPECT_EQ(CopyAuthItems()[0].user, "ren\xc3\xa9");
}

TEST_F(AuthItemsTest, UnreadableKeychainIsNeverOverwritten) {
  AddAuthItem(0, "s.com", "/", "kept", "pw", false);
  const std::string store = testsupport::ReadFile(dir_ + "/store");
  testsupport::WriteFile(dir_ + "/key", std::string(32, 'x'));  // the store no longer opens
  LoadAuthItems();
  EXPECT_EQ(GetAuthItemCount(), 0);
  AddAuthItem(0, "t.com", "/", "new", "pw", false);
  EXPECT_EQ(GetAuthItemCount(), 1);
  EXPECT_EQ(testsupport::ReadFile(dir_ + "/store"), store);
}

TEST_F(AuthItemsTest, InternetPasswordLookUps) {
  ASSERT_EQ(keychain_->AddInternetPassword({"proxy.s.com", "pa", "", 3128, keychain::kProtocolHTTPProxy,
                                            keychain::kAuthenticationDefault, "proxy-pw"}),
            keychain::kNoErr);
  ASSERT_EQ(keychain_->AddInternetPassword({"files.s.com", "bob", "", 2121, keychain::kProtocolFTP,
                                            keychain::kAuthenticationDefault, "ftp-pw"}),
            keychain::kNoErr);
  ASSERT_EQ(keychain_->AddInternetPassword({"files.s.com", "bob", "", 0, keychain::kProtocolFTPS,
                                            keychain::kAuthenticationDefault, "ftps-pw"}),
            keychain::kNoErr);
  EXPECT_EQ(FindKeychainInternetPasswordForServer("proxy.s.com:3128", keychain::kProtocolHTTPProxy),
            (InternetPassword{"pa", "proxy-pw"}));
  EXPECT_FALSE(FindKeychainInternetPasswordForServer("proxy.s.com:3128", keychain::kProtocolFTPProxy));

  struct Case {
    const char* location;
    const char* account;
    const char* password;
  };
  const Case cases[] = {
      {"ftp://files.s.com:2121", "bob", "ftp-pw"},
      {"ftp://files.s.com", "bob", ""},  // no port: port 0, which the item does not have
      {"ftps://files.s.com", "bob", "ftps-pw"},
      {"ftp://files.s.com:2121", "alice", ""},
      {"files.s.com", "bob", ""},
  };
  for (const Case& c : cases) {
    std::string account;
    EXPECT_EQ(CopyKeychainPasswordForFTPLocation(c.location, c.account, &account), c.password) << c.location;
    if (*c.password) {
      EXPECT_EQ(account, c.account);
    }
  }
}

}  // namespace
}  // namespace browser
