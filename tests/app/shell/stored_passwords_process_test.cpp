// A password typed inside a download URL, through the real program: handed over by the
// sender while the queue is stopped, saved by the quit with "encrypt queue" on (the
// default), then the program started again downloads from a server that insists on that
// password. The saved queue never holds the password in clear; the program's keychain
// is the file store (the test has no session bus) and holds the cipher's key.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/app/shell/program_process.h"
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

}  // namespace
