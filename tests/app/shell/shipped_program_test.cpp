// What the shipped program does with its own start-up, when driven as a user or a script
// drives it: its first-launch flags, the settings that act at quit or without a window,
// the reasons it gives for refusing input, and where its log lines (and never its
// passwords) go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/queue/history/history.h"
#include "platform/values/clock.h"
#include "tests/app/shell/program_process.h"
#include "tests/app/shell/virtual_display.h"
#include "tests/servers/test_servers.h"

namespace {

namespace fs = std::filesystem;
using namespace programtest;

std::string FileOfSize(const std::string& dir, const std::string& name, std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + i % 26);
  testsupport::WriteFile(dir + "/" + name, body);
  return body;
}

// The running program lists every service slot it used, with what it holds. A slot whose
// owner is built must hold the real implementation: a default still there is a service
// that start-up forgot to install, which tests with fakes would never see. A default may
// stand only while its owner is not built, and then the table below names that owner.
// Windows are installed only where there is a display: headless, their slots keep the
// default, and with a display (Qt's "minimal" platform, which draws nowhere but is not
// the headless one) start-up installs them.
const std::vector<std::string> kInstalledWithADisplay = {
    "engine::TransferLogWindowService",
    "ui::ApplicationWindowsService",
    "ui::FolderDialogService",
};

// One line of the report: what the seam holds and who installs it.
struct SeamLine {
  std::string state;
  std::string installer;
};
using ServicesReportLines = std::map<std::string, SeamLine>;

