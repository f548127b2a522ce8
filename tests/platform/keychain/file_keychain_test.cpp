// What only the file store promises: its files are the user's alone, hold no secret in
// clear, and a store that cannot be read is never overwritten.

#include "platform/keychain/file_keychain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/fifo_in_place.h"
#include "tests/support/temp_home.h"

namespace keychain {
namespace {

using values::Bytes;

class FileKeychainTest : public ::testing::Test {
 protected:
  std::string dir_ = testsupport::MakeTempDir("filekc");
  std::string store_ = dir_ + "/data/Truvane Keychain";
  std::string key_ = dir_ + "/config/Truvane Keychain Key";
};

int ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

TEST_F(FileKeychainTest, FilesAreTheUsersAloneAndHoldNoSecretInClear) {
  FileKeychain k(store_, key_);
  const std::string secret = "correct horse battery staple";
  ASSERT_EQ(k.AddGenericPassword("Truvane password data", "", Bytes(secret.begin(), secret.end())), kNoErr);
  ASSERT_EQ(k.AddInternetPassword({"proxy.example", "alice", "", 0, kProtocolHTTPProxy,
                                   kAuthenticationDefault, "proxy-secret"}),
            kNoErr);
  EXPECT_EQ(ModeOf(store_), 0600);
  EXPECT_EQ(ModeOf(key_), 0600);
  const std::string bytes = testsupport::ReadFile(store_);
  for (const char* needle :
       {"correct horse", "proxy-secret", "Truvane password data", "alice", "proxy.example"}) {
    EXPECT_EQ(bytes.find(needle), std::string::npos) << needle;
  }
  // A second object over the same files reads what the first wrote.
  FileKeychain again(store_, key_);
  Bytes out;
  ASSERT_EQ(again.FindGenericPassword("Truvane password data", "", out), kNoErr);
  EXPECT_EQ(again.Problem(), "");
  EXPECT_EQ(std::string(out.begin(), out.end()), secret);
}

TEST_F(FileKeychainTest, UnreadableStoreIsNotAvailableAndNeverOverwritten) {
  {
    FileKeychain k(store_, key_);
    ASSERT_EQ(k.AddGenericPassword("kept", "", Bytes{'1'}), kNoErr);
  }
  const std::string good = testsupport::ReadFile(store_);
  struct Case {
    const char* name;
    std::function<void()> damage;
  };
  const std::vector<Case> cases = {
      {"a flipped byte",
       [&] {
         std::string bad = good;
         bad[bad.size() / 2] ^= 0x01;
         testsupport::WriteFile(store_, bad);
       }},
      {"cut short", [&] { testsupport::WriteFile(store_, good.substr(0, 20)); }},
      {"its key gone",
       [&] {
         testsupport::WriteFile(store_, good);
         std::filesystem::rename(key_, key_ + ".aside");
       }},
      {"another key", [&] { testsupport::WriteFile(key_, std::string(32, 'k')); }},
  };
  for (const Case& c : cases) {
    c.damage();
    const std::string damaged = testsupport::ReadFile(store_);
    FileKeychain k(store_, key_);
    Bytes out;
    EXPECT_EQ(k.FindGenericPassword("kept", "", out), kNotAvailable) << c.name;
    EXPECT_EQ(k.AddGenericPassword("new", "", Bytes{'2'}), kNotAvailable) << c.name;
    std::vector<InternetPassword> found;
    EXPECT_EQ(k.FindInternetPasswords({"h", kProtocolFTP}, found), kNotAvailable) << c.name;
    // The log can say which file is at fault, not just that a keychain failed.
    EXPECT_NE(k.Problem().find("The keychain file \"" + store_ + "\""), std::string::npos) << k.Problem();
    EXPECT_EQ(testsupport::ReadFile(store_), damaged) << c.name;
  }
}

TEST_F(FileKeychainTest, OversizedStoreIsRefused) {
  testsupport::WriteFile(store_, std::string(FileKeychain::kMaxStoreSize + 1, 'x'));
  testsupport::WriteFile(key_, std::string(32, 'k'));
  FileKeychain k(store_, key_);
  Bytes out;
  EXPECT_EQ(k.FindGenericPassword("x", "", out), kNotAvailable);
}

// A FIFO in the place of either file is refused at once, never waited on: start-up reads
// the store before anything else answers.
TEST_F(FileKeychainTest, AFifoInPlaceOfEitherFileIsRefusedWithoutWaiting) {
  {
    FileKeychain k(store_, key_);
    ASSERT_EQ(k.AddGenericPassword("kept", "", Bytes{'1'}), kNoErr);
  }
  for (const std::string* path : {&store_, &key_}) {
    const std::string aside = *path + ".aside";
    std::filesystem::rename(*path, aside);
    ASSERT_TRUE(testsupport::MakeFifo(*path));
    Status found = kNoErr;
    EXPECT_TRUE(testsupport::ReturnsWithoutWaiting(*path, [&] {
      FileKeychain k(store_, key_);
      Bytes out;
      found = k.FindGenericPassword("kept", "", out);
    })) << *path;
    EXPECT_EQ(found, kNotAvailable) << *path;
    std::filesystem::remove(*path);
    std::filesystem::rename(aside, *path);
  }
}

}  // namespace
}  // namespace keychain
