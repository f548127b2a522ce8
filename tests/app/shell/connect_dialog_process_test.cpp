// Connecting to a server through the connect dialog of the real program on a real X
// display, worked with keys and clicks as a person would: File > Connect to Server (Ctrl+K),
// FTP chosen, a loopback vsftpd's address, user and password typed, the connection kept
// in My Servers under a name, Connect - the server sees the login and a listing. After a
// restart the saved server is offered in the dialog's pop-up and connects again with the
// password it was saved with.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "tests/app/shell/display_input.h"
#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/servers/ftp_test_servers.h"

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

int CountCommands(const testservers::VsftpdServer& server, const std::string& verb) {
  const auto commands = server.Commands();
  return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                        [&](const std::string& c) { return c.starts_with(verb); }));
}

std::string At(const ScreenBox& box, int dx, int fromBottom) {
  return "click:" + std::to_string(box.x + dx) + "," + std::to_string(box.y + box.height - fromBottom);
}

// The dialog's bottom row: "Add to My Servers" at the left, Connect at the right, 31 pixels
// above the window's bottom edge.
std::string SaveButton(const ScreenBox& dialog) {
  return At(dialog, 100, 31);
}
std::string ConnectButton(const ScreenBox& dialog) {
  return At(dialog, dialog.width - 60, 31);
}

std::optional<ScreenBox> OpenDialog(const std::string& display) {
  std::optional<ScreenBox> dialog;
  if (!ActOnDisplay(display, {"key:Control_L+k"})) return std::nullopt;
  WaitUntil(15s, [&] { return (dialog = FindWindowBox(display, "Connect to Server")).has_value(); });
  return dialog;
}

TEST(ConnectDialogProcess, AServerTypedInIsConnectedSavedAndConnectedAgainAfterARestart) {
  testservers::VsftpdServer::Options options;
  options.log_protocol = true;
  testservers::VsftpdServer server(options);
  ASSERT_TRUE(server.ok());
  server.PutFile("listed.txt", "x");
  const std::string address = "127.0.0.1:" + std::to_string(server.Port());
  WritePreferences({{"Start On Launch", false}});

  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const std::vector<std::pair<std::string, std::string>> env{{"DISPLAY", x.display()},
                                                             {"QT_QPA_PLATFORM", "xcb"}};
  {
    Program program(env);
    ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
    ASSERT_TRUE(WaitUntil(20s, [&] { return FindWindowBox(x.display(), "Truvane").has_value(); }))
        << WindowTree(x.display());
    const auto dialog = OpenDialog(x.display());
    ASSERT_TRUE(dialog) << WindowTree(x.display());
    KeepScreen(x.display(), "connect_dialog_opened");
    // The server box has the focus; the protocol pop-up is just before it: Down goes from
    // the copy of the program to FTP.
    ASSERT_TRUE(
        ActOnDisplay(x.display(), {"key:Shift_L+Tab", "key:Down", "key:Tab", "type:" + address, "key:Tab",
                                   "type:" + server.User(), "key:Tab", "type:" + server.Password()}));
    KeepScreen(x.display(), "connect_dialog_typed");
    ASSERT_TRUE(ActOnDisplay(x.display(), {SaveButton(*dialog)}));
    ASSERT_TRUE(WaitUntil(10s, [&] { return FindWindowBox(x.display(), "Add to My Servers").has_value(); }))
        << WindowTree(x.display());
    ASSERT_TRUE(ActOnDisplay(x.display(), {"type:Loopback files", "key:Return"}));
    std::string listed;
    ASSERT_TRUE(WaitUntil(15s, [&] {
      Send("--timeout 5 TrES LiFv", listed);
      return listed.find("Loopback files") != std::string::npos;
    })) << listed;
    KeepScreen(x.display(), "connect_dialog_saved");

    ASSERT_TRUE(ActOnDisplay(x.display(), {ConnectButton(*dialog)}));
    EXPECT_TRUE(WaitUntil(30s, [&] { return CountCommands(server, "LIST") >= 1; }))
        << "the typed login did not list the server";
    EXPECT_TRUE(WaitUntil(10s, [&] { return !FindWindowBox(x.display(), "Connect to Server").has_value(); }))
        << "the dialog stayed after connecting";
    KeepScreen(x.display(), "connect_dialog_connected");
    ASSERT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
  }
  EXPECT_EQ(testsupport::ReadFile(PreferencesFile()).find(server.Password()), std::string::npos)
      << "the password is in the preferences in clear";

  const int listedBefore = CountCommands(server, "LIST");
  Program again(env);
  ASSERT_TRUE(again.WaitUntilAnswering(30s)) << ReadIfExists(again.StandardErrorFile());
  ASSERT_TRUE(WaitUntil(20s, [&] { return FindWindowBox(x.display(), "Truvane").has_value(); }));
  const auto dialog = OpenDialog(x.display());
  ASSERT_TRUE(dialog) << WindowTree(x.display());
  // The favourites pop-up is first in the window: "None", then the saved server.
  ASSERT_TRUE(ActOnDisplay(x.display(), {"key:Shift_L+Tab", "key:Shift_L+Tab", "key:Down"}));
  KeepScreen(x.display(), "connect_dialog_favourite_chosen");
  ASSERT_TRUE(ActOnDisplay(x.display(), {ConnectButton(*dialog)}));
  EXPECT_TRUE(WaitUntil(30s, [&] { return CountCommands(server, "LIST") > listedBefore; }))
      << "the saved server did not connect with its saved login";
  EXPECT_TRUE(again.Quit(30s)) << ReadIfExists(again.StandardErrorFile());
}

}  // namespace
