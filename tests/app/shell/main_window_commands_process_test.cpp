// The real program on a real X display, worked with keys as a person would: what the
// main window's commands do in the program that ships, seen from outside through the
// scripting suite, the saved files and the windows on the screen.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/support/temp_home.h"

namespace {

using namespace programtest;
using namespace std::chrono_literals;

// Owns the display's clipboard with `text` (xclip serves it until it is killed).
class ClipboardOwner {
 public:
  ClipboardOwner(const std::string& display, const std::string& text) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(fds[0], 0);
      ::close(fds[0]);
      ::close(fds[1]);
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, 2);
      ::execlp("xclip", "xclip", "-quiet", "-selection", "clipboard", "-display", display.c_str(),
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[0]);
    [[maybe_unused]] const ssize_t written = ::write(fds[1], text.data(), text.size());
    ::close(fds[1]);
  }
  ~ClipboardOwner() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ClipboardOwner(const ClipboardOwner&) = delete;
  ClipboardOwner& operator=(const ClipboardOwner&) = delete;
  // True once the display hands the text to whoever asks for the clipboard.
  bool WaitUntilServed(const std::string& display, const std::string& text) {
    if (pid_ <= 0) return false;
    for (auto deadline = Clock::now() + 20s; Clock::now() < deadline;) {
      const std::string command =
          "timeout 5 xclip -o -selection clipboard -display " + display + " 2>/dev/null";
      std::string out;
      if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[512];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
        ::pclose(pipe);
      }
      if (out == text) return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
};

// Polls the sender's answer to `words` until it holds `text`; the last answer.
std::string WaitForAnswer(const std::vector<std::string>& words, const std::string& text,
                          std::chrono::seconds limit = 20s) {
  std::string out;
  for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    out = SendWords(words).out;
    if (out.find(text) != std::string::npos) break;
    std::this_thread::sleep_for(100ms);
  }
  return out;
}

// The program on its own display, its main window shown.
class WindowedProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
    ASSERT_FALSE(x_.display().empty()) << "Xvfb did not start";
    program_ = std::make_unique<Program>(std::vector<std::pair<std::string, std::string>>{
        {"DISPLAY", x_.display()}, {"QT_QPA_PLATFORM", "xcb"}});
    ASSERT_TRUE(program_->WaitUntilAnswering(30s)) << ReadIfExists(program_->StandardErrorFile());
    bool shown = false;
    for (auto deadline = Clock::now() + 20s; !shown && Clock::now() < deadline;) {
      shown = WindowTree(x_.display()).find("\"Truvane\"") != std::string::npos;
      if (!shown) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(shown) << WindowTree(x_.display());
  }
  void TearDown() override {
    if (program_) {
      EXPECT_TRUE(program_->Quit(30s)) << ReadIfExists(program_->StandardErrorFile());
    }
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
  }

  VirtualDisplay x_;
  std::unique_ptr<Program> program_;
};

TEST_F(WindowedProgram, PasteOfAURLAddsItAsADownload) {
  const std::string url = "http://127.0.0.1:9/pasted-file.zip";
  ClipboardOwner clipboard(x_.display(), url + "\n");
  ASSERT_TRUE(clipboard.WaitUntilServed(x_.display(), url + "\n"));
  ASSERT_EQ(SendWords({"--timeout", "5", "TrES", "LQue"}).out.find("pasted-file.zip"), std::string::npos);
  ASSERT_TRUE(PressKeys(x_.display(), "Control_L+v"));
  const std::string listed = WaitForAnswer({"--timeout", "5", "TrES", "LQue"}, "pasted-file.zip");
  KeepScreen(x_.display(), "paste_added_url");
  EXPECT_NE(listed.find(url), std::string::npos) << listed;
}

TEST_F(WindowedProgram, NewFolderAddsAFolderRowNamedInPlace) {
  ASSERT_EQ(SendWords({"--timeout", "5", "TrES", "LFol"}).out.find("Untitled"), std::string::npos);
  // File > New Folder by its key: a folder "Untitled", its row being renamed.
  ASSERT_TRUE(PressKeys(x_.display(), "Control_L+Shift_L+n"));
  const std::string made = WaitForAnswer({"--timeout", "5", "TrES", "LFol"}, "Untitled");
  KeepScreen(x_.display(), "new_folder_renaming");
  ASSERT_NE(made.find("Untitled"), std::string::npos) << made;
  // What is typed now names the row.
  for (const char* key : {"m", "i", "n", "e", "Return"}) ASSERT_TRUE(PressKeys(x_.display(), key));
  const std::string renamed = WaitForAnswer({"--timeout", "5", "TrES", "LFol"}, "mine");
  EXPECT_NE(renamed.find("mine"), std::string::npos) << renamed;
  EXPECT_EQ(renamed.find("Untitled"), std::string::npos) << renamed;
}

}  // namespace
