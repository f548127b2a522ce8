// Server favourites through the real program: a favourite of the older stored form (its
// password scrambled in the preferences) is converted at the first start, its password then
// kept only enciphered under the keychain's key; both starts connect it at start-up to
// vsftpd and list the server's folder, so the password read back logs in. The first start has
// a main window, the second none.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "tests/app/shell/program_process.h"
#include "tests/servers/ftp_test_servers.h"

namespace {

using namespace programtest;

int CountCommands(const testservers::VsftpdServer& server, const std::string& verb) {
  const auto commands = server.Commands();
  return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                        [&](const std::string& c) { return c.starts_with(verb); }));
}

bool WaitForCommands(const testservers::VsftpdServer& server, const std::string& verb, int count,
                     std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (CountCommands(server, verb) >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST(FavouritesProcess, AFavouriteConnectsAtStartWithItsPasswordFromTheKeychainAfterARestart) {
  testservers::VsftpdServer::Options options;
  options.log_protocol = true;
  testservers::VsftpdServer server(options);
  ASSERT_TRUE(server.ok());
  server.PutFile("listed.txt", "x");

  values::Bytes scrambled;
  for (std::size_t i = 0; i < server.Password().size(); ++i)
    scrambled.push_back(static_cast<std::uint8_t>(server.Password()[i] ^ ((23 + 17 * i) % 127)));
  values::Dictionary entry{{"address", values::Value("127.0.0.1:" + std::to_string(server.Port()))},
                           {"user", values::Value(server.User())},
                           {"hostType", values::Value(1)},
                           {"autoconnect", values::Value(true)},
                           {"data", values::Value(values::Data{scrambled})}};
  values::Dictionary favourites{{"Local server", values::Value(entry)}};
  WritePreferences({{"Favouritesv2", values::Value(favourites)}, {"Start On Launch", false}});

  {
    // With a window: the connection's row goes under Remote Servers and follows the host.
    Program first(std::vector<std::pair<std::string, std::string>>{{"QT_QPA_PLATFORM", "minimal"}});
    ASSERT_TRUE(first.WaitUntilAnswering(std::chrono::seconds(30)));
    // Connected a few seconds after start-up, and the login's folder listed.
    ASSERT_TRUE(WaitForCommands(server, "LIST", 1, std::chrono::seconds(30)));
    std::string out;
    ASSERT_EQ(Send("--timeout 10 TrES LiFv", out), 0);
    EXPECT_NE(out.find("Local server"), std::string::npos) << out;
    EXPECT_NE(out.find("Connected:Yes"), std::string::npos) << out;
    ASSERT_TRUE(first.Quit(std::chrono::seconds(30)));
  }

  const std::string prefs = testsupport::ReadFile(PreferencesFile());
  EXPECT_NE(prefs.find("<key>edata</key>"), std::string::npos) << prefs;
  EXPECT_EQ(prefs.find("<key>data</key>"), std::string::npos) << "the older password field stayed";
  EXPECT_EQ(prefs.find(server.Password()), std::string::npos)
      << "the password is in the preferences in clear";

  const int listedBefore = CountCommands(server, "LIST");
  Program second;
  ASSERT_TRUE(second.WaitUntilAnswering(std::chrono::seconds(30)));
  EXPECT_TRUE(WaitForCommands(server, "LIST", listedBefore + 1, std::chrono::seconds(30)))
      << "the favourite did not log in with the password read back";
  EXPECT_TRUE(second.Quit(std::chrono::seconds(30)));
  EXPECT_EQ(testsupport::ReadFile(PreferencesFile()).find(server.Password()), std::string::npos);
}

}  // namespace
