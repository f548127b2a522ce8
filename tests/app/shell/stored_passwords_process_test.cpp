// A password typed inside a download URL, through the real program: handed over by the
// sender while the queue is stopped, saved by the quit with "encrypt queue" on (the
// default), then the program started again downloads from a server that insists on that
// password. The saved queue never holds the password in clear; the program's keychain
// is the file store (the test has no session bus) and holds the cipher's key.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/values/plist.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace {

using Clock = std::chrono::steady_clock;

int Send(const std::string& args, std::string& out) {
  out.clear();
  const std::string command = std::string("timeout 20 '") + TRUVANE_SEND_PATH + "' " + args + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LastLine(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  const auto nl = s.rfind('\n');
  return nl == std::string::npos ? s : s.substr(nl + 1);
}

// The program, headless; killed when the object goes unless it quit.
class Program {
 public:
  Program() {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      ::execl(TRUVANE_PATH, TRUVANE_PATH, static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Program() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool WaitUntilAnswering() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    std::string out;
    while (Clock::now() < deadline) {
      if (Send("--timeout 2 TrES GQSt", out) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  bool Quit() {
    std::string out;
    Send("--timeout 10 aevt quit", out);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (Clock::now() < deadline) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

std::string DataFolder() {
  return testsupport::TempHome() + "/.local/share/Truvane";
}

long WaitForFinalStatus(const std::string& uid) {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  std::string out;
  while (Clock::now() < deadline) {
    if (Send("--timeout 5 TrES JSta ----:magn=" + uid, out) == 0) {
      const long status = std::strtol(LastLine(out).c_str(), nullptr, 10);
      if (status == 256 || status == 128 || status == 64) return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

TEST(StoredPasswords, PasswordInAURLIsSavedEncipheredAndLogsInAfterARestart) {
  testservers::ScriptedHttpServer server;
  ASSERT_TRUE(server.ok());
  // The queue stays stopped at launch, so the download only runs in the second run.
  auto prefs =
      values::WritePropertyList(values::Value{{"Start On Launch", false}}, values::PlistFormat::kXml);
  ASSERT_TRUE(prefs.ok());
  testsupport::WriteFile(testsupport::TempHome() + "/.config/Truvane/com.orbenix.Truvane.plist",
                         std::string(prefs->begin(), prefs->end()));
  const std::string password = testservers::ScriptedHttpServer::kPassword;
  const std::string url =
      "http://user:" + password + "@127.0.0.1:" + std::to_string(server.Port()) + "/basic";

  std::string uid;
  {
    Program first;
    ASSERT_TRUE(first.WaitUntilAnswering());
    std::string out;
    ASSERT_EQ(Send("--timeout 10 TrES AUrl '----:TEXT=" + url + "'", out), 0);
    uid = LastLine(out);
    ASSERT_FALSE(uid.empty());
    ASSERT_TRUE(first.Quit());
  }

  const std::string queue = testsupport::ReadFile(DataFolder() + "/Truvane Queue.plist");
  ASSERT_NE(queue.find(uid), std::string::npos) << "the download was not saved";
  EXPECT_EQ(queue.find(password), std::string::npos) << "the password is in the queue file in clear";
  EXPECT_NE(queue.find("http://user@127.0.0.1:" + std::to_string(server.Port()) + "/basic"),
            std::string::npos);
  EXPECT_NE(queue.find("EurlPassword"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat((DataFolder() + "/Truvane Keychain").c_str(), &st), 0) << "no keychain file store";
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  Program second;
  ASSERT_TRUE(second.WaitUntilAnswering());
  std::string out;
  EXPECT_EQ(Send("--timeout 10 TrES StaQ", out), 0);
  EXPECT_EQ(WaitForFinalStatus(uid), 256) << "the download did not log in with the password read back";
  EXPECT_TRUE(second.Quit());
  EXPECT_EQ(testsupport::ReadFile(DataFolder() + "/Truvane Queue.plist").find(password), std::string::npos);
}

}  // namespace
