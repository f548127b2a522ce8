// The real program on a real X display, driven by the keyboard alone: with the queue not
// running, two downloads from a loopback server wait in My Downloads; Home selects the top
// row of the main list and Return, then the keypad's Enter, starts it - each download
// then completes, byte for byte, while the other stays queued until its own key.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace {

using namespace programtest;
using namespace std::chrono_literals;

long Status(const std::string& uid) {
  std::string out;
  if (Send("--timeout 5 TrES JSta ----:magn=" + uid, out) != 0) return -1;
  return std::strtol(LastLine(out).c_str(), nullptr, 10);
}

// Adds the URL to the queue without starting anything; its UID.
std::string AddOnly(const std::string& url) {
  std::string out;
  if (Send("--timeout 10 TrES AUrl '----:TEXT=" + url + "'", out) != 0) return {};
  return LastLine(out);
}

class MainListKeysProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    // This test's downloads alone in the list, and no queue that starts them by itself.
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
    values::Dictionary prefs =
        ReadPreferences().AsDictionary() ? *ReadPreferences().AsDictionary() : values::Dictionary{};
    prefs["Start On Launch"] = values::Value(false);
    WritePreferences(prefs);
  }
  void TearDown() override {
    values::Dictionary prefs =
        ReadPreferences().AsDictionary() ? *ReadPreferences().AsDictionary() : values::Dictionary{};
    prefs.erase("Start On Launch");
    WritePreferences(prefs);
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
  }
};

TEST_F(MainListKeysProcess, ReturnAndEnterOnTheMainListStartTheSelectedDownload) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string first(300000, 'r'), second(200000, 'e');
  testsupport::WriteFile(nginx.WwwDir() + "/first.iso", first);
  testsupport::WriteFile(nginx.WwwDir() + "/second.iso", second);
  const std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort());

  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
  // The main window on the screen, its list holding the keyboard focus.
  bool shown = false;
  for (auto deadline = Clock::now() + 20s; !shown && Clock::now() < deadline;) {
    shown = WindowTree(x.display()).find("\"Truvane\"") != std::string::npos;
    if (!shown) std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(shown) << WindowTree(x.display());

  const std::string firstUID = AddOnly(base + "/first.iso");
  const std::string secondUID = AddOnly(base + "/second.iso");
  ASSERT_FALSE(firstUID.empty());
  ASSERT_FALSE(secondUID.empty());
  // Queued, and nothing starts them while the queue is not running.
  std::this_thread::sleep_for(500ms);
  ASSERT_EQ(Status(firstUID), 16) << Info(firstUID);
  ASSERT_EQ(Status(secondUID), 16) << Info(secondUID);
  KeepScreen(x.display(), "main_list_keys_queued");

  struct Step {
    const char* key;
    std::string uid, name, body, other;
  } steps[] = {{"Return", firstUID, "first.iso", first, secondUID},
               {"KP_Enter", secondUID, "second.iso", second, ""}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.key);
    // Home selects the top row: queued rows sort above finished ones, so it is the first
    // download, then the second.
    ASSERT_TRUE(PressKeys(x.display(), "Home"));
    ASSERT_TRUE(PressKeys(x.display(), step.key));
    const long final = WaitForFinalStatus(step.uid, 30s);
    // The list redraws its rows on its refresh timer (1.2 s): the picture waits for it.
    if (std::getenv("TRUVANE_SCREENSHOT_DIR")) std::this_thread::sleep_for(1500ms);
    KeepScreen(x.display(), std::string("main_list_keys_after_") + step.key);
    ASSERT_EQ(final, 256) << Info(step.uid);
    EXPECT_EQ(testsupport::ReadFile(DownloadsFolder() + "/" + step.name), step.body);
    if (!step.other.empty()) {
      EXPECT_EQ(Status(step.other), 16) << "only the selected row starts";
    }
  }
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
}

}  // namespace
