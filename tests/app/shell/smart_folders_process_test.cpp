// Smart folders in the real program. Headless: a finished .zip from a loopback server is
// listed under Today and Applications by the sender's folder listing, and again right
// after the next start. On a real X display: New Smart Folder from the action menu, a rule
// typed into the rule editor, OK - the new folder lists the matching downloads; the same
// folder edited from the source list's menu follows its new rule.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
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

constexpr std::uint32_t kToday = 200;
constexpr std::uint32_t kYesterday = 201;
constexpr std::uint32_t kApplications = 0x400001;
constexpr std::uint32_t kDocuments = 0x400002;

// The download UIDs the folder lists, by the sender's folder listing.
std::set<std::string> FolderItems(std::uint32_t folder) {
  std::string out;
  std::set<std::string> uids;
  if (Send("--timeout 5 TrES LFoc ----:magn=" + std::to_string(folder), out) != 0) return uids;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (const auto tab = line.find('\t'); tab != std::string::npos) uids.insert(line.substr(0, tab));
  return uids;
}

// Polls until `done` holds or the time runs out; whether it held.
bool WaitUntil(std::chrono::seconds limit, const std::function<bool()>& done) {
  for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    if (done()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return done();
}

class SmartFoldersProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove(QueueFile(), ec);
  }

  // Adds the file's URL, starts the queue and waits until the download is complete.
  static std::string Download(const testservers::NginxServer& nginx, const std::string& name) {
    const std::string uid = AddAndStart("http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/" + name);
    EXPECT_FALSE(uid.empty()) << name;
    EXPECT_EQ(WaitForFinalStatus(uid, 60s), 256) << Info(uid);
    return uid;
  }
};

TEST_F(SmartFoldersProcess, AFinishedZipIsListedUnderTodayAndApplicationsAfterEveryStart) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/tool.zip", std::string(30000, 'z'));
  testsupport::WriteFile(nginx.WwwDir() + "/notes.txt", std::string(2000, 'n'));
  std::string zip, txt;
  {
    Program program;
    ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
    zip = Download(nginx, "tool.zip");
    txt = Download(nginx, "notes.txt");
    const std::set<std::string> both{zip, txt}, zipOnly{zip};
    EXPECT_TRUE(WaitUntil(15s, [&] { return FolderItems(kToday) == both; }))
        << FolderItems(kToday).size() << " under Today";
    EXPECT_TRUE(WaitUntil(15s, [&] { return FolderItems(kApplications) == zipOnly; }))
        << FolderItems(kApplications).size() << " under Applications";
    EXPECT_TRUE(FolderItems(kDocuments).empty());
    EXPECT_TRUE(FolderItems(kYesterday).empty());
    ASSERT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
  }
  // Right after the next start, before anything else was asked of the folders.
  Program program;
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
  EXPECT_EQ(FolderItems(kApplications), std::set<std::string>{zip});
  EXPECT_EQ(FolderItems(kToday), (std::set<std::string>{zip, txt}));
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
}

// The id of the user folder listed under this name, or 0.
std::uint32_t FolderNamed(const std::string& name) {
  std::string out;
  if (Send("--timeout 5 TrES LFol", out) != 0) return 0;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto id = line.find("id:");
    const auto tab = line.rfind('\t');
    if (id != std::string::npos && tab != std::string::npos && line.substr(tab + 1) == name)
      return static_cast<std::uint32_t>(std::strtoul(line.c_str() + id + 3, nullptr, 10));
  }
  return 0;
}

// Clicks at a point and waits for a menu to pop up near it; the lines of its items (none
// when the menu is there but its items could not be read off the screen). False when no
// menu came.
bool PopUpMenuAt(const std::string& display, const std::string& click, int x, int y,
                 std::vector<ScreenBox>* lines = nullptr) {
  std::optional<ScreenImage> before = GrabScreen(display);
  if (!before || !ActOnDisplay(display, {click + ":" + std::to_string(x) + "," + std::to_string(y)}))
    return false;
  return WaitUntil(10s, [&] {
    const std::optional<ScreenImage> after = GrabScreen(display);
    if (!after) return false;
    const auto box = ChangedBoxNear(*before, *after, x, y, 400);
    if (!box || box->height < 40 || box->width < 60) return false;
    if (lines == nullptr) return true;
    *lines = TextLinesIn(*after, *box);
    return lines->size() >= 2;
  });
}

// The source list's selected row, by its highlight (the list focused or not).
std::optional<ScreenBox> SelectedSourceRow(const std::string& display, const ScreenBox& main) {
  const auto screen = GrabScreen(display);
  if (!screen) return std::nullopt;
  const ScreenBox pane{main.x + 2, std::max(0, main.y) + 40, 150, main.height - 80};
  if (auto band = ColourBandIn(*screen, pane, {61, 126, 205}, 40)) return band;
  return ColourBandIn(*screen, pane, {170, 178, 190}, 40);
}

// Opens the selected source row's menu and chooses its third item, Edit Smart Folder.
bool EditSelectedFolder(const std::string& display, const ScreenBox& main) {
  const auto row = SelectedSourceRow(display, main);
  return row && PopUpMenuAt(display, "rclick", main.x + 60, row->CenterY()) &&
         ActOnDisplay(display, {"key:Down", "key:Down", "key:Down", "key:Return"});
}

