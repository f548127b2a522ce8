// A password typed inside a download URL, through the real program: handed over by the
// sender while the queue is stopped, saved by the quit with "encrypt queue" on (the
// default), then the program started again downloads from a server that insists on that
// password. The saved queue never holds the password in clear; the program's keychain
// is the file store (the test has no session bus) and holds the cipher's key.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/keychain/file_keychain.h"
#include "tests/app/shell/program_process.h"
#include "tests/servers/secret_service_session.h"
#include "tests/servers/test_servers.h"

namespace {

using namespace programtest;

std::string DataFolder() {
  return testsupport::TempHome() + "/.local/share/Truvane";
}

TEST(StoredPasswords, PasswordInAURLIsSavedEncipheredAndLogsInAfterARestart) {
  testservers::ScriptedHttpServer server;
  ASSERT_TRUE(server.ok());
  // The queue stays stopped at launch, so the download only runs in the second run.
  WritePreferences({{"Start On Launch", false}});
  const std::string password = testservers::ScriptedHttpServer::kPassword;
  const std::string url =
      "http://user:" + password + "@127.0.0.1:" + std::to_string(server.Port()) + "/basic";

  std::string uid;
  {
    Program first;
    ASSERT_TRUE(first.WaitUntilAnswering(std::chrono::seconds(30)));
    std::string out;
    ASSERT_EQ(Send("--timeout 10 TrES AUrl '----:TEXT=" + url + "'", out), 0);
    uid = LastLine(out);
    ASSERT_FALSE(uid.empty());
    ASSERT_TRUE(first.Quit(std::chrono::seconds(30)));
  }

  const std::string queue = testsupport::ReadFile(QueueFile());
  ASSERT_TRUE(SavedRecord(uid)) << "the download was not saved";
  EXPECT_EQ(queue.find(password), std::string::npos) << "the password is in the queue file in clear";
  EXPECT_NE(queue.find("http://user@127.0.0.1:" + std::to_string(server.Port()) + "/basic"),
            std::string::npos);
  EXPECT_NE(queue.find("EurlPassword"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat((DataFolder() + "/Truvane Keychain").c_str(), &st), 0) << "no keychain file store";
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  Program second;
  ASSERT_TRUE(second.WaitUntilAnswering(std::chrono::seconds(30)));
  std::string out;
  EXPECT_EQ(Send("--timeout 10 TrES StaQ", out), 0);
  EXPECT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256)
      << "the download did not log in with the password read back";
  EXPECT_TRUE(second.Quit(std::chrono::seconds(30)));
  EXPECT_EQ(testsupport::ReadFile(QueueFile()).find(password), std::string::npos);
}

// The keychain back end differs between runs: a desktop session with its Secret Service,
// then a run without a session bus (the file store), or the other way round; and a run
// that reaches no keychain holding the cipher's key. The password saved enciphered in
// one run is never lost: it logs in under the other back end, and a run without its key
// keeps it in the queue file byte for byte (and says so) for a later run that has it.
class StoredPasswordsAcrossBackEnds : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every case starts with no keychain at all: neither the file store nor the login
    // keyring the private Secret Service keeps in the test's home.
    namespace fs = std::filesystem;
    for (const std::string& path : {DataFolder() + "/Truvane Keychain",
                                    testsupport::TempHome() + "/.config/Truvane/Truvane Keychain Key",
                                    testsupport::TempHome() + "/.local/share/keyrings", QueueFile()}) {
      fs::remove_all(path);
    }
    ASSERT_TRUE(server_.ok());
    WritePreferences({{"Start On Launch", false}});
    url_ = "http://user:" + std::string(testservers::ScriptedHttpServer::kPassword) +
           "@127.0.0.1:" + std::to_string(server_.Port()) + "/basic";
  }
  // A run under the Secret Service (the private session's bus) or without a session bus.
  static std::vector<std::pair<std::string, std::string>> Env(
      const testservers::SecretServiceSession* session) {
    return {{"DBUS_SESSION_BUS_ADDRESS", session ? session->BusAddress() : std::string()}};
  }
  std::string AddStopped(const testservers::SecretServiceSession* session) {
    Program program(Env(session));
    EXPECT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    std::string out;
    EXPECT_EQ(Send("--timeout 10 TrES AUrl '----:TEXT=" + url_ + "'", out), 0);
    EXPECT_TRUE(program.Quit(std::chrono::seconds(30)));
    return LastLine(out);
  }
  long RunQueue(const testservers::SecretServiceSession* session, const std::string& uid) {
    Program program(Env(session));
    EXPECT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    std::string out;
    EXPECT_EQ(Send("--timeout 10 TrES StaQ", out), 0);
    const long status = WaitForFinalStatus(uid, std::chrono::seconds(60));
    EXPECT_TRUE(program.Quit(std::chrono::seconds(30)));
    return status;
  }
  static values::Bytes SavedURLPassword(const std::string& uid) {
    values::Bytes bytes;
    const auto record = SavedRecord(uid);
    const values::Array* urls = nullptr;
    if (!record || record->GetArray("url data", urls) != values::Lookup::kOk || urls->empty()) return bytes;
    urls->front().GetData("EurlPassword", bytes);
    return bytes;
  }

  testservers::ScriptedHttpServer server_;
  std::string url_;
};

