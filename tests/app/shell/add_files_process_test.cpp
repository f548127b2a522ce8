// Adding every file a page links to, in the real program on a real X display, worked with
// keys and clicks as a person would: File > Add Downloads from Page..., the page's
// address typed, Return - the three archives the loopback page links to are queued and
// arrive byte for byte; the page itself is not.
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

// Bytes that differ from file to file, so a mix-up shows.
std::string Contents(char seed, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
  return bytes;
}

// Opens File > Add Downloads from Page... from the menu bar by keys: the application menu
// by a click, Right to File, then the item. The first enabled item of File is the one
// wanted unless New Download is enabled too, so one Down more is tried after that.
bool OpenAddFilesWindow(const std::string& display, const ScreenBox& main) {
  const std::string menuBar = std::to_string(main.x + 10) + "," + std::to_string(std::max(0, main.y) + 8);
  for (int downs = 0; downs < 2; ++downs) {
    std::vector<std::string> actions{"click:" + menuBar, "key:Right"};
    for (int i = 0; i < downs; ++i) actions.push_back("key:Down");
    actions.push_back("key:Return");
    if (!ActOnDisplay(display, actions)) return false;
    if (WaitUntil(10s, [&] { return FindWindowBox(display, "Add Files from URL").has_value(); })) return true;
    ActOnDisplay(display, {"key:Escape", "key:Escape"});
  }
  return false;
}

TEST(AddFilesProcess, ThePageLinksAreQueuedAndArriveWhole) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::map<std::string, std::string> files{{"scan-first.zip", Contents('a', 40000)},
                                                 {"scan-second.zip", Contents('b', 70001)},
                                                 {"deeper/scan-third.zip", Contents('c', 123)}};
  std::filesystem::create_directories(nginx.WwwDir() + "/deeper");
  for (const auto& [path, bytes] : files) testsupport::WriteFile(nginx.WwwDir() + "/" + path, bytes);
  testsupport::WriteFile(nginx.WwwDir() + "/scan.html",
                         "<html><body><a href=\"scan-first.zip\">one</a> <a href='scan-second.zip'>two</a>\n"
                         "<a href=\"deeper/scan-third.zip\">three</a></body></html>\n");
  const std::string page = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/scan.html";

  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
  std::optional<ScreenBox> main;
  ASSERT_TRUE(WaitUntil(20s, [&] { return (main = FindWindowBox(x.display(), "Truvane")).has_value(); }))
      << WindowTree(x.display());

  ASSERT_TRUE(OpenAddFilesWindow(x.display(), *main)) << WindowTree(x.display());
  // The address field has the focus; Return presses Start.
  ASSERT_TRUE(ActOnDisplay(x.display(), {"type:" + page, "key:Return"}));

  for (const auto& [path, bytes] : files) {
    const std::string name = std::filesystem::path(path).filename();
    const std::string arrived = FiledBinFolder() + "/" + name;
    EXPECT_TRUE(WaitUntil(60s, [&] { return ReadIfExists(arrived) == bytes; }))
        << name << ": " << ReadIfExists(arrived).size() << " bytes of " << bytes.size();
  }
  KeepScreen(x.display(), "add_files_from_page_done");
  const std::string queued = SendWords({"--timeout", "5", "TrES", "LQue"}).out;
  EXPECT_NE(queued.find(page.substr(0, page.size() - 9) + "deeper/scan-third.zip"), std::string::npos) << queued;
  EXPECT_EQ(queued.find("scan.html"), std::string::npos) << "the page itself was queued:\n" << queued;
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
}

}  // namespace
