// The application's own commands as a table of what each does to the settings, the
// windows and the queue; the quit rule; the tray menu as data; the services' lines; and
// the worker events of the server activity window.
#include "app/shell/application_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/engine/limits/limit_settings.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/shell/application_event_handler.h"
#include "app/shell/application_services.h"
#include "app/shell/confirmation_alerts.h"
#include "app/shell/dock_menu.h"
#include "app/shell/main_menu_bar.h"
#include "app/shell/quit_warning_window.h"
#include "app/ui/small_windows/server_activity_window.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/default_settings.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/prefs/preference_store.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"
#include "tests/fakes/fake_main_list.h"
#include "tests/fakes/fake_workspace.h"
#include "tests/support/temp_home.h"

namespace shell {
namespace {

using values::FourCC;

class ApplicationCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    util::RegisterEnglishTexts();
    util::SetSettingsPreferences(&store);
    util::RegisterDefaultSettings();
    util::LoadPreferences(false);
    auto list = std::make_unique<FakeMainList>();
    mainList = list.get();
    ui::MainListServicesSlot::Set(std::move(list));
    target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
    handler = InstallApplicationEventHandler(*target);
  }
  void TearDown() override {
    queue::gActiveDownloads.clear();
    queue::gQueueRunning = false;
    if (auto w = CurrentQuitWarningWindow()) w->Release();
    if (auto* w = ui::ServerActivityWindow()) w->Release();
    ui::ForgetServerTransfers();
    ui::MainListServicesSlot::Set(nullptr);
    util::SetSettingsPreferences(nullptr);
    util::LoadPreferences(false);
  }
  runtime::Status Command(toolbox::FourCharCode command) {
    auto event = toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, {command});
    return runtime::SendEventToEventTarget(*event, *target);
  }
  values::Value Stored(const char* key) { return store.CopyValue(key).value_or(values::Value()); }
  bool StoredBool(const char* key) {
    const values::Value v = Stored(key);
    EXPECT_TRUE(v.AsBool()) << key << " is not stored";
    return v.AsBool() && *v.AsBool();
  }
  std::int64_t StoredLimit(const char* key, const char* field) {
    std::int64_t v = -1;
    Stored(key).GetInt64(field, v);
    return v;
  }

  prefs::PreferenceStore store{testsupport::MakeTempDir("prefs")};
  FakeMainList* mainList = nullptr;
  std::shared_ptr<runtime::EventTarget> target;
  runtime::HandlerRef handler;
};

TEST(QuitRule, WarnsOnlyWhileSomethingMovesAndTheSettingsAsk) {
  const struct {
    bool receiving, uploading, downloading, warnOnQuit, onlyIfDownloading;
    QuitDecision decision;
  } cases[] = {
      {false, false, false, true, false, QuitDecision::kQuitNow},  // idle never warns
      {false, false, false, true, true, QuitDecision::kQuitNow},
      {false, false, true, false, false, QuitDecision::kQuitNow},  // the warning is off
      {false, false, true, true, false, QuitDecision::kWarn},
      {false, false, true, true, true, QuitDecision::kWarn},
      {false, true, false, true, true, QuitDecision::kQuitNow},  // only uploads, only-if-downloading
      {false, true, false, true, false, QuitDecision::kWarn},
      {true, false, false, true, false, QuitDecision::kWarn},
      {true, false, false, true, true, QuitDecision::kQuitNow},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecideQuit(c.receiving, c.uploading, c.downloading, c.warnOnQuit, c.onlyIfDownloading),
              c.decision)
        << c.receiving << c.uploading << c.downloading << c.warnOnQuit << c.onlyIfDownloading;
}

TEST_F(ApplicationCommandsTest, QuitWithARunningDownloadShowsTheWarningOnce) {
  store.Set("warnonquit", values::Value(true));
  queue::gActiveDownloads = {42};
  EXPECT_EQ(Command(FourCC("quit")), runtime::kNoErr);
  auto warning = CurrentQuitWarningWindow();
  ASSERT_TRUE(warning);
  EXPECT_TRUE(warning->IsVisible());
  Command(FourCC("quit"));
  EXPECT_EQ(CurrentQuitWarningWindow(), warning) << "a second quit brings the same window forward";
  // Cancel: the quit is abandoned, the next one asks afresh.
  warning->ProcessCommand(toolbox::kCommandCancel);
  EXPECT_EQ(CurrentQuitWarningWindow(), nullptr);
}

