#pragma once
// The real program as a child process, driven by the real sender: started headless in the
// test's temporary HOME, asked over its event socket, killed or told to quit. Every wait
// is bounded.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

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

// Runs the sender; returns its exit status and fills `out` with what it printed.
inline int Send(const std::string& args, std::string& out) {
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

inline std::string ReadIfExists(const std::string& path) {
  return std::filesystem::exists(path) ? testsupport::ReadFile(path) : std::string();
}

struct SendResult {
  int status = -1;  // the sender's exit status
  std::string out;  // what it printed on standard output
  std::string err;  // and on standard error
};

// Runs the sender with `words` (each one argument, no shell quoting needed), bounded to
// 20 s, keeping both of its outputs.
inline SendResult SendWords(const std::vector<std::string>& words) {
  auto quoted = [](const std::string& w) {
    std::string q = "'";
    for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  SendResult r;
  const std::string errFile = testsupport::MakeTempDir("send") + "/stderr";
  std::string command = "timeout 20 " + quoted(TRUVANE_SEND_PATH);
  for (const auto& w : words) command += " " + quoted(w);
  command += " 2>" + quoted(errFile);
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

// The last line, without its line end.
inline std::string LastLine(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  const auto nl = s.rfind('\n');
  return nl == std::string::npos ? s : s.substr(nl + 1);
}

class Program {
 public:
  // With these extra environment variables; standard error goes to StandardErrorFile().
  explicit Program(const std::vector<std::pair<std::string, std::string>>& env = {})
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

  bool WaitUntilAnswering(std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    std::string out;
    while (Clock::now() < deadline) {
      if (Send("--timeout 2 TrES GQSt", out) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  bool WaitForExit(std::chrono::seconds limit, int& status) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // Quits through the quit event; true when the program ended cleanly within the limit.
  // A loaded machine can keep the program from answering within one send's bound, so an
  // unanswered quit is sent again while the program runs and the limit allows.
  bool Quit(std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    std::string out;
    int status = 0;
    while (Clock::now() < deadline) {
      const bool answered = Send("--timeout 10 aevt quit", out) == 0;
      const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now());
      if (WaitForExit(answered ? std::max(left, std::chrono::seconds(1)) : std::chrono::seconds(1), status))
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      if (answered) return false;
    }
    return false;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    exited_ = true;
  }
  void Signal(int signal_number) { ::kill(pid_, signal_number); }
  const std::string& StandardErrorFile() const { return stderr_; }

 private:
  std::string stderr_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// Hands the URL over and starts the queue; returns the new download's UID.
inline std::string AddAndStart(const std::string& url) {
  std::string out;
  if (Send("--timeout 10 TrES AUrl '----:TEXT=" + url + "' Stqu:bool=true", out) != 0) return {};
  const std::string uid = LastLine(out);
  Send("--timeout 10 TrES StaQ", out);
  return uid;
}

inline std::string Info(const std::string& uid) {
  std::string out;
  Send("--timeout 5 TrES Info ----:magn=" + uid, out);
  return LastLine(out);
}

// Polls the status until it is final (256 complete, 128 failed, 64 stopped); 0 when the
// time ran out.
inline long WaitForFinalStatus(const std::string& uid, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
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

inline std::string DownloadsFolder() {
  return testsupport::TempHome() + "/Downloads";
}
// Where a finished ".bin" file lands: the default download filters file it into
// "Applications".
inline std::string FiledBinFolder() {
  return DownloadsFolder() + "/Applications";
}
inline std::string LogFile() {
  return testsupport::TempHome() + "/.local/state/Truvane/Truvane Log.txt";
}
inline std::string QueueFile() {
  return testsupport::TempHome() + "/.local/share/Truvane/Truvane Queue.plist";
}
inline std::string PreferencesFile() {
  return testsupport::TempHome() + "/.config/Truvane/com.orbenix.Truvane.plist";
}

// The saved record of the download, or null.
inline std::optional<values::Value> SavedRecord(const std::string& uid) {
  auto queue = values::ReadPropertyListFile(QueueFile());
  if (!queue.ok()) return std::nullopt;
  const values::Array* elements = nullptr;
  if (queue->GetArray("Elements", elements) != values::Lookup::kOk) return std::nullopt;
  for (const auto& e : *elements) {
    std::int64_t id = 0;
    if (e.GetInt64("UID", id) == values::Lookup::kOk && std::to_string(id) == uid) return e;
  }
  return std::nullopt;
}

inline values::Value ReadPreferences() {
  auto prefs = values::ReadPropertyListFile(PreferencesFile());
  return prefs.ok() ? *prefs : values::Value(values::Dictionary{});
}

inline void WritePreferences(const values::Dictionary& prefs) {
  auto bytes = values::WritePropertyList(values::Value(prefs), values::PlistFormat::kXml);
  ASSERT_TRUE(bytes.ok());
  testsupport::WriteFile(PreferencesFile(), std::string(bytes->begin(), bytes->end()));
}

}  // namespace programtest