TEST_F(SmartFoldersProcess, RuleEditorMakesAndChangesASmartFolder) {
  testservers::NginxServer nginx;
  ASSERT_TRUE(nginx.ok());
  testsupport::WriteFile(nginx.WwwDir() + "/annual-report.pdf", std::string(1536 * 1024, 'a'));
  testsupport::WriteFile(nginx.WwwDir() + "/report-notes.txt", std::string(4000, 'r'));
  testsupport::WriteFile(nginx.WwwDir() + "/disk.iso", std::string(2048 * 1024, 'd'));
  VirtualDisplay x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  Program program({{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}});
  ASSERT_TRUE(program.WaitUntilAnswering(30s)) << ReadIfExists(program.StandardErrorFile());
  const std::string report = Download(nginx, "annual-report.pdf");
  const std::string notes = Download(nginx, "report-notes.txt");
  const std::string disk = Download(nginx, "disk.iso");

  std::optional<ScreenBox> main;
  ASSERT_TRUE(WaitUntil(20s, [&] { return (main = FindWindowBox(x.display(), "Truvane")).has_value(); }))
      << WindowTree(x.display());

  // The action menu under the source list: its second item is New Smart Folder.
  std::vector<ScreenBox> actionItems;
  ASSERT_TRUE(PopUpMenuAt(x.display(), "click", main->x + 13, main->y + main->height - 11, &actionItems))
      << "the action menu did not open";
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + std::to_string(actionItems[1].x + 40) + "," +
                                         std::to_string(actionItems[1].CenterY())}));
  std::optional<ScreenBox> editor;
  ASSERT_TRUE(WaitUntil(20s, [&] {
    return (editor = FindWindowBox(x.display(), "New Smart Folder")).has_value();
  })) << WindowTree(x.display());

  // One name row, "contains" chosen: the name's field, then OK.
  ASSERT_TRUE(ActOnDisplay(
      x.display(),
      {"click:" + std::to_string(editor->x + 470) + "," + std::to_string(editor->y + 56), "type:report",
       "click:" + std::to_string(editor->x + 640 - 64) + "," + std::to_string(editor->y + 125 - 30)}));
  std::uint32_t folder = 0;
  ASSERT_TRUE(WaitUntil(20s, [&] { return (folder = FolderNamed("Untitled")) != 0; }));
  EXPECT_TRUE(WaitUntil(10s,
                        [&] {
                          return FolderItems(folder) == std::set<std::string>{report, notes};
                        }))
      << FolderItems(folder).size() << " listed";
  KeepScreen(x.display(), "rule_editor_new_folder");

  // The new folder's row is selected, its name being edited: Return keeps "Untitled".
  const std::string editing = "Editing smart folder \"Untitled\"";
  ASSERT_TRUE(ActOnDisplay(x.display(), {"key:Return"}));
  ASSERT_TRUE(WaitUntil(10s, [&] { return SelectedSourceRow(x.display(), *main).has_value(); }));
  ASSERT_TRUE(EditSelectedFolder(x.display(), *main));
  ASSERT_TRUE(WaitUntil(20s, [&] { return (editor = FindWindowBox(x.display(), editing)).has_value(); }))
      << WindowTree(x.display());
  auto at = [&](int dx, int dy) {
    return std::to_string(editor->x + dx) + "," + std::to_string(editor->y + dy);
  };
  // The row becomes a size row (the kind pop-up's next item), "is at least" (two items up
  // from "is"), 1, in MB as it stands; OK.
  ASSERT_TRUE(ActOnDisplay(
      x.display(), {"click:" + at(87, 56), "key:Down", "key:Return", "click:" + at(228, 56), "key:Up",
                    "key:Up", "key:Return", "click:" + at(334, 56), "type:1", "click:" + at(576, 95)}));
  EXPECT_TRUE(WaitUntil(20s,
                        [&] {
                          return FolderItems(folder) == std::set<std::string>{report, disk};
                        }))
      << FolderItems(folder).size() << " listed";
  EXPECT_TRUE(WaitUntil(10s, [&] { return !FindWindowBox(x.display(), editing); }));

  // Once more, with two rows added by the first row's "+": the window grows by a row each;
  // Cancel leaves the rule alone.
  ASSERT_TRUE(EditSelectedFolder(x.display(), *main));
  ASSERT_TRUE(WaitUntil(20s, [&] { return (editor = FindWindowBox(x.display(), editing)).has_value(); }));
  const int oneRow = editor->height;
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + at(618, 56), "click:" + at(618, 56)}));
  EXPECT_TRUE(WaitUntil(10s,
                        [&] {
                          editor = FindWindowBox(x.display(), editing);
                          return editor && editor->height == oneRow + 50;
                        }))
      << (editor ? editor->height : 0) << " high, from " << oneRow;
  KeepScreen(x.display(), "rule_editor_three_rows");
  ASSERT_TRUE(editor);
  ASSERT_TRUE(ActOnDisplay(x.display(), {"click:" + at(640 - 168, editor->height - 30)}));
  EXPECT_TRUE(WaitUntil(10s, [&] { return !FindWindowBox(x.display(), editing); }));
  EXPECT_EQ(FolderItems(folder), (std::set<std::string>{report, disk}));
  // The editor's window is gone before the toolkit is: the quit ends cleanly.
  EXPECT_TRUE(program.Quit(30s)) << ReadIfExists(program.StandardErrorFile());
}

}  // namespace
