// The real program on a desktop as a person has it: an X display with a window manager
// (openbox) and a tray (trayer). On a first start the main window's whole frame - title
// bar, menu bar and toolbar - opens inside the screen's available area; closed, it comes
// back from the tray icon, by a click on the icon or by the icon menu's "Show Truvane".
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/shell/display_input.h"
#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/support/temp_home.h"

namespace {

using namespace programtest;
using namespace std::chrono_literals;

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

// A program of the desktop (the window manager, the tray) on the display; killed by its
// PID with the object.
class DesktopProgram {
 public:
  DesktopProgram(const std::string& display, std::vector<std::string> argv) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("DISPLAY", display.c_str(), 1);
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      ::execvp(args[0], args.data());
      ::_exit(127);
    }
  }
  ~DesktopProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

 private:
  pid_t pid_ = -1;
};

template <class F>
bool WaitFor(std::chrono::seconds limit, F condition) {
  for (auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    if (condition()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return condition();
}

// The four numbers of a root property ("_NET_WORKAREA"), or of a window's
// ("_NET_FRAME_EXTENTS": left, right, top, bottom).
std::optional<std::array<int, 4>> FourNumbers(const std::string& display, const std::string& where,
                                              const std::string& property) {
  const std::string out =
      Output("timeout 5 xprop -display " + display + " " + where + " " + property + " 2>/dev/null");
  std::smatch m;
  static const std::regex numbers(R"(=\s*(-?\d+),\s*(-?\d+),\s*(-?\d+),\s*(-?\d+))");
  if (!std::regex_search(out, m, numbers)) return std::nullopt;
  return std::array<int, 4>{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

// The id of the mapped top-level window with this title.
std::string WindowId(const std::string& display, const std::string& title) {
  const std::string out =
      Output("timeout 5 xwininfo -display " + display + " -name '" + title + "' 2>/dev/null");
  std::smatch m;
  static const std::regex id(R"(Window id: (0x[0-9a-f]+))");
  return std::regex_search(out, m, id) ? m[1].str() : std::string();
}

class DesktopProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    // A first start: no saved window place, nothing queued.
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
    values::Dictionary prefs =
        ReadPreferences().AsDictionary() ? *ReadPreferences().AsDictionary() : values::Dictionary{};
    prefs.erase("main window settings");
    prefs["Start On Launch"] = values::Value(false);
    WritePreferences(prefs);
  }
  void TearDown() override {
    values::Dictionary prefs =
        ReadPreferences().AsDictionary() ? *ReadPreferences().AsDictionary() : values::Dictionary{};
    prefs.erase("Start On Launch");
    prefs.erase("main window settings");
    WritePreferences(prefs);
  }

  bool WindowManagerRuns(const std::string& display) {
    return WaitFor(30s, [&] {
      return Output("timeout 5 xprop -display " + display + " -root _NET_SUPPORTING_WM_CHECK 2>/dev/null")
                 .find("window id") != std::string::npos;
    });
  }
  bool MainWindowShown(const std::string& display) {
    return WaitFor(30s, [&] { return FindWindowBox(display, "Truvane").has_value(); });
  }
  bool MainWindowHidden(const std::string& display) {
    return WaitFor(30s, [&] { return !FindWindowBox(display, "Truvane").has_value(); });
  }
};

TEST_F(DesktopProcess, AFirstStartOpensTheWholeFrameInsideTheAvailableArea) {
  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  DesktopProgram wm(x.display(), {"openbox"});
  ASSERT_TRUE(WindowManagerRuns(x.display()));
  // A panel along the top takes 24 pixels of the screen away from the windows.
  DesktopProgram tray(x.display(), {"trayer", "--edge", "top", "--widthtype", "percent", "--width", "100",
                                    "--height", "24", "--SetDockType", "true", "--SetPartialStrut", "true"});
  std::optional<std::array<int, 4>> area;
  ASSERT_TRUE(WaitFor(30s, [&] {
    area = FourNumbers(x.display(), "-root", "_NET_WORKAREA");
    return area && (*area)[1] == 24;
  })) << "the panel's strut was not taken";

  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(60s)) << ReadIfExists(program.StandardErrorFile());
  ASSERT_TRUE(MainWindowShown(x.display())) << WindowTree(x.display());
  const std::string id = WindowId(x.display(), "Truvane");
  ASSERT_FALSE(id.empty());
  // The frame is known once the window manager has framed the window.
  std::optional<std::array<int, 4>> extents;
  ASSERT_TRUE(WaitFor(30s, [&] {
    extents = FourNumbers(x.display(), "-id " + id, "_NET_FRAME_EXTENTS");
    return extents && (*extents)[2] > 0;
  }));
  // The window keeps its place once the frame is known (it may come down once).
  std::optional<ScreenBox> client;
  ASSERT_TRUE(WaitFor(10s, [&] {
    const auto before = FindWindowBox(x.display(), "Truvane");
    std::this_thread::sleep_for(500ms);
    client = FindWindowBox(x.display(), "Truvane");
    return before && client && before->x == client->x && before->y == client->y;
  }));
  KeepScreen(x.display(), "first_start_with_a_window_manager");
  const int left = (*extents)[0], right = (*extents)[1], top = (*extents)[2], bottom = (*extents)[3];
  const int areaX = (*area)[0], areaY = (*area)[1], areaW = (*area)[2], areaH = (*area)[3];
  EXPECT_GE(client->y - top, areaY) << "the title bar is above the available area";
  EXPECT_GE(client->x - left, areaX);
  EXPECT_LE(client->x + client->width + right, areaX + areaW);
  EXPECT_LE(client->y + client->height + bottom, areaY + areaH);
  EXPECT_TRUE(program.Quit(60s)) << ReadIfExists(program.StandardErrorFile());
}

TEST_F(DesktopProcess, TheTrayIconBringsTheClosedMainWindowBack) {
  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  DesktopProgram wm(x.display(), {"openbox"});
  ASSERT_TRUE(WindowManagerRuns(x.display()));
  DesktopProgram tray(x.display(),
                      {"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height",
                       "32", "--SetDockType", "true", "--transparent", "false"});
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(60s)) << ReadIfExists(program.StandardErrorFile());
  ASSERT_TRUE(MainWindowShown(x.display())) << WindowTree(x.display());

  // The icon sits in the tray's panel window ("panel"), alone: its middle is the icon's.
  std::optional<ScreenBox> icon;
  ASSERT_TRUE(WaitFor(30s, [&] {
    icon = FindWindowBox(x.display(), "panel");
    return icon && icon->width >= 16 && icon->height >= 16;
  })) << WindowTree(x.display());
  KeepScreen(x.display(), "tray_with_the_icon");

  struct Step {
    const char* how;
    std::vector<std::string> actions;
  } steps[] = {
      {"a click on the icon",
       {"click:" + std::to_string(icon->CenterX()) + "," + std::to_string(icon->CenterY())}},
      {"Show Truvane in the icon's menu",
       {"rclick:" + std::to_string(icon->CenterX()) + "," + std::to_string(icon->CenterY()), "key:Down",
        "key:Return"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.how);
    // File > Close (Ctrl+W) closes the main window; the program runs on.
    const auto box = FindWindowBox(x.display(), "Truvane");
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + std::to_string(box->CenterX()) + "," +
                                               std::to_string(box->y + box->height - 10),
                                           "key:Control_L+w"}));
    ASSERT_TRUE(MainWindowHidden(x.display())) << "Ctrl+W did not close the main window";
    ASSERT_TRUE(program.WaitUntilAnswering(10s));
    ASSERT_TRUE(ActOnDisplay(x.display(), step.actions));
    EXPECT_TRUE(MainWindowShown(x.display())) << WindowTree(x.display());
    KeepScreen(x.display(),
               std::string("tray_brought_back_by_") + (step.actions.size() == 1 ? "click" : "menu"));
  }
  EXPECT_TRUE(program.Quit(60s)) << ReadIfExists(program.StandardErrorFile());
}

}  // namespace
