// The real program on a real X display draws the main list's own cells: once a download
// from a loopback server has finished, its row's status cell shows the reveal icon beside
// "Completed" - drawn by the cells the program installs with its main list.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/servers/test_servers.h"
#include "tests/support/temp_home.h"

namespace {

using namespace programtest;
using namespace std::chrono_literals;

// The blue of the reveal icon's disc.
constexpr std::array<int, 3> kRevealBlue = {70, 120, 200};

TEST(MainListProcess, FinishedDownloadShowsItsRevealIconInTheStatusCell) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/cells.iso", std::string(20000, 'c'));
  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());

  // The window drawn: most of the screen is no longer the empty root.
  std::optional<ScreenImage> before;
  for (auto deadline = Clock::now() + 20s; Clock::now() < deadline;) {
    before = GrabScreen(x.display());
    if (before && CountPixelsNear(*before, {255, 255, 255}, 10) > 50000) break;
    before.reset();
    std::this_thread::sleep_for(100ms);
  }
  ASSERT_TRUE(before) << WindowTree(x.display());
  const int blueBefore = CountPixelsNear(*before, kRevealBlue, 6);

  const std::string uid = AddAndStart("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/cells.iso");
  ASSERT_FALSE(uid.empty());
  ASSERT_EQ(WaitForFinalStatus(uid, 30s), 256) << Info(uid);

  // The list is redrawn by its refresh timer: look until the icon is there.
  int blueAfter = blueBefore;
  for (auto deadline = Clock::now() + 15s; Clock::now() < deadline && blueAfter - blueBefore < 40;) {
    if (auto after = GrabScreen(x.display())) blueAfter = CountPixelsNear(*after, kRevealBlue, 6);
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_GE(blueAfter - blueBefore, 40) << "no reveal icon drawn in the finished download's status cell";
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
}

}  // namespace
