#pragma once
// The real `truvane` started headless in the test's temporary home, driven by the real
// `truvane-send`, and what it leaves behind (preferences, transfer log, saved queue).

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/values/plist.h"
#include "tests/support/temp_home.h"

namespace programtest {

using Clock = std::chrono::steady_clock;

inline std::string PrefsFile() {
  return testsupport::TempHome() + "/.config/Truvane/com.orbenix.Truvane.plist";
}
inline std::string LogFile() {
  return testsupport::TempHome() + "/.local/state/Truvane/Truvane Log.txt";
}
inline std::string QueueFile() {
  return testsupport::TempHome() + "/.local/share/Truvane/Truvane Queue.plist";
}
inline std::string DownloadsFolder() {
  return testsupport::TempHome() + "/Downloads";
}
inline std::string ReadIfExists(const std::string& path) {
  return std::filesystem::exists(path) ? testsupport::ReadFile(path) : std::string();
}

// Writes the preferences the program finds at its next start.
inline void WritePreferences(const values::Dictionary& prefs) {
  auto bytes = values::WritePropertyList(values::Value(prefs), values::PlistFormat::kXml);
  if (bytes.ok()) testsupport::WriteFile(PrefsFile(), std::string(bytes->begin(), bytes->end()));
}
inline values::Value ReadPreferences() {
  auto prefs = values::ReadPropertyListFile(PrefsFile());
  return prefs.ok() ? *prefs : values::Value(values::Dictionary{});
}

struct SendResult {
  int status = -1;  // the sender's exit status
  std::string out;  // what it printed on standard output
  std::string err;  // and on standard error
};

inline std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the sender with `args` (each one word), bounded to 20 s.
inline SendResult Send(const std::vector<std::string>& args) {
  SendResult r;
  const std::string errFile = testsupport::MakeTempDir("send") + "/stderr";
  std::string command = std::string("timeout 20 ") + ShellQuoted(TRUVANE_SEND_PATH);
  for (const auto& a : args) command += " " + ShellQuoted(a);
  command += " 2>" + ShellQuoted(errFile);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = ReadIfExists(errFile);
  return r;
}

// The last line of a reply, without its line end.
inline std::string LastLine(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  const auto nl = s.rfind('\n');
  return nl == std::string::npos ? s : s.substr(nl + 1);
}

class Program {
 public:
  // Starts the program headless with these extra environment variables; its standard
  // error goes to StandardErrorFile().
  explicit Program(std::vector<std::pair<std::string, std::string>> env = {})
      : stderr_(testsupport::MakeTempDir("program") + "/stderr") {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::unsetenv("QT_QPA_PLATFORM");
      for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
      const int fd = ::open(stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) ::dup2(fd, 2);
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
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Up once its socket answers.
  bool WaitUntilAnswering(std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (Send({"--timeout", "2", "TrES", "GQSt"}).status == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Sends quit and waits for the exit; true when it ended with status 0.
  bool Quit(std::chrono::seconds limit = std::chrono::seconds(30)) {
    Send({"--timeout", "10", "aevt", "quit"});
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  const std::string& StandardErrorFile() const { return stderr_; }

 private:
  std::string stderr_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// Hands one URL over and starts the queue; the new download's UID ("" when refused).
inline std::string AddAndStart(const std::string& url) {
  const SendResult added = Send({"--timeout", "10", "TrES", "AUrl", "----:TEXT=" + url, "Stqu:bool=true"});
  if (added.status != 0) return {};
  Send({"--timeout", "10", "TrES", "StaQ"});
  return LastLine(added.out);
}

// Polls the status until it is final (completed, failed, stopped); 0 when time ran out.
inline long WaitForFinalStatus(const std::string& uid, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    const SendResult r = Send({"--timeout", "5", "TrES", "JSta", "----:magn=" + uid});
    if (r.status == 0) {
      const long status = std::strtol(LastLine(r.out).c_str(), nullptr, 10);
      if (status == 256 || status == 128 || status == 64) return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

// The saved record of the download, or null.
inline const values::Value* SavedRecord(const values::Value& queue, const std::string& uid) {
  const values::Array* elements = nullptr;
  if (queue.GetArray("Elements", elements) != values::Lookup::kOk) return nullptr;
  for (const auto& e : *elements) {
    std::int64_t id = 0;
    if (e.GetInt64("UID", id) == values::Lookup::kOk && std::to_string(id) == uid) return &e;
  }
  return nullptr;
}

}  // namespace programtest
