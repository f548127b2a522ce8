// scripts/download.sh, the command a new user tries first, run as a user runs it against
// loopback servers: it ends with the file and exit status 0, or with the reason and a
// failing status; it says once why it waits; Ctrl-C leaves a download that the same
// command resumes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/values/plist.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Files are named .dat: the default download filters leave that extension in the download folder.
std::string Downloads() {
  return testsupport::TempHome() + "/Downloads";
}
std::string ReadIfExists(const std::string& path) {
  return fs::exists(path) ? testsupport::ReadFile(path) : std::string();
}
std::string Pattern(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return body;
}
std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

struct ScriptRun {
  int status = -1;  // exit status; -1 when it did not end in time (then killed)
  std::string out;
  std::string err;
};

// Runs the script in its own process group (as a terminal runs a command), its output in
// files; `watch` is called about every 100 ms with what it printed on standard error so
// far and its process group, and may signal it. Killed after `limit`.
ScriptRun RunScript(const std::vector<std::string>& urls, std::chrono::seconds limit,
                    const std::function<void(const std::string& err, pid_t group)>& watch = {}) {
  const std::string dir = testsupport::MakeTempDir("script");
  const std::string outFile = dir + "/out", errFile = dir + "/err";
  const std::string script = std::string(std::getenv("TRUVANE_SOURCE_DIR")) + "/scripts/download.sh";
  const std::string binDir = fs::path(TRUVANE_PATH).parent_path();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("TRUVANE_BIN_DIR", binDir.c_str(), 1);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>("bash"), const_cast<char*>(script.c_str())};
    for (const auto& u : urls) argv.push_back(const_cast<char*>(u.c_str()));
    argv.push_back(nullptr);
    ::execvp("bash", argv.data());
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  ScriptRun run;
  const auto deadline = Clock::now() + limit;
  int status = 0;
  while (true) {
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (Clock::now() > deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    if (watch) watch(ReadIfExists(errFile), pid);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  run.out = ReadIfExists(outFile);
  run.err = ReadIfExists(errFile);
  return run;
}

// Nothing answers on the event socket once a Truvane the script started has quit.
bool TruvaneIsRunning() {
  const std::string command =
      std::string("timeout 10 '") + TRUVANE_SEND_PATH + "' --timeout 2 TrES GQSt >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteDownloadLimit(std::int64_t bytesPerSecond) {
  values::Dictionary limit{{"limit", values::Value(bytesPerSecond)}, {"status", values::Value(true)}};
  auto bytes = values::WritePropertyList(
      values::Value(values::Dictionary{{"Bandwidth Settings", values::Value(std::move(limit))}}),
      values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(testsupport::TempHome() + "/.config/Truvane/com.orbenix.Truvane.plist",
                         std::string(bytes->begin(), bytes->end()));
}

TEST(DownloadScript, HelpSaysWhatItDoes) {
  const ScriptRun run = RunScript({"--help"}, std::chrono::seconds(30));
  EXPECT_EQ(run.status, 0);
  for (const char* part : {"usage:", "progress", "retrying in", "reason", "Ctrl-C", "resumes", "Exit status"})
    EXPECT_NE(run.out.find(part), std::string::npos) << part;
  EXPECT_EQ(RunScript({}, std::chrono::seconds(30)).status, 2);
}

// Several URLs: one download each, in the order given; each file where it belongs.
TEST(DownloadScript, DownloadsEachURLInOrder) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string first = Pattern(300000), second = Pattern(1234);
  testsupport::WriteFile(nginx.WwwDir() + "/first.dat", first);
  testsupport::WriteFile(nginx.WwwDir() + "/second.dat", second);
  const std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort());
  const ScriptRun run = RunScript({base + "/first.dat", base + "/second.dat"}, std::chrono::seconds(120));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadIfExists(Downloads() + "/first.dat"), first);
  EXPECT_EQ(ReadIfExists(Downloads() + "/second.dat"), second);
  const auto one = run.out.find(Downloads() + "/first.dat");
  const auto two = run.out.find(Downloads() + "/second.dat");
  ASSERT_NE(one, std::string::npos) << run.out;
  ASSERT_NE(two, std::string::npos) << run.out;
  EXPECT_LT(one, two);
  // Not on a terminal: plain lines, no carriage returns.
  EXPECT_EQ(Count(run.err, ": Finished, "), 2u) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
  EXPECT_FALSE(TruvaneIsRunning()) << "the Truvane the script started still runs";
}