ServicesReportLines ServicesReport(const std::vector<std::pair<std::string, std::string>>& env) {
  const std::string reportFile = testsupport::MakeTempDir("services") + "/report";
  ServicesReportLines report;
  auto withReport = env;
  withReport.emplace_back("TRUVANE_SERVICES_REPORT", reportFile);
  {
    Program program(withReport);
    EXPECT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    // Written once start-up is through, which is after the socket first answers.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!fs::exists(reportFile) && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(program.Quit(std::chrono::seconds(30)));
  }
  std::istringstream lines(ReadIfExists(reportFile));
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    const auto second = line.find('\t', tab + 1);
    EXPECT_TRUE(tab != std::string::npos && second != std::string::npos) << line;
    if (second == std::string::npos) continue;
    report[line.substr(0, tab)] = {line.substr(tab + 1, second - tab - 1), line.substr(second + 1)};
  }
  return report;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Each seam judged by what its list says of it: one installed at start-up (or, with a
// display, one a window installs) holds the real implementation; a pending one still holds
// its default (else take it off the pending list); none is installed by a class derived
// from its do-nothing default, unless the default is what serves.
void ExpectEachSeamAsItsListSays(const ServicesReportLines& report, bool withDisplay) {
  for (const auto& [seam, line] : report) {
    SCOPED_TRACE(seam + ": " + line.state + ", " + line.installer);
    const bool defaultServes = StartsWith(line.installer, "the default serves: ");
    const bool pending = StartsWith(line.installer, "pending on: ");
    const bool atStartUp = line.installer == "at start-up";
    const bool withADisplay = line.installer == "with a display";
    EXPECT_TRUE(defaultServes || pending || atStartUp || withADisplay)
        << "not listed beside its definition with who installs it";
    EXPECT_TRUE(line.state == "installed" || line.state == "default" ||
                line.state == "derived from its default");
    if (line.state == "derived from its default") {
      EXPECT_TRUE(defaultServes)
          << "installed by a class derived from the do-nothing default: derive it from "
             "the interface, so every call is written";
    }
    if (atStartUp || (withADisplay && withDisplay)) {
      EXPECT_EQ(line.state, "installed") << "its owner is built, but start-up leaves the default";
    }
    if (pending) {
      EXPECT_EQ(line.state, "default") << "installed now: it is no longer pending";
    }
  }
}

TEST(ShippedProgram, WithADisplayStartUpInstallsTheWindows) {
  auto report = ServicesReport({{"QT_QPA_PLATFORM", "minimal"}});
  ASSERT_FALSE(report.empty()) << "no services report";
  for (const std::string& slot : kInstalledWithADisplay) EXPECT_EQ(report[slot].state, "installed") << slot;
}

// With a display the main window gets its toolbar at start-up, and the quit writes whether
// it shows: as it was left ("Show toolbar" false stays false), shown by default.
TEST(ShippedProgram, WithADisplayTheToolbarIsMadeAndItsStateKept) {
  for (const std::optional<bool> stored : {std::optional<bool>(), std::optional<bool>(false)}) {
    values::Dictionary prefs;
    if (stored) prefs["Show toolbar"] = values::Value(*stored);
    WritePreferences(prefs);
    {
      Program program(std::vector<std::pair<std::string, std::string>>{{"QT_QPA_PLATFORM", "minimal"}});
      ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
      ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
    }
    const values::Value saved = ReadPreferences();
    const values::Value* shown = saved.Find("Show toolbar");
    ASSERT_TRUE(shown && shown->AsBool()) << "the quit wrote no toolbar state";
    EXPECT_EQ(*shown->AsBool(), stored.value_or(true));
  }
}

TEST(ShippedProgram, StartUpInstallsEveryServiceWhoseOwnerIsBuilt) {
  const std::vector<std::string> installed = {
      "ui::MainListServices",         "ui::LocalPaneHostsService",    "sharing::ReceivedFilesService",
      "upload::ReceivedFilesArchive", "sharing::SharedReceivedFiles", "engine::PeerSessionService",
  };
  const ServicesReportLines report = ServicesReport({});
  ASSERT_FALSE(report.empty()) << "no services report";
  for (const std::string& slot : installed) {
    ASSERT_EQ(report.count(slot), 1u) << slot << " is not reported";
    EXPECT_EQ(report.at(slot).state, "installed") << slot << ": start-up does not install it";
  }
  // Hook members are reported one by one, as "<struct>.<member>".
  EXPECT_EQ(report.count("shell::ShellHooks.createMainWindow"), 1u);
  ExpectEachSeamAsItsListSays(report, false);
}

// On a real X display every seam a window installs is installed too.
TEST(ShippedProgram, OnAnXDisplayEverySeamHoldsWhatItsListSays) {
  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  const ServicesReportLines report = ServicesReport({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_FALSE(report.empty()) << "no services report";
  for (const std::string& slot : kInstalledWithADisplay)
    EXPECT_EQ(report.at(slot).state, "installed") << slot;
  ExpectEachSeamAsItsListSays(report, true);
}

// The first launch runs the smart folders' first-launch steps and marks each as done: the
// type folders are in the saved queue and both flags are set.
TEST(ShippedProgram, FirstLaunchStepsRunAndAreMarked) {
  fs::remove(QueueFile());
  WritePreferences({});
  {
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
  }
  const values::Value prefs = ReadPreferences();
  ASSERT_NE(prefs.Find("last location"), nullptr) << "the preferences were not written";
  for (const char* flag : {"DemoSmartFoldersAddedv5", "InitialImport"}) {
    const values::Value* value = prefs.Find(flag);
    EXPECT_TRUE(value != nullptr && value->BoolOr(false)) << flag;
  }
  auto queue = values::ReadPropertyListFile(QueueFile());
  ASSERT_TRUE(queue.ok());
  const values::Array* folders = nullptr;
  ASSERT_EQ(queue->GetArray("Folders", folders), values::Lookup::kOk);
  std::set<std::int64_t> ids;
  for (const auto& f : *folders) {
    std::int64_t id = 0;
    if (f.GetInt64("UID", id) == values::Lookup::kOk && f.Find("predicate") != nullptr) ids.insert(id);
  }
  for (std::int64_t id = 0x400001; id <= 0x400006; ++id) EXPECT_TRUE(ids.count(id)) << std::hex << id;
}

// "remove when" 3 takes the finished downloads out of the list at quit; other values keep
// them.
TEST(ShippedProgram, RemoveWhenThreeClearsFinishedDownloadsAtQuit) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  FileOfSize(nginx.WwwDir(), "done.bin", 20000);
  const std::string url = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/done.bin";
  struct Case {
    int removeWhen;
    bool keptAfterQuit;
  };
  for (const Case c : {Case{1, true}, Case{3, false}}) {
    fs::remove(QueueFile());
    WritePreferences({{"remove when", values::Value(c.removeWhen)}});
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    const std::string uid = AddAndStart(url);
    ASSERT_FALSE(uid.empty());
    ASSERT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256) << c.removeWhen;
    // Still listed while the program runs.
    EXPECT_NE(("\n" + SendWords({"--timeout", "10", "TrES", "GetQ"}).out).find("\n" + uid + "\n"),
              std::string::npos);
    ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));

    ASSERT_TRUE(fs::exists(QueueFile()));
    // The download leaves My Downloads; its history entry keeps it in the queue.
    EXPECT_TRUE(SavedRecord(uid).has_value()) << "remove when " << c.removeWhen;
    bool listed = false;
    auto queue = values::ReadPropertyListFile(QueueFile());
    ASSERT_TRUE(queue.ok());
    const values::Array* folders = nullptr;
    ASSERT_EQ(queue->GetArray("Folders", folders), values::Lookup::kOk);
    for (const auto& f : *folders) {
      std::int64_t id = 0;
      const values::Array* items = nullptr;
      if (f.GetInt64("UID", id) != values::Lookup::kOk || id != 1 ||
          f.GetArray("items", items) != values::Lookup::kOk)
        continue;
      for (const auto& item : *items) listed = listed || std::to_string(item.Int64Or(0)) == uid;
    }
    EXPECT_EQ(listed, c.keptAfterQuit) << "remove when " << c.removeWhen;
    EXPECT_TRUE(fs::exists(FiledBinFolder() + "/done.bin"));
    fs::remove(FiledBinFolder() + "/done.bin");
  }
}