TEST_F(ApplicationCommandsTest, QuitWithNothingRunningEndsTheLoopWithoutAWarning) {
  store.Set("warnonquit", values::Value(true));
  Command(FourCC("quit"));
  EXPECT_EQ(CurrentQuitWarningWindow(), nullptr);
  // The quit was asked for before the loop ran: the loop ends at once.
  bool timedOut = false;
  auto guard = runtime::Timer::Create(std::chrono::seconds(5), runtime::Nanoseconds(0), [&](runtime::Timer&) {
    timedOut = true;
    toolbox::Application::Shared().QuitEventLoop();
  });
  runtime::RunLoop::Main()->AddTimer(guard);
  runtime::RunApplicationEventLoop();
  guard->Invalidate();
  EXPECT_FALSE(timedOut);
}

TEST_F(ApplicationCommandsTest, BandwidthPresetsAndSwitches) {
  const struct {
    std::vector<const char*> commands;
    const char* key;
    std::int64_t limit;
    bool on;
  } cases[] = {
      {{"ZZZ0"}, "Bandwidth Settings", 5 * 1024, true},
      {{"ZZZ="}, "Bandwidth Settings", 1000 * 1024, true},
      {{"ZZZ3", "BWOf"}, "Bandwidth Settings", 30 * 1024, false},
      {{"GZZ3", "UBWO"}, "Upload Bandwidth Settings", 30 * 1024, true},  // the preset stays
      {{"GZZ7", "UBWf"}, "Upload Bandwidth Settings", 100 * 1024, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commands.front());
    for (const char* command : c.commands) {
      char code[5] = {command[0], command[1], command[2], command[3], 0};
      EXPECT_EQ(Command(FourCC(code)), runtime::kNoErr) << command;
    }
    EXPECT_EQ(StoredLimit(c.key, "limit"), c.limit);
    const values::Value stored = Stored(c.key);
    const values::Value* status = stored.Find("status");
    ASSERT_TRUE(status && status->AsBool());
    EXPECT_EQ(*status->AsBool(), c.on);
  }
}

TEST_F(ApplicationCommandsTest, HidingASectionStoresItsKeyAndDropsItsRow) {
  const struct {
    const char* command;
    const char* key;
    std::uint32_t row;  // 0: none
  } cases[] = {{"HiRe", "show remote", 0},          {"HiUp", "show uploads", 20},
               {"HiRf", "show received files", 22}, {"HiSe", "show servers", 7},
               {"HiFi", "show filters", 4},         {"HiHI", "show history", 2},
               {"HiRE", "show rendezvous", 0},      {"HiFS", "show file sharing", 0}};
  for (const auto& c : cases) {
    mainList->removedRows.clear();
    char code[5] = {c.command[0], c.command[1], c.command[2], c.command[3], 0};
    EXPECT_EQ(Command(FourCC(code)), runtime::kNoErr);
    const values::Value v = Stored(c.key);
    ASSERT_TRUE(v.AsBool()) << c.key;
    EXPECT_FALSE(*v.AsBool()) << c.key;
    EXPECT_EQ(mainList->removedRows, c.row ? std::vector<std::uint32_t>{c.row} : std::vector<std::uint32_t>{})
        << c.command;
  }
  EXPECT_FALSE(util::CurrentSettings()->showUploads);
  EXPECT_FALSE(util::CurrentSettings()->showHistory);
}

