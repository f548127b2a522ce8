// The real program on a real X display: started under Xvfb on Qt's xcb platform, it opens
// its main window; told to quit by the sender, it ends cleanly and leaves the window's
// layout in its preferences.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/values/plist.h"
#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"

namespace {

using namespace programtest;

TEST(MainWindowProcess, OpensOnADisplayAndSavesItsLayoutAtQuit) {
  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)))
      << ReadIfExists(program.StandardErrorFile());

  // The main window appears on the display, titled with the program's name.
  bool shown = false;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!shown && Clock::now() < deadline) {
    shown = WindowTree(x.display()).find("\"Truvane\"") != std::string::npos;
    if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(shown) << WindowTree(x.display());

  EXPECT_TRUE(program.Quit(std::chrono::seconds(30))) << ReadIfExists(program.StandardErrorFile());

  auto prefs = values::ReadPropertyListFile(PreferencesFile());
  ASSERT_TRUE(prefs.ok()) << PreferencesFile();
  const values::Value& root = prefs.value();
  for (const char* key : {"hideLeftPane", "hideSearchBar", "was_open_library", "was_open_search_for",
                          "was_open_remote", "was_open_my_folders", "previous_queue_state", "Splitter xpos"})
    EXPECT_NE(root.Find(key), nullptr) << key;
  const values::Value* frame = root.Find("main window settings");
  ASSERT_NE(frame, nullptr);
  std::int64_t width = 0;
  EXPECT_EQ(frame->GetInt64("xsize", width), values::Lookup::kOk);
  EXPECT_GT(width, 400);
  const values::Value* hidden = root.Find("hideLeftPane");
  ASSERT_NE(hidden, nullptr);
  ASSERT_NE(hidden->AsBool(), nullptr);
  EXPECT_FALSE(*hidden->AsBool());
}

}  // namespace
