// The main window's commands: which handler takes which command, what the window's own
// commands do to the queue and the list, the status line's words, and the bandwidth
// button's menu switching the limit in force.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_files.h"
#include "app/ui/main_window/bandwidth_menu.h"
#include "app/ui/main_window/status_line.h"
#include "app/ui/main_window/window_commands.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/views/small_views.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/message_queue.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/services/desktop_services.h"
#include "tests/app/ui/main_window_fixture.h"
#include "tests/fakes/fake_scripting_services.h"
#include "tests/fakes/scripted_confirmations.h"
#include "tests/fakes/scripted_presenter.h"
#include "tests/support/temp_home.h"

namespace ui {
namespace {

using values::FourCC;

runtime::Status SendTo(runtime::EventTarget& target, std::uint32_t kind, const char* command,
                       std::int16_t menu = 0, bool* enabled = nullptr) {
  auto event = toolbox::MakeCommandEvent(kind, toolbox::Command{Code(command), menu, menu ? 1 : 0});
  const runtime::Status status = target.Send(*event);
  if (enabled) *enabled = event->Get<bool>(toolbox::kParamCommandEnabled).value_or(false);
  return status;
}

class WindowCommandsTest : public MainWindowFixture {
 protected:
  runtime::EventTarget& Window() { return *GetMainWindow()->target(); }
  runtime::EventTarget& List() { return *FindMainControl(mainwindow::kListArea)->target(); }
};

TEST_F(WindowCommandsTest, EachHandlerTakesItsCommandsAndLetsTheOthersThrough) {
  Create();
  struct {
    const char* command;
    bool fromList;  // sent to the list (its handler first), else to the window
    bool handled;
  } cases[] = {
      {"MvIT", false, true}, {"QTog", false, true},  {"UQTg", false, true},  {"sall", false, true},
      {"Snon", false, true}, {"MtbS", false, true},  {"SbSC", false, true},  {"Remo", true, true},
      {"copy", true, true},  {"Remo", false, false}, {"StaD", false, false}, {"New ", false, false},
      {"zzzz", true, false}, {"TRem", false, false},
  };
  for (const auto& c : cases) {
    const runtime::Status status =
        SendTo(c.fromList ? List() : Window(), toolbox::kEventCommandProcess, c.command);
    EXPECT_EQ(status == runtime::kNoErr, c.handled) << c.command << (c.fromList ? " from the list" : "");
    if (std::string(c.command) == "QTog" || std::string(c.command) == "UQTg") SendTo(Window(), 1, c.command);
  }
  EXPECT_FALSE(queue::gQueueRunning);
  queue::gQueueStartPending = queue::gUploadQueueStartPending = false;
}

TEST_F(WindowCommandsTest, StatusOfTheWindowsOwnCommands) {
  Create();
  struct {
    const char* clipboard;
    const char* command;
    bool handled;
    bool enabled;
  } cases[] = {
      {"", "copy", true, true},   {"", "clos", true, true},  {"", "clea", true, false},
      {"", "cut ", true, false},  {"", "past", true, false}, {"http://example.org/a", "past", true, true},
      {"", "xxxx", false, false},
  };
  for (const auto& c : cases) {
    toolbox::SetClipboardText(c.clipboard);
    bool enabled = false;
    const runtime::Status status =
        SendTo(Window(), toolbox::kEventCommandUpdateStatus, c.command, 0, &enabled);
    EXPECT_EQ(status == runtime::kNoErr, c.handled) << c.command << " [" << c.clipboard << "]";
    EXPECT_EQ(enabled, c.enabled) << c.command << " [" << c.clipboard << "]";
  }
}

TEST_F(WindowCommandsTest, PeerCommandsReloadOrCloseThePeersOfTheirKind) {
  Create();
  auto owned = std::make_unique<FakePeerHosts>();
  FakePeerHosts* peers = owned.get();
  for (std::uint32_t id : {1, 2, 3}) {
    sharing::PeerHost host;
    host.hostID = id;
    host.address = "127.0.0." + std::to_string(id);
    if (id == 2) host.bonjourName = "Kitchen";
    peers->hosts.push_back(host);
  }
  sharing::PeerHostsServiceSlot::Set(std::move(owned));
  struct {
    const char* command;
    std::vector<std::uint32_t> refreshed, disconnected;
  } cases[] = {
      {"R!Re", {1, 3}, {}},
      {"R!Rn", {2}, {}},
      {"D!Re", {}, {1, 3}},
      {"D!Rn", {}, {2}},
  };
  for (const auto& c : cases) {
    peers->refreshed.clear();
    peers->disconnected.clear();
    EXPECT_EQ(SendTo(Window(), toolbox::kEventCommandProcess, c.command), runtime::kNoErr) << c.command;
    EXPECT_EQ(peers->refreshed, c.refreshed) << c.command;
    EXPECT_EQ(peers->disconnected, c.disconnected) << c.command;
  }
  sharing::PeerHostsServiceSlot::Set(nullptr);
}

TEST_F(WindowCommandsTest, MoveToTopTakesOnlyQueuedDownloadsAndKeepsTheirOrder) {
  Create();
  const auto a = Add("a", queue::kStatusStopped), b = Add("b", queue::kStatusStopped);
  const auto c = Add("c", queue::kStatusStopped), running = Add("r", queue::kStatusDownloading);
  for (const auto& w : {a, b, c}) queue::EnqueueElement(w);
  queue::RefillMainList();
  const auto order = [] {
    std::string s;
    for (auto uid : queue::gQueueOrder) s += queue::LookUpDownloadWrapper(uid)->element().filename;
    return s;
  };
  ASSERT_EQ(order(), "abc");
  Select({running});
  SendTo(Window(), toolbox::kEventCommandProcess, "MvIT");
  EXPECT_EQ(order(), "abc") << "a running download does not move";
  Select({c, running, b});
  SendTo(Window(), toolbox::kEventCommandProcess, "MvIT");
  EXPECT_EQ(order(), "bca");
}

TEST_F(WindowCommandsTest, SelectAllAndNoneAndNextPreviousRows) {
  Create();
  const auto a = Add("a", queue::kStatusStopped), b = Add("b", queue::kStatusStopped);
  queue::RefillMainList();
  SendTo(Window(), toolbox::kEventCommandProcess, "sall");
  EXPECT_EQ(GetMainList()->SelectedRows().size(), 2u);
  SendTo(Window(), toolbox::kEventCommandProcess, "Snon");
  EXPECT_TRUE(GetMainList()->SelectedRows().empty());
  const auto first = GetNextBrowserItem(nullptr);
  ASSERT_TRUE(first);
  const auto second = GetNextBrowserItem(&*first);
  ASSERT_TRUE(second);
  EXPECT_NE(first->record, second->record);
  EXPECT_EQ(GetNextBrowserItem(&*second)->record, first->record) << "past the last comes the first";
  EXPECT_EQ(GetPreviousBrowserItem(&*first)->record, second->record) << "before the first comes the last";
}

TEST_F(WindowCommandsTest, SensitiveServersTakeEachHostOnceAndGiveItBack) {
  Create();
  const auto a = Add("a", queue::kStatusStopped);
  a->element().urlData = {
      values::Value(values::Dictionary{{"url", values::Value("http://dl.example.org/a")}}),
      values::Value(values::Dictionary{{"url", values::Value("ftp://mirror.example.net/a")}})};
  const auto b = Add("b", queue::kStatusStopped);
  b->element().urlData = {
      values::Value(values::Dictionary{{"url", values::Value("http://dl.example.org/b")}})};
  queue::RefillMainList();
  const auto rules = [] { return util::CurrentSettings()->blackList; };
  const auto stored = [] {
    std::vector<std::string> out;
    if (auto list = util::SettingsPreferences().GetArray("blackList"))
      for (const auto& v : *list) out.push_back(v.AsString() ? *v.AsString() : "?");
    return out;
  };
  const values::FourCharCode add = values::FourCCFromBytes('S', 'S', 'b', 0xBF);
  const values::FourCharCode remove = values::FourCCFromBytes('S', 'S', 'R', 0xBF);
  const auto send = [&](values::FourCharCode command) {
    auto event = toolbox::MakeCommandEvent(toolbox::kEventCommandProcess, toolbox::Command{command, 0, 0});
    return Window().Send(*event);
  };
  util::ChangeSettings([](util::Settings& s) { s.blackList = {".example.net"}; });
  struct {
    std::vector<queue::WrapperRef> selection;
    values::FourCharCode command;
    std::vector<std::string> after;
  } steps[] = {
      // mirror.example.net is covered by its rule already; dl.example.org comes once.
      {{a, b}, add, {".example.net", "dl.example.org"}},
      {{b}, add, {".example.net", "dl.example.org"}},
      // Removing takes only hosts listed as they are: the rule stays.
      {{a}, remove, {".example.net"}},
  };
  for (const auto& step : steps) {
    Select(step.selection);
    ASSERT_EQ(send(step.command), runtime::kNoErr);
    EXPECT_EQ(rules(), step.after);
    EXPECT_EQ(stored(), step.after);
  }
}

TEST_F(WindowCommandsTest, RemovingAFolderAsksOnlyWhenItHoldsFiles) {
  queue::AddFolder(0x100001, "Empty");
  queue::AddFolder(0x100002, "Full");
  Create();
  const auto w = Add("kept.iso", queue::kStatusCompleted);
  // A finished file on disk is what makes a folder hold files.
  const std::string file = testsupport::MakeTempDir("finished") + "/kept.iso";
  testsupport::WriteFile(file, "data");
  w->element().completeURL = values::FileUrlFromPath(file, false);
  w->element().completeFile = queue::MakeAliasBytes(files::FileRef(file));
  queue::AddElementToFolder(w, 0x100002);
  struct {
    std::uint32_t folder;
    std::vector<int> answers;  // the confirmation's, when asked
    std::size_t asked;
    bool removed;
  } cases[] = {
      {0x100001, {}, 0, true},    // no files: nothing asked
      {0x100002, {0}, 1, false},  // cancelled: the folder stays
      {0x100002, {1}, 1, true},   // 1 keeps the files
  };
  for (const auto& c : cases) {
    fakes::ScopedConfirmations confirm;
    for (int a : c.answers) confirm->answers.push_back(a);
    CustomList& sources = *GetMainFolderList();
    sources.SelectRow(sources.GetRowByIdentifier(c.folder));
    SendTo(Window(), toolbox::kEventCommandProcess, "RmFl");
    EXPECT_EQ(confirm->asked.size(), c.asked) << c.folder;
    EXPECT_EQ(queue::LookUpFolder(c.folder) == nullptr, c.removed) << c.folder;
  }
  EXPECT_TRUE(queue::LookUpDownloadWrapper(w->uid())) << "the folder's download stays in the queue";
  EXPECT_TRUE(std::ifstream(file).good()) << "and its file on disk";
}

TEST(MainWindowMinimumSizeTest, WidthFollowsThePaneGrip) {
  struct {
    double grip;
    double width;
  } cases[] = {{99, 300}, {100, 300}, {150, 350}, {0, 300}};
  for (const auto& c : cases) {
    EXPECT_EQ(MainWindowMinimumSize(c.grip).width, c.width) << c.grip;
    EXPECT_EQ(MainWindowMinimumSize(c.grip).height, 120) << c.grip;
  }
}

TEST(StatusLineTest, SizesInWholeUnitsBelowAGigabyte) {
  util::RegisterEnglishTexts();
  struct {
    std::uint64_t bytes;
    const char* text;
  } cases[] = {{0, "0 B"},        {1023, "1023 B"},        {1024, "1 KB"},          {1048575, "1023 KB"},
               {1048576, "1 MB"}, {1073741823, "1023 MB"}, {1073741824, "1.00 GB"}, {5905580032, "5.50 GB"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatStatusSize(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(DrawStatusText(3, c.bytes, nullptr), std::string(c.text) + " in 3 items");
  }
}

TEST_F(WindowCommandsTest, StatusLineCountsTheRowsAndFollowsSizeChanges) {
  Create();
  Add("a", queue::kStatusStopped, 1024);
  const auto b = Add("b", queue::kStatusStopped, 2048);
  Add("unknown", queue::kStatusQueued, -1);
  queue::RefillMainList();
  RefreshStatusBar();
  Pump();
  EXPECT_EQ(FindMainControl(mainwindow::kStatusText)->Text(), "3 KB in 3 items");
  // 2048 -> 1048576 + 2048: the cached total moves without a walk.
  AdjustStatusTotals(b, 1048576 + 2048, 2048);
  EXPECT_EQ(FindMainControl(mainwindow::kStatusText)->Text(), "1 MB in 3 items");
  AdjustStatusTotals(b, -1, 1048576 + 2048);
  EXPECT_EQ(CurrentStatusTotals().bytes, 1024u);
  // A download that is not in the list changes nothing.
  auto other = queue::DownloadQueueWrapper::Create();
  AdjustStatusTotals(other, 5000, 0);
  EXPECT_EQ(CurrentStatusTotals().bytes, 1024u);
  // Removing the selected row through the list's command refreshes the count.
  fakes::ScopedConfirmations confirm;
  Select({b});
  SendTo(List(), toolbox::kEventCommandProcess, "Remo");
  Pump();
  EXPECT_EQ(ShownNames(), (std::set<std::string>{"a", "unknown"}));
  EXPECT_EQ(FindMainControl(mainwindow::kStatusText)->Text(), "1 KB in 2 items");
}

class BandwidthMenuTest : public WindowCommandsTest {
 protected:
  void SetUp() override {
    WindowCommandsTest::SetUp();
    auto presenter = std::make_unique<fakes::ScriptedPresenter>();
    presenter_ = presenter.get();
    previous_ = toolbox::SetPresenter(std::move(presenter));
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter_.id());
    engine::SetLimiterQueue(engine::TransferDirection::kUpload, uploadLimiter_.id());
  }
  void TearDown() override {
    engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
    engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
    toolbox::SetPresenter(std::move(previous_));
    WindowCommandsTest::TearDown();
  }
  toolbox::MenuRef ButtonMenu() {
    auto* button = dynamic_cast<SmallButton*>(FindMainControl(mainwindow::kBandwidthButton)->GetView());
    return button ? button->GetMenu() : nullptr;
  }
  // Shows the button's menu and chooses the item with `command`.
  void Choose(const char* command) {
    toolbox::MenuRef menu = ButtonMenu();
    const int index = menu->IndexOfCommand(Code(command));
    ASSERT_GT(index, 0) << command;
    presenter_->menu_answers.push_back({menu, index, Code(command)});
    toolbox::PopUpMenuSelect(GetMainWindow(), {0, 0}, menu, 0);
  }
  std::optional<std::int64_t> RateTold(const runtime::MessageQueue& queue) {
    runtime::Message m;
    std::optional<std::int64_t> rate;
    while (queue.Wait(m, runtime::Nanoseconds(0)) == runtime::kNoErr)
      if (m.p3 == static_cast<runtime::Word>(engine::LimiterMessage::kSetRate))
        rate = static_cast<std::int64_t>(m.p1);
    return rate;
  }
  std::optional<bool> StoredStatus(const char* key) {
    auto d = util::SettingsPreferences().GetDictionary(key);
    if (!d || !d->count("status")) return std::nullopt;
    const values::Value& v = d->at("status");
    return v.AsBool() ? std::optional<bool>(*v.AsBool()) : std::nullopt;
  }

  fakes::ScriptedPresenter* presenter_ = nullptr;
  std::unique_ptr<toolbox::Presenter> previous_;
  runtime::MessageQueue limiter_, uploadLimiter_;
};

TEST_F(BandwidthMenuTest, SimpleMenuHasNoUploadItemsAndShowsTheDownloadLimit) {
  util::ChangeSettings([](util::Settings& s) {
    s.downloadBandwidth = {65536, false};
    s.uploadBandwidth = {32768, true};
  });
  struct {
    bool simple;
    bool uploads;
  } cases[] = {{true, false}, {false, true}};
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.simpleMode = c.simple;
    Create(state);
    toolbox::MenuRef menu = ButtonMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->IndexOfCommand(FourCC("UBWO")) != 0, c.uploads) << c.simple;
    presenter_->menu_answers.push_back({});
    toolbox::PopUpMenuSelect(GetMainWindow(), {0, 0}, menu, 0);
    EXPECT_EQ(menu->Item(menu->IndexOfCommand(FourCC("BWOn")))->text, "Limit to 64.0 KB/s");
    EXPECT_EQ(menu->ItemMark(menu->IndexOfCommand(FourCC("BWOf"))), toolbox::kCheckMark);
    EXPECT_EQ(menu->ItemMark(menu->IndexOfCommand(FourCC("BWOn"))), 0u);
    if (c.uploads) {
      EXPECT_EQ(menu->Item(menu->IndexOfCommand(FourCC("UBWO")))->text, "Limit to 32.0 KB/s");
      EXPECT_EQ(menu->ItemMark(menu->IndexOfCommand(FourCC("UBWO"))), toolbox::kCheckMark);
    }
    DisposeMainWindow();
  }
}

TEST_F(BandwidthMenuTest, ChoosingALimitSetsThePreferenceAndTheLimitersRate) {
  util::ChangeSettings([](util::Settings& s) {
    s.downloadBandwidth = {40960, false};
    s.uploadBandwidth = {20480, false};
  });
  MainWindowStartState state;
  state.simpleMode = false;
  Create(state);
  struct {
    const char* command;
    engine::TransferDirection direction;
    const char* key;
    bool on;
    std::optional<std::int64_t> rate;  // told to that direction's limiter
  } cases[] = {
      {"BWOn", engine::TransferDirection::kDownload, "Bandwidth Settings", true, 40960},
      {"BWOf", engine::TransferDirection::kDownload, "Bandwidth Settings", false, std::nullopt},
      {"UBWO", engine::TransferDirection::kUpload, "Upload Bandwidth Settings", true, 20480},
      {"UBWf", engine::TransferDirection::kUpload, "Upload Bandwidth Settings", false, std::nullopt},
  };
  for (const auto& c : cases) {
    Choose(c.command);
    EXPECT_EQ(engine::IsBandwidthLimitOn(c.direction), c.on) << c.command;
    EXPECT_EQ(StoredStatus(c.key), c.on) << c.command;
    const auto& queue = c.direction == engine::TransferDirection::kDownload ? limiter_ : uploadLimiter_;
    EXPECT_EQ(RateTold(queue), c.rate) << c.command;
  }
}

}  // namespace
}  // namespace ui