TEST(DownloadScript, AnEmptyFileCompletesAsAnEmptyFile) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/empty.dat", "");
  const ScriptRun run = RunScript({"http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/empty.dat"},
                                  std::chrono::seconds(90));
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_TRUE(fs::exists(Downloads() + "/empty.dat"));
  EXPECT_EQ(fs::file_size(Downloads() + "/empty.dat"), 0u);
}

// A failure ends with the reason from the download's own log and a failing status; a URL
// Truvane refuses says why.
TEST(DownloadScript, FailuresSayWhy) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  struct Case {
    std::string url;
    const char* reason;
  };
  const Case cases[] = {
      {"http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/missing.dat", "404"},
      {"gopher://127.0.0.1/x", "URLs must start with http://, https://, ftp:// or ftps://"},
  };
  for (const Case& c : cases) {
    const ScriptRun run = RunScript({c.url}, std::chrono::seconds(90));
    EXPECT_EQ(run.status, 1) << c.url << "\n" << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.url << "\n" << run.err;
    EXPECT_FALSE(TruvaneIsRunning());
  }
}

// Nothing listens: the engine retries, and the script says so once, with the reason.
// Ctrl-C then ends it, quitting the Truvane it started.
TEST(DownloadScript, ARefusedConnectionIsToldOnceAndCtrlCEndsTheWait) {
  const testservers::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/never.dat";
  bool interrupted = false;
  // Bounded below the test's own limit, so that a run that hangs shows what it printed.
  const ScriptRun run = RunScript({url}, std::chrono::seconds(90), [&](const std::string& err, pid_t group) {
    if (!interrupted && err.find("retrying in") != std::string::npos) {
      // Long enough to show the line is not repeated at each poll.
      std::this_thread::sleep_for(std::chrono::seconds(3));
      ::kill(-group, SIGINT);
      interrupted = true;
    }
  });
  ASSERT_TRUE(interrupted) << run.err;
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_EQ(Count(run.err, "connection refused, retrying in 25 s"), 1u) << run.err;
  EXPECT_FALSE(TruvaneIsRunning());
}

// Ctrl-C in the middle: the download stops, Truvane quits, the partial download stays;
// the same command again finishes it from where it was, byte-exact.
TEST(DownloadScript, CtrlCThenTheSameCommandResumes) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = Pattern(3 * 1024 * 1024 + 11);
  testsupport::WriteFile(nginx.WwwDir() + "/big.dat", body);
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/big.dat";
  // At this rate the file takes most of a minute: time enough for the Ctrl-C to reach the
  // download however slowly a loaded machine runs the script (at 256 KiB/s the file was
  // sometimes whole before the script got round to stopping it).
  WriteDownloadLimit(64 * 1024);

  bool interrupted = false;
  const ScriptRun first =
      RunScript({url}, std::chrono::seconds(120), [&](const std::string& err, pid_t group) {
        // Once a progress line shows part of the file.
        if (!interrupted && std::regex_search(err, std::regex("(^|\n)[1-9][0-9]?%  "))) {
          ::kill(-group, SIGINT);
          interrupted = true;
        }
      });
  ASSERT_TRUE(interrupted) << first.err;
  EXPECT_EQ(first.status, 130) << first.err;
  EXPECT_NE(first.err.find("run the same command again to resume"), std::string::npos) << first.err;
  EXPECT_FALSE(TruvaneIsRunning());
  EXPECT_FALSE(fs::exists(Downloads() + "/big.dat"));
  EXPECT_TRUE(fs::exists(Downloads() + "/big.dat.partial"));

  // Without the limit the second run ends quickly.
  fs::remove(testsupport::TempHome() + "/.config/Truvane/com.orbenix.Truvane.plist");
  const ScriptRun second = RunScript({url}, std::chrono::seconds(120));
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.err.find("Resuming"), std::string::npos) << second.err;
  EXPECT_EQ(ReadIfExists(Downloads() + "/big.dat"), body);
  EXPECT_FALSE(fs::exists(Downloads() + "/big.dat.1"));
  // The second run asked only for what was missing.
  EXPECT_NE(ReadIfExists(nginx.WwwDir() + "/../access.log").find("\" 206 "), std::string::npos);
}

}  // namespace