TEST_F(ApplicationCommandsTest, TogglesAndTheTrayDisplayChoices) {
  const bool hidden = util::CurrentSettings()->hideHiddenFiles;
  Command(FourCC("TSin"));
  EXPECT_EQ(StoredBool("hideHiddenFiles"), !hidden);
  Command(FourCC("DM$p"));
  EXPECT_TRUE(StoredBool("show speeds"));
  Command(FourCC("DM#I"));
  EXPECT_FALSE(StoredBool("show speeds"));
  const bool graph = util::CurrentSettings()->displayGraphInDock;
  EXPECT_EQ(Command(FourCC("DMB@")), runtime::kEventNotHandledErr) << "seen by the others too";
  EXPECT_EQ(StoredBool("displaygraphindock"), !graph);
  EXPECT_EQ(Command(FourCC("clos")), runtime::kEventNotHandledErr);
  EXPECT_EQ(Command(FourCC("zzzz")), runtime::kEventNotHandledErr);
}

// Every item of the Help menu does its work: the two pages of the program's site open in
// the browser (one home page for the menu and the message window's link), the scripts
// folder in the file manager.
TEST_F(ApplicationCommandsTest, TheHelpMenusItemsOpenTheirPagesAndFolder) {
  ResetMainMenuBar();
  ASSERT_TRUE(BuildMainMenuBarFor(queue::kMyDownloadsViewID, false));
  toolbox::MenuRef help = toolbox::GetMenuBar().Find(kHelpMenuID);
  ASSERT_NE(help, nullptr);
  const struct {
    values::FourCharCode command;
    std::string opened;
  } cases[] = {
      {FourCC("GoHo"), kHomePageURL},
      {FourCC("GoFo"), std::string(kHomePageURL) + "forum/"},
      {FourCC("OScF"), queue::ScriptsFolder().Path()},
  };
  ASSERT_EQ(help->CountItems(), static_cast<int>(std::size(cases)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opened);
    fakes::ScopedFakeWorkspace workspace;
    ASSERT_NE(help->IndexOfCommand(c.command), 0);
    EXPECT_EQ(Command(c.command), runtime::kNoErr);
    EXPECT_EQ(workspace->opened, std::vector<std::string>{c.opened});
  }
  ResetMainMenuBar();
}

// Move to Trash with My Downloads shown: the finished files still found go to the Trash in
// one batch and the move can be undone; a download whose file is gone, and one not
// finished, are passed over.
TEST_F(ApplicationCommandsTest, MoveToTrashTakesTheFinishedFilesOfMyDownloads) {
  queue::ClearQueueTables();
  queue::ClearFolderTable();
  queue::AddMissingBuiltInFolders();
  const std::string dir = testsupport::MakeTempDir("trash");
  std::uint32_t uid = 9100;
  auto add = [&](const std::string& name, bool finished, bool onDisk) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.filename = name;
    e.uid = ++uid;
    e.status = finished ? queue::kStatusCompleted : queue::kStatusQueued;
    if (finished) {
      if (onDisk) testsupport::WriteFile(dir + "/" + name, "done");
      e.completeURL = values::FileUrlFromPath(dir + "/" + name, false);
    }
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
  };
  add("a.bin", true, true);
  add("b.bin", true, true);
  add("gone.bin", true, false);
  add("waiting.bin", false, false);
  queue::DisplayViews({queue::kMyDownloadsViewID});
  fakes::ScopedFakeWorkspace workspace;
  EXPECT_EQ(Command(FourCC("MvTT")), runtime::kNoErr);
  ASSERT_EQ(workspace->recycles.size(), 1u);
  EXPECT_EQ(workspace->recycles[0].folder, dir);
  auto names = workspace->recycles[0].names;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "b.bin"}));
  EXPECT_TRUE(queue::TruvaneUndo::Shared().CanUndo());
  EXPECT_NE(queue::TruvaneUndo::Shared().UndoMenuItemTitle().find("Move 2 Downloads to Trash"),
            std::string::npos)
      << queue::TruvaneUndo::Shared().UndoMenuItemTitle();
  queue::TruvaneUndo::Shared().RemoveAllActions();
  queue::ClearDisplayedViews();
  queue::ClearFolderTable();
  queue::ClearQueueTables();
}

std::vector<std::string> Titles(const toolbox::Menu& menu) {
  std::vector<std::string> out;
  for (const auto& item : menu.items()) out.push_back(item.separator ? "-" : item.text);
  return out;
}

