// One contract, two back ends: every case runs on the file store and on a Secret Service
// (gnome-keyring on a private session bus).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/keychain/file_keychain.h"
#include "platform/keychain/secret_service_keychain.h"
#include "tests/servers/secret_service_session.h"
#include "tests/support/temp_home.h"

namespace keychain {
namespace {

using values::Bytes;

enum class Backend { kFile, kSecretService };

class KeychainContract : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::kFile) {
      const std::string dir = testsupport::MakeTempDir("keychain");
      keychain_ = std::make_unique<FileKeychain>(dir + "/data/Truvane Keychain",
                                                 dir + "/config/Truvane Keychain Key");
      return;
    }
    testservers::SecretServiceSession& session = testservers::SharedSecretServiceSession();
    ASSERT_TRUE(session.ok()) << "gnome-keyring did not come up on the private bus";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", session.BusAddress().c_str(), 1);
    keychain_ = SecretServiceKeychain::Connect();
    ASSERT_NE(keychain_, nullptr);
  }
  // Items the Secret Service makes within one second carry the same creation time.
  void LetTimePass() {
    if (GetParam() == Backend::kSecretService) std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  }

  std::unique_ptr<Keychain> keychain_;
};

const Bytes kBinary = {0x00, 0x01, 0xFF, 0x80, 0x00, 'a', 0x7F};

TEST_P(KeychainContract, GenericPasswordLifecycle) {
  Keychain& k = *keychain_;
  Bytes out;
  EXPECT_EQ(k.FindGenericPassword("Truvane password data", "", out), kItemNotFound);
  EXPECT_EQ(k.ReplaceGenericPassword("Truvane password data", "", kBinary), kItemNotFound);
  EXPECT_EQ(k.DeleteGenericPassword("Truvane password data", ""), kItemNotFound);

  ASSERT_EQ(k.AddGenericPassword("Truvane password data", "", kBinary), kNoErr);
  ASSERT_EQ(k.FindGenericPassword("Truvane password data", "", out), kNoErr);
  EXPECT_EQ(out, kBinary);

  // A second add leaves the first item as it was.
  EXPECT_EQ(k.AddGenericPassword("Truvane password data", "", Bytes{'x'}), kDuplicateItem);
  ASSERT_EQ(k.FindGenericPassword("Truvane password data", "", out), kNoErr);
  EXPECT_EQ(out, kBinary);

  ASSERT_EQ(k.ReplaceGenericPassword("Truvane password data", "", Bytes{'n', 'e', 'w'}), kNoErr);
  ASSERT_EQ(k.FindGenericPassword("Truvane password data", "", out), kNoErr);
  EXPECT_EQ(out, (Bytes{'n', 'e', 'w'}));

  ASSERT_EQ(k.DeleteGenericPassword("Truvane password data", ""), kNoErr);
  EXPECT_EQ(k.FindGenericPassword("Truvane password data", "", out), kItemNotFound);
}

TEST_P(KeychainContract, GenericItemsAreKeyedByServiceAndAccount) {
  Keychain& k = *keychain_;
  ASSERT_EQ(k.AddGenericPassword("one", "", Bytes{'1'}), kNoErr);
  ASSERT_EQ(k.AddGenericPassword("one", "someone", Bytes{'2'}), kNoErr);
  ASSERT_EQ(k.AddGenericPassword("two", "", Bytes{'3'}), kNoErr);
  ASSERT_EQ(k.AddGenericPassword("two", "", Bytes{}), kDuplicateItem);
  struct Case {
    const char* service;
    const char* account;
    Bytes data;
  };
  for (const Case& c : {Case{"one", "", {'1'}}, Case{"one", "someone", {'2'}}, Case{"two", "", {'3'}}}) {
    Bytes out;
    ASSERT_EQ(k.FindGenericPassword(c.service, c.account, out), kNoErr) << c.service << "/" << c.account;
    EXPECT_EQ(out, c.data) << c.service << "/" << c.account;
  }
  Bytes out;
  EXPECT_EQ(k.FindGenericPassword("two", "someone", out), kItemNotFound);
  EXPECT_EQ(k.DeleteGenericPassword("one", ""), kNoErr);
  EXPECT_EQ(k.FindGenericPassword("one", "someone", out), kNoErr);
}