TEST_F(StoredPasswordsAcrossBackEnds, SavedUnderTheSecretServiceLogsInWithoutASessionBus) {
  std::string uid;
  {
    testservers::SecretServiceSession session;
    ASSERT_TRUE(session.ok());
    uid = AddStopped(&session);
  }
  ASSERT_FALSE(uid.empty());
  ASSERT_FALSE(SavedURLPassword(uid).empty());
  EXPECT_EQ(RunQueue(nullptr, uid), 256) << "the password saved under the Secret Service was not read";
}

TEST_F(StoredPasswordsAcrossBackEnds, SavedWithoutASessionBusLogsInUnderTheSecretService) {
  const std::string uid = AddStopped(nullptr);
  ASSERT_FALSE(uid.empty());
  ASSERT_FALSE(SavedURLPassword(uid).empty());
  testservers::SecretServiceSession session;
  ASSERT_TRUE(session.ok());
  EXPECT_EQ(RunQueue(&session, uid), 256) << "the password saved in the file store was not read";
}

TEST_F(StoredPasswordsAcrossBackEnds, ARunWithoutTheKeyKeepsThePasswordAsStored) {
  testservers::SecretServiceSession session;
  ASSERT_TRUE(session.ok());
  const std::string uid = AddStopped(&session);
  ASSERT_FALSE(uid.empty());
  const values::Bytes saved = SavedURLPassword(uid);
  ASSERT_FALSE(saved.empty());
  // The next run reaches only a file store without the key (its files gone).
  std::filesystem::remove(DataFolder() + "/Truvane Keychain");
  std::filesystem::remove(testsupport::TempHome() + "/.config/Truvane/Truvane Keychain Key");
  const std::string logBefore = ReadIfExists(LogFile());
  {
    Program program(Env(nullptr));
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
  }
  EXPECT_EQ(SavedURLPassword(uid), saved) << "the enciphered password was not kept as stored";
  const std::string log = ReadIfExists(LogFile()).substr(logBefore.size());
  EXPECT_NE(log.find("none of the keychains searched (file \"" + DataFolder() + "/Truvane Keychain\")"),
            std::string::npos)
      << log;
  keychain::FileKeychain fileStore(DataFolder() + "/Truvane Keychain",
                                   testsupport::TempHome() + "/.config/Truvane/Truvane Keychain Key");
  values::Bytes made;
  EXPECT_NE(fileStore.FindGenericPassword("Truvane Preferences Encryption Key", "", made), keychain::kNoErr)
      << "a key was made while a password waited for the old one";
  // Its key reachable again, the password logs in.
  EXPECT_EQ(RunQueue(&session, uid), 256);
}

// A keyring that does not answer (one waiting on its own prompt for a password, say)
// holds up neither start-up nor quit: the keychain is opened when a secret is first
// wanted, and a start with no saved password wants none. D-Bus gives up on a call after
// 25 s; a start that waited on the keyring would answer only after that.
TEST_F(StoredPasswordsAcrossBackEnds, AKeyringThatNeverAnswersHoldsUpNeitherStartUpNorQuit) {
  testservers::SecretServiceSession session;
  ASSERT_TRUE(session.ok());
  session.Freeze();
  Program program(Env(&session));
  EXPECT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(20))) << "start-up waited on the keyring";
  std::string out;
  EXPECT_EQ(
      Send("--timeout 10 TrES AUrl '----:TEXT=http://127.0.0.1:" + std::to_string(server_.Port()) + "/plain'",
           out),
      0);
  EXPECT_TRUE(program.Quit(std::chrono::seconds(20))) << "quit waited on the keyring";
  session.Thaw();
}

}  // namespace
