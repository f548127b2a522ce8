// The add-download and edit-download windows in the real program on a real X display,
// worked with keys as a person would: File > New Download (Ctrl+N), two addresses typed on
// two lines, the keypad's Enter for OK - both downloads arrive byte for byte. One of them
// comes slowly; it is stopped midway (Ctrl+.), its address is changed to a second server
// holding the same file (Ctrl+E, the field's text replaced, Enter), and started again
// (the toolbar's Start): it resumes where it stopped - the second server answers with a
// partial response - and the file ends whole. The program then quits cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "tests/app/shell/display_input.h"
#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace {

using namespace programtest;
using namespace std::chrono_literals;

bool WaitUntil(std::chrono::seconds limit, const std::function<bool()>& done) {
  for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

std::string Contents(char seed, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
  return bytes;
}

long Status(const std::string& uid) {
  std::string out;
  if (Send("--timeout 5 TrES JSta ----:magn=" + uid, out) != 0) return -1;
  return std::strtol(LastLine(out).c_str(), nullptr, 10);
}

// The UID of the queued download whose URL list holds `url`; empty when none does.
std::string UIDOf(const std::string& url) {
  const std::string queued = SendWords({"--timeout", "5", "TrES", "LQue"}).out;
  std::size_t at = queued.find(url);
  if (at == std::string::npos) return {};
  std::size_t start = queued.rfind('\n', at);
  start = start == std::string::npos ? 0 : start + 1;
  // A line starts with the host UID and the download's UID.
  std::string line = queued.substr(start, at - start);
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words.size() >= 2 ? words[1] : std::string();
}

TEST(DownloadWindowsProcess, AddedDownloadsArriveAndAnEditedURLResumes) {
  // The slow file comes at 64 KB/s a connection from the first server: long enough to be stopped midway.
  testservers::NginxServer first;
  testservers::NginxServer second;
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  const std::string quick = Contents('q', 150000), slow = Contents('s', 3000000);
  testsupport::WriteFile(first.WwwDir() + "/quick.iso", quick);
  std::filesystem::create_directories(first.WwwDir() + "/slow");
  std::filesystem::create_directories(second.WwwDir() + "/mirror");
  testsupport::WriteFile(first.WwwDir() + "/slow/slow.iso", slow);
  testsupport::WriteFile(second.WwwDir() + "/mirror/slow.iso", slow);
  const std::string firstBase = "http://127.0.0.1:" + std::to_string(first.HttpPort());
  const std::string quickURL = firstBase + "/quick.iso", slowURL = firstBase + "/slow/slow.iso";
  const std::string mirrorURL = "http://127.0.0.1:" + std::to_string(second.HttpPort()) + "/mirror/slow.iso";

  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
  ASSERT_TRUE(WaitUntil(20s, [&] { return FindWindowBox(x.display(), "Truvane").has_value(); }))
      << WindowTree(x.display());

  // Ctrl+N opens the window with the address field ready; Return types a new line there,
  // the keypad's Enter is OK.
  ASSERT_TRUE(ActOnDisplay(x.display(), {"key:Control_L+n"}));
  ASSERT_TRUE(WaitUntil(10s, [&] { return FindWindowBox(x.display(), "Add Download").has_value(); }))
      << WindowTree(x.display());
  ASSERT_TRUE(ActOnDisplay(x.display(), {"type:" + quickURL, "key:Return", "type:" + slowURL}));
  KeepScreen(x.display(), "add_download_typed");
  ASSERT_TRUE(ActOnDisplay(x.display(), {"key:KP_Enter"}));
  ASSERT_TRUE(WaitUntil(10s, [&] { return !FindWindowBox(x.display(), "Add Download").has_value(); }))
      << "OK left the window open";

  EXPECT_TRUE(WaitUntil(60s, [&] { return ReadIfExists(DownloadsFolder() + "/quick.iso") == quick; }))
      << ReadIfExists(DownloadsFolder() + "/quick.iso").size() << " bytes of " << quick.size();
  std::string slowUID;
  ASSERT_TRUE(WaitUntil(20s, [&] { return !(slowUID = UIDOf(slowURL)).empty(); }));
  ASSERT_TRUE(WaitUntil(30s, [&] { return Status(slowUID) == 4; })) << Info(slowUID);

  // The slow one was added last and is the selected row. Without a window manager the
  // closed window hands the keyboard to no one: a click on the main window's status line
  // takes it back, then Ctrl+. stops the download.
  std::optional<ScreenBox> main = FindWindowBox(x.display(), "Truvane");
  ASSERT_TRUE(main.has_value());
  const std::string statusLine =
      std::to_string(main->x + main->width - 40) + "," + std::to_string(main->y + main->height - 10);
  KeepScreen(x.display(), "add_download_added");
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + statusLine, "key:Control_L+period"}));
  ASSERT_TRUE(WaitUntil(20s, [&] { return Status(slowUID) == 64; })) << Info(slowUID);
  EXPECT_NE(ReadIfExists(DownloadsFolder() + "/slow.iso"), slow) << "it ended before it was stopped";

  // Ctrl+E edits the selected download; its address is replaced by the mirror's.
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + statusLine, "key:Control_L+e"}));
  ASSERT_TRUE(WaitUntil(10s, [&] {
    return FindWindowBox(x.display(), "Edit Download: slow.iso").has_value();
  })) << WindowTree(x.display());
  ASSERT_TRUE(ActOnDisplay(x.display(), {"key:Control_L+a", "type:" + mirrorURL}));
  KeepScreen(x.display(), "edit_download_typed");
  ASSERT_TRUE(ActOnDisplay(x.display(), {"key:KP_Enter"}));
  ASSERT_TRUE(
      WaitUntil(10s, [&] { return !FindWindowBox(x.display(), "Edit Download: slow.iso").has_value(); }));
  ASSERT_TRUE(WaitUntil(10s, [&] { return UIDOf(mirrorURL) == slowUID; }))
      << "the edit did not reach the queue";

  // Start (the toolbar's button, the selected row) runs it again, from where it stopped.
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + statusLine}));
  ASSERT_TRUE(ActOnDisplay(x.display(),
                           {"click:" + std::to_string(main->x + 73) + "," + std::to_string(main->y + 45)}));
  EXPECT_EQ(WaitForFinalStatus(slowUID, 90s), 256) << Info(slowUID);
  EXPECT_EQ(ReadIfExists(DownloadsFolder() + "/slow.iso"), slow);
  const std::string log = ReadIfExists(second.HeadersLogPath());
  EXPECT_NE(log.find("GET /mirror/slow.iso 206"), std::string::npos) << log;
  KeepScreen(x.display(), "edit_download_resumed");
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
}

}  // namespace