TEST_P(KeychainContract, EmptyGenericDataRoundTrips) {
  ASSERT_EQ(keychain_->AddGenericPassword("empty", "", Bytes{}), kNoErr);
  Bytes out{'x'};
  ASSERT_EQ(keychain_->FindGenericPassword("empty", "", out), kNoErr);
  EXPECT_TRUE(out.empty());
}

TEST_P(KeychainContract, InternetPasswordSearches) {
  Keychain& k = *keychain_;
  const InternetPassword first{"proxy.example",        "alice", "", 3128, kProtocolHTTPProxy,
                               kAuthenticationDefault, "pw-a"};
  const InternetPassword second{"proxy.example",        "bob", "", 8080, kProtocolHTTPProxy,
                                kAuthenticationDefault, "pw-b"};
  const InternetPassword ftp{"files.example",        "carol", "/pub", 21, kProtocolFTP,
                             kAuthenticationDefault, "pw-c"};
  ASSERT_EQ(k.AddInternetPassword(first), kNoErr);
  LetTimePass();
  ASSERT_EQ(k.AddInternetPassword(second), kNoErr);
  ASSERT_EQ(k.AddInternetPassword(ftp), kNoErr);
  EXPECT_EQ(k.AddInternetPassword(first), kDuplicateItem);

  struct Case {
    const char* name;
    InternetQuery query;
    std::vector<InternetPassword> expected;
  };
  const std::vector<Case> cases = {
      {"server and protocol, oldest first", {"proxy.example", kProtocolHTTPProxy}, {first, second}},
      {"by account", {"proxy.example", kProtocolHTTPProxy, "bob"}, {second}},
      {"by port", {"proxy.example", kProtocolHTTPProxy, std::nullopt, 3128}, {first}},
      {"ftp with everything", {"files.example", kProtocolFTP, "carol", 21, kAuthenticationDefault}, {ftp}},
      {"other protocol", {"proxy.example", kProtocolFTPProxy}, {}},
      {"other server", {"proxy.example.org", kProtocolHTTPProxy}, {}},
      {"wrong port", {"files.example", kProtocolFTP, "carol", 2121}, {}},
      {"wrong authentication type", {"files.example", kProtocolFTP, "carol", 21, values::FourCC("ntlm")}, {}},
  };
  for (const Case& c : cases) {
    std::vector<InternetPassword> found;
    const Status s = k.FindInternetPasswords(c.query, found);
    EXPECT_EQ(s, c.expected.empty() ? kItemNotFound : kNoErr) << c.name;
    EXPECT_EQ(found, c.expected) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, KeychainContract,
                         ::testing::Values(Backend::kFile, Backend::kSecretService), [](const auto& info) {
                           return info.param == Backend::kFile ? std::string("File")
                                                               : std::string("SecretService");
                         });

TEST(ProtocolNames, MapBothWays) {
  const std::pair<values::FourCharCode, const char*> cases[] = {
      {kProtocolFTP, "ftp"},
      {kProtocolFTPS, "ftps"},
      {kProtocolHTTPProxy, "http-proxy"},
      {kProtocolFTPProxy, "ftp-proxy"},
      {kProtocolHTTPS, "https"},
      {values::FourCC("TRFa"), "TRFa"},
      {values::FourCC("smb "), "smb"},
  };
  for (auto [code, name] : cases) {
    EXPECT_EQ(SecretServiceKeychain::ProtocolName(code), name);
    EXPECT_EQ(SecretServiceKeychain::ProtocolCode(name), code) << name;
  }
}

TEST(OpenUserKeychain, FileStoreWithoutASessionBusSecretServiceWithOne) {
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_EQ(OpenUserKeychain()->Name(), "file");
  testservers::SecretServiceSession& session = testservers::SharedSecretServiceSession();
  ASSERT_TRUE(session.ok());
  ::setenv("DBUS_SESSION_BUS_ADDRESS", session.BusAddress().c_str(), 1);
  EXPECT_EQ(OpenUserKeychain()->Name(), "Secret Service");
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_EQ(OpenUserKeychain()->Name(), "file");
}

}  // namespace
}  // namespace keychain