// The History days left expanded are written at quit and read at the next start: the days
// of the history as it is then, so one that no longer lists anything is not kept.
TEST(ShippedProgram, ExpandedHistoryDaysAreKeptFromQuitToStart) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  FileOfSize(nginx.WwwDir(), "day.bin", 20000);
  fs::remove(QueueFile());
  WritePreferences({});
  {
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    const std::string uid = AddAndStart("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/day.bin");
    ASSERT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256);
    ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
  }
  const std::int64_t today = queue::GetDayStart(values::Now());
  const std::int64_t longAgo = today - 400 * 86400;
  WritePreferences({{"historyOpen", values::Value(values::Array{values::Number::Int64(today),
                                                                values::Number::Int64(longAgo)})}});
  {
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
  }
  const values::Value prefs = ReadPreferences();
  const values::Array* open = nullptr;
  ASSERT_EQ(prefs.GetArray("historyOpen", open), values::Lookup::kOk);
  EXPECT_EQ(*open, (values::Array{values::Number::Int64(today)}));
  fs::remove(FiledBinFolder() + "/day.bin");
  fs::remove(QueueFile());
  WritePreferences({});
}

// "downloadMode" 2 asks where to save; with no window to ask in, the download goes to the
// default download folder instead of being dropped.
TEST(ShippedProgram, AskWhereToSaveWithoutAWindowUsesTheDownloadFolder) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  const std::string body = FileOfSize(nginx.WwwDir(), "asked.bin", 30000);
  WritePreferences({{"downloadMode", values::Value(2)}});
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
  const std::string uid = AddAndStart("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/asked.bin");
  ASSERT_FALSE(uid.empty()) << "the hand-off was dropped";
  ASSERT_NE(uid, "0");
  EXPECT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256);
  EXPECT_TRUE(program.Quit(std::chrono::seconds(30)));
  EXPECT_EQ(ReadIfExists(FiledBinFolder() + "/asked.bin"), body);
}

// Input a hand-off refuses is refused with its reason: the sender prints it on standard
// error and fails, and the transfer log keeps it.
TEST(ShippedProgram, RefusedURLsSayWhyToTheSenderAndInTheLog) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"gopher://127.0.0.1/x", "URLs must start with http://, https://, ftp:// or ftps://"},
      {"", "The url entered is invalid."},
  };
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
  for (const Case& c : cases) {
    const SendResult r =
        SendWords({"--timeout", "10", "TrES", "AUrl", std::string("----:TEXT=") + c.text, "Stqu:bool=false"});
    EXPECT_NE(r.status, 0) << c.text;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.text << ": " << r.err;
  }
  // A good URL after a refused one is still added and answered; the reason still comes back.
  const SendResult mixed = SendWords({"--timeout", "10", "TrES", "AUrl", "----:TEXT=gopher://127.0.0.1/y",
                                      "----:TEXT=http://127.0.0.1:9/a.bin", "Stqu:bool=false"});
  EXPECT_NE(mixed.status, 0);
  EXPECT_NE(mixed.err.find(cases[0].reason), std::string::npos) << mixed.err;
  ASSERT_EQ(mixed.out.substr(0, 2), "0\n") << mixed.out;
  EXPECT_GT(std::strtoul(LastLine(mixed.out).c_str(), nullptr, 10), 0ul) << mixed.out;
  ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
  const std::string log = ReadIfExists(LogFile());
  EXPECT_NE(log.find(cases[0].reason), std::string::npos) << log;
}

// The queue's own lines reach the transfer log file, and no password - of a URL, or of the
// Authorization header built from it - reaches any log file or standard error.
TEST(ShippedProgram, QueueLinesAreLoggedAndPasswordsAreNot) {
  testservers::ScriptedHttpServer server;
  ASSERT_TRUE(server.ok());
  const std::string secret = testservers::ScriptedHttpServer::kPassword;
  // "user:secret" in Base64, as a Basic Authorization header carries it.
  const std::string basic = "dXNlcjpzZWNyZXQ=";
  const std::string url = "http://user:" + secret + "@127.0.0.1:" + std::to_string(server.Port()) + "/basic";
  std::string stderrFile;
  {
    Program program;
    stderrFile = program.StandardErrorFile();
    ASSERT_TRUE(program.WaitUntilAnswering(std::chrono::seconds(30)));
    const std::string uid = AddAndStart(url);
    ASSERT_FALSE(uid.empty());
    EXPECT_EQ(WaitForFinalStatus(uid, std::chrono::seconds(60)), 256);
    ASSERT_TRUE(program.Quit(std::chrono::seconds(30)));
  }
  const std::string log = ReadIfExists(LogFile());
  EXPECT_NE(log.find("Download of http://user:"), std::string::npos) << log;
  EXPECT_NE(log.find(" starting"), std::string::npos) << log;

  std::vector<std::string> places = {stderrFile};
  for (const auto& entry : fs::recursive_directory_iterator(testsupport::TempHome() + "/.local/state"))
    if (entry.is_regular_file()) places.push_back(entry.path());
  for (const std::string& place : places) {
    const std::string text = ReadIfExists(place);
    EXPECT_EQ(text.find(secret), std::string::npos) << place << ":\n" << text;
    EXPECT_EQ(text.find(basic), std::string::npos) << place << ":\n" << text;
  }
}

}  // namespace
