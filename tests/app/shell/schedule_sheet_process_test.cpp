// The queue's schedule in the real program on a real X display, worked with clicks as a
// person would: the toolbar's Schedule button opens the sheet on the main window; "Start
// the queue" checked, after a delay of 0 minutes, OK - the stopped queue starts and the
// waiting download arrives whole.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "tests/app/shell/display_input.h"
#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/servers/test_servers.h"

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

bool QueueRunning() {
  std::string out;
  return Send("--timeout 5 TrES GQSt", out) == 0 && LastLine(out) == "true";
}

// Where the Schedule button stands in the default toolbar, from the main window's
// top-left: the ninth item (after Add, Start, Stop, Edit, Reveal, Remove, a separator and
// Clear Inactive), in the toolbar's row under the menu bar.
constexpr int kScheduleButtonX = 464;
constexpr int kScheduleButtonY = 48;

TEST(ScheduleSheetProcess, TheToolbarButtonOpensTheSheetAndAScheduleSetThereStartsTheQueue) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body(300000, 's');
  testsupport::WriteFile(nginx.WwwDir() + "/scheduled.bin", body);
  WritePreferences({{"Start On Launch", values::Value(false)}});

  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
  std::optional<ScreenBox> main;
  ASSERT_TRUE(WaitUntil(20s, [&] { return (main = FindWindowBox(x.display(), "Truvane")).has_value(); }))
      << WindowTree(x.display());

  // A download waits in the stopped queue.
  std::string out;
  ASSERT_EQ(Send("--timeout 10 TrES AUrl '----:TEXT=http://127.0.0.1:" + std::to_string(nginx.HttpPort()) +
                     "/scheduled.bin' Stqu:bool=false",
                 out),
            0);
  ASSERT_FALSE(QueueRunning());

  KeepScreen(x.display(), "schedule_main_window");
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + std::to_string(main->x + kScheduleButtonX) + "," +
                                         std::to_string(main->y + kScheduleButtonY)}));
  std::optional<ScreenBox> sheet;
  ASSERT_TRUE(WaitUntil(20s, [&] { return (sheet = FindWindowBox(x.display(), "Schedule")).has_value(); }))
      << WindowTree(x.display());
  auto at = [&](int dx, int dy) {
    return std::to_string(sheet->x + dx) + "," + std::to_string(sheet->y + dy);
  };
  KeepScreen(x.display(), "schedule_sheet_opened");
  // "Start the queue", after a delay of 0 minutes as the sheet shows it; OK.
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + at(30, 28)}));
  KeepScreen(x.display(), "schedule_sheet_start_checked");
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + at(460, 222)}));
  EXPECT_TRUE(WaitUntil(20s, [&] { return !FindWindowBox(x.display(), "Schedule"); })) << "OK left the sheet";

  EXPECT_TRUE(WaitUntil(30s, QueueRunning)) << "the schedule did not start the queue";
  EXPECT_TRUE(WaitUntil(60s, [&] { return ReadIfExists(FiledBinFolder() + "/scheduled.bin") == body; }))
      << "the waiting download did not arrive";
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
  // The schedule is stored.
  const values::Value prefs = ReadPreferences();
  const values::Value* stored = prefs.Find("newSchedulesX");
  ASSERT_NE(stored, nullptr);
  const values::Value* start = stored->Find("start");
  EXPECT_TRUE(start != nullptr && start->BoolOr(false));
  std::filesystem::remove(FiledBinFolder() + "/scheduled.bin");
  WritePreferences({});
}

}  // namespace
