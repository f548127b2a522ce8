// The real program on a real X display: started under Xvfb on Qt's xcb platform, it opens
// its main window; told to quit by the sender, it ends cleanly and leaves the window's
// layout in its preferences. A key of its menus, pressed as a user would (XTest), reaches
// the application's command handler.
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
#include "tests/support/temp_home.h"

namespace {

using namespace programtest;

// "IsViewable" or "IsUnMapped" for the program's main window; "" when it is not found.
std::string MainWindowMapState(const std::string& display) {
  std::string out;
  const std::string command = "timeout 5 xwininfo -display " + display + " -name Truvane 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  const auto at = out.find("Map State: ");
  if (at == std::string::npos) return {};
  return out.substr(at + 11, out.find('\n', at) - at - 11);
}

// Presses `keys` ("Control_L+1") on the display through the XTest extension, as a user's
// keyboard would; false when that could not be done.
bool PressKeys(const std::string& display, const std::string& keys) {
  const std::string script = testsupport::MakeTempDir("xtest") + "/press.py";
  testsupport::WriteFile(script, R"(import ctypes, sys
x11 = ctypes.CDLL("libX11.so.6"); xtst = ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p; x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XStringToKeysym.restype = ctypes.c_ulong; x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]; x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
d = x11.XOpenDisplay(sys.argv[1].encode())
if not d: sys.exit(2)
codes = [x11.XKeysymToKeycode(d, x11.XStringToKeysym(k.encode())) for k in sys.argv[2].split("+")]
for c in codes: xtst.XTestFakeKeyEvent(d, c, 1, 0)
for c in reversed(codes): xtst.XTestFakeKeyEvent(d, c, 0, 0)
x11.XFlush(d); x11.XCloseDisplay(d)
)");
  // Python alone can take well over ten seconds to start on a loaded machine.
  const std::string command = "timeout 60 python3 '" + script + "' " + display + " '" + keys + "'";
  return std::system(command.c_str()) == 0;
}

TEST(MainWindowProcess, AMenuKeyReachesTheApplicationsCommands) {
  // In both interfaces: the simple one is set while the window is made, before the bar.
  for (bool advanced : {true, false}) {
    SCOPED_TRACE(advanced ? "advanced" : "simple");
    values::Dictionary prefs =
        ReadPreferences().AsDictionary() ? *ReadPreferences().AsDictionary() : values::Dictionary{};
    prefs["advanced_mode"] = values::Value(advanced);
    WritePreferences(prefs);
    VirtualDisplay x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)))
        << ReadIfExists(program.StandardErrorFile());
    auto waitFor = [&](const std::string& state) {
      const auto deadline = Clock::now() + std::chrono::seconds(20);
      while (MainWindowMapState(x.display()) != state && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return MainWindowMapState(x.display()) == state;
    };
    ASSERT_TRUE(waitFor("IsViewable"));
    // Window > Truvane (Ctrl+1): the main window, shown and in front, is hidden - a
    // command that only the application's handler carries out.
    ASSERT_TRUE(PressKeys(x.display(), "Control_L+1"));
    EXPECT_TRUE(waitFor("IsUnMapped")) << MainWindowMapState(x.display());
    EXPECT_TRUE(program.Quit(std::chrono::seconds(30))) << ReadIfExists(program.StandardErrorFile());
  }
  values::Dictionary prefs =
      ReadPreferences().AsDictionary() ? *ReadPreferences().AsDictionary() : values::Dictionary{};
  prefs["advanced_mode"] = values::Value(true);
  WritePreferences(prefs);
}

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