TEST_F(ApplicationCommandsTest, TheTrayMenuBySimpleAndAdvancedInterface) {
  queue::gQueueRunning = false;
  store.Set("show speeds", values::Value(false));
  auto simple = BuildDockMenu(true);
  // The way back to a closed main window comes first in either.
  EXPECT_EQ(Titles(*simple), (std::vector<std::string>{"Show Truvane", "-", "Tray Icon", "Start Queue",
                                                       "Open Download Folder"}));
  EXPECT_EQ(simple->Item(1)->command, FourCC("SMWi"));
  EXPECT_EQ(simple->Item(4)->command, FourCC("Star"));
  auto display = simple->Item(3)->submenu;
  ASSERT_TRUE(display);
  EXPECT_EQ(display->id(), kDockDisplayMenuID);
  EXPECT_EQ(display->ItemMark(1), 0u) << "show speeds is off";
  EXPECT_EQ(display->ItemMark(2), toolbox::kCheckMark);

  queue::gQueueRunning = true;
  store.Set("show speeds", values::Value(true));
  auto advanced = BuildDockMenu(false);
  EXPECT_EQ(advanced->Item(3)->submenu->ItemMark(1), toolbox::kCheckMark);
  EXPECT_EQ(Titles(*advanced), (std::vector<std::string>{"Show Truvane", "-", "Tray Icon", "Stop Queue",
                                                         "Open Download Folder", "Open Received Files Folder",
                                                         "-", "Bonjour", "Connect To", "-", "Favourites"}));
  EXPECT_EQ(advanced->Item(1)->command, FourCC("SMWi"));
  EXPECT_EQ(advanced->Item(4)->command, FourCC("Stop"));
  auto bonjour = advanced->Item(8)->submenu;
  ASSERT_TRUE(bonjour);
  ASSERT_EQ(bonjour->CountItems(), 1);
  EXPECT_EQ(bonjour->Item(1)->text, "None Available");
  EXPECT_FALSE(bonjour->IsItemEnabled(1));
  auto connect = advanced->Item(9)->submenu;
  ASSERT_TRUE(connect);
  std::vector<std::string> presets;
  for (const auto& item : connect->items()) presets.push_back(values::FourCCString(item.command));
  EXPECT_EQ(presets, (std::vector<std::string>{"ConF", "Conf", "Coni", "ConI", "Conw", "ConW", "ConS"}));
  // An item that is not in the submenu built last does nothing (and is taken).
  EXPECT_EQ(Command(kDockFavouriteCommand + 5), runtime::kNoErr);
  EXPECT_EQ(Command(kDockBonjourCommand + 0), runtime::kNoErr);

  // The menu also comes as the answer to the Dock-menu event.
  runtime::Event ask(kEventClassAppl, kEventAppGetDockMenu);
  EXPECT_EQ(runtime::SendEventToEventTarget(ask, *target), runtime::kNoErr);
  EXPECT_TRUE(ask.Has(kParamDockMenu));
}

TEST(ServiceLines, TrimmedLinesLongerThanOneCharacter) {
  const struct {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"http://a.example/x\nhttp://b.example/y", {"http://a.example/x", "http://b.example/y"}},
      {"  http://a.example/x  \r\n\r\n x \n", {"http://a.example/x"}},
      {"ab\rc", {"ab"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ServiceURLLines(c.text), c.lines) << c.text;
}

TEST_F(ApplicationCommandsTest, ServiceNamesOtherThanTheTwoAreNotHandled) {
  runtime::Event other(kEventClassService, kEventServicePerform);
  other.SetString(kServiceMessageParam, "printfile");
  EXPECT_EQ(runtime::SendEventToEventTarget(other, *target), runtime::kEventNotHandledErr);
  runtime::Event none(kEventClassService, kEventServicePerform);
  EXPECT_EQ(runtime::SendEventToEventTarget(none, *target), runtime::kEventNotHandledErr);
}

TEST_F(ApplicationCommandsTest, SpeedSamplesAreSmoothedOnlyWhileTheActivityWindowIsOpen) {
  auto sample = [&](std::int32_t bytes) {
    runtime::Event e(kEventClassActivityRate, 1);
    e.SetInt32(runtime::kParamDirectObject, bytes);
    runtime::SendEventToEventTarget(e, *target);
  };
  sample(5000);  // no window: nothing kept
  EXPECT_EQ(Command(FourCC("VSAc")), runtime::kNoErr);
  toolbox::Window* window = ui::ServerActivityWindow();
  ASSERT_TRUE(window);
  auto rate = [&] {
    return window->FindControl(toolbox::kApplicationSignature, ui::kActivityRateTextID)->Text();
  };
  sample(1000);
  EXPECT_EQ(rate(), "0.7 k/s");
  sample(2000);
  EXPECT_EQ(rate(), "1.6 k/s");
}

TEST_F(ApplicationCommandsTest, FileServerTransfersBecomeRowsOfTheActivityWindow) {
  auto started = [&](std::uint32_t id, const char* file) {
    runtime::Event e(kEventClassFileServer, kFileServerTransferStarted);
    e.SetString(FourCC("Fnam"), file);
    e.SetString(FourCC("Unam"), "guest");
    e.SetString(FourCC("IP__"), "192.0.2.7");
    e.SetUInt32(FourCC("ID__"), id);
    runtime::SendEventToEventTarget(e, *target);
  };
  auto ended = [&](std::uint32_t id) {
    runtime::Event e(kEventClassFileServer, kFileServerTransferEnded);
    e.SetUInt32(FourCC("ID__"), id);
    runtime::SendEventToEventTarget(e, *target);
  };
  started(1, "a.iso");
  started(2, "b.iso");
  ui::ShowServerActivityWindow();
  toolbox::Window* window = ui::ServerActivityWindow();
  auto count = [&] {
    return window->FindControl(toolbox::kApplicationSignature, ui::kActivityCountTextID)->Text();
  };
  EXPECT_EQ(count(), "2") << "transfers started before the window opened are shown";
  ended(1);
  ended(7);  // unknown: nothing
  EXPECT_EQ(count(), "1");
  ASSERT_EQ(ui::ServerTransfers().size(), 1u);
  EXPECT_EQ(ui::ServerTransfers().begin()->second.file, "b.iso");
  EXPECT_EQ(ui::ShowServerActivityWindow(), window) << "one activity window";
  if (const char* keep = std::getenv("TRUVANE_SCREENSHOT_DIR"))
    window->GrabToPng(std::string(keep) + "/server_activity_window.png");
}

TEST_F(ApplicationCommandsTest, TheWindowMenusCommandsActOnTheFrontWindow) {
  auto first = toolbox::Window::Create({.title = "First", .content = {10, 10, 200, 100}});
  auto second = toolbox::Window::Create({.title = "Second", .content = {40, 40, 200, 100}});
  first->Select();
  second->Select();
  toolbox::Application::Shared().ProcessPendingEvents();
  ASSERT_EQ(toolbox::Window::FrontWindow(), second);
  EXPECT_EQ(Command(FourCC("rotw")), runtime::kNoErr);
  toolbox::Application::Shared().ProcessPendingEvents();
  EXPECT_NE(toolbox::Window::FrontWindow(), second) << "cycling brings another window forward";
  EXPECT_EQ(Command(FourCC("bfrt")), runtime::kNoErr);
  EXPECT_TRUE(first->IsVisible() && second->IsVisible());
  first->Release();
  second->Release();
}

TEST_F(ApplicationCommandsTest, RevealRequestSelectsMyDownloadsAndForgetsThePendingMark) {
  SetRevealPending(true);
  runtime::Event reveal(util::kEventClassApplication, kEventAppRevealDownload);
  reveal.SetUInt32(FourCC("QUid"), 1234);  // not in the queue: nothing revealed
  EXPECT_EQ(runtime::SendEventToEventTarget(reveal, *target), runtime::kNoErr);
  EXPECT_FALSE(IsRevealPending());
  EXPECT_EQ(mainList->selectedFolderRows, std::vector<std::uint32_t>{1});
  EXPECT_TRUE(mainList->revealed.empty());
}

}  // namespace
}  // namespace shell
