// The main window: what creation restores from the saved state, the layout operations
// (pane, filter bar and scope, simple interface, path bar, sheet overlay), the badges,
// the state written at quit, and pictures of the window as a person sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "app/queue/adding/start_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/main_window/main_window_services.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/views/small_views.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/english_texts.h"
#include "platform/toolbox/app/application.h"
#include "platform/values/clock.h"
#include "platform/values/date_time.h"
#include "tests/app/ui/main_window_fixture.h"

namespace ui {
namespace {

using toolbox::Rect;

class MainWindowTest : public MainWindowFixture {
 protected:
  // Creation alone: these tests look at what the window restores before any view is shown.
  void Create(MainWindowStartState state = {}) {
    CreateMainWindow(state);
    ASSERT_NE(GetMainWindow(), nullptr);
    toolbox::Application::Shared().ProcessPendingEvents();
  }
  Rect Frame(std::int32_t id) {
    toolbox::Control* c = FindMainControl(id);
    return c ? c->Bounds() : Rect{-1, -1, -1, -1};
  }
  bool Visible(std::int32_t id) {
    toolbox::Control* c = FindMainControl(id);
    return c && c->IsVisible();
  }
  FilterBar& Bar() { return *dynamic_cast<FilterBar*>(FindMainControl(mainwindow::kFilterBar)->GetView()); }
  CustomList& Sources() { return *GetMainFolderList(); }
  std::set<std::uint32_t> SelectedRows() {
    std::set<std::uint32_t> ids;
    for (const auto& r : Sources().CopySelection()) ids.insert(r->identifier);
    return ids;
  }
  queue::WrapperRef Add(const std::string& name, queue::DownloadStatus status, std::int64_t size,
                        std::int64_t received, float rate = 0) {
    auto w = queue::DownloadQueueWrapper::Create();
    auto& e = w->element();
    e.filename = name;
    e.status = status;
    e.fileSize = size;
    e.progress = received;
    e.rate = rate;
    static std::uint32_t uid = 500;
    e.uid = ++uid;
    e.startDate = values::Now() - 3600;
    e.urlData =
        values::Array{values::Value(values::Dictionary{{"url", std::string("http://example.org/") + name}})};
    queue::QueueItemsSet(e.uid, w);
    queue::AddElementToListableFolder(queue::kMyDownloadsViewID, w);
    return w;
  }
  // What the window holds, checked where it can go wrong: the controls that are shown lie
  // inside the window and apart from one another, every column shows its title whole, and
  // the list holds the downloads given; the picture is kept for people to look at.
  void Picture(const std::string& name, const std::set<std::string>& names = {}) {
    SCOPED_TRACE(name);
    toolbox::Application::Shared().ProcessPendingEvents();
    const Rect content = GetMainWindow()->ContentBounds();
    std::vector<std::pair<std::int32_t, Rect>> shown;
    for (std::int32_t id : {mainwindow::kSourceList, mainwindow::kFilterBar, mainwindow::kListArea,
                            mainwindow::kBottomArea, mainwindow::kActionButton, mainwindow::kBandwidthButton,
                            mainwindow::kUploadsButton, mainwindow::kPaneGrip}) {
      if (Visible(id)) shown.emplace_back(id, Frame(id));
    }
    for (const auto& [id, b] : shown) {
      EXPECT_GE(b.Left(), -1) << id;  // a pane's border may sit just outside the window's edge
      EXPECT_GE(b.Top(), 0) << id;
      EXPECT_LE(b.Right(), content.width) << id;
      EXPECT_LE(b.Bottom(), content.height) << id << " is cut at the window's bottom";
      for (const auto& [other, o] : shown) {
        if (other == id) continue;
        // Neighbouring buttons share their one-pixel border.
        const bool apart = b.Right() <= o.Left() + 1 || o.Right() <= b.Left() + 1 ||
                           b.Bottom() <= o.Top() + 1 || o.Bottom() <= b.Top() + 1;
        EXPECT_TRUE(apart) << id << " overlaps " << other;
      }
    }
    EXPECT_TRUE(Visible(mainwindow::kStatusText));
    EXPECT_FALSE(FindMainControl(mainwindow::kStatusText)->Text().empty());
    toolbox::ListView& list = GetMainList()->list();
    EXPECT_TRUE(list.HasColumn(kColName));
    for (toolbox::ListPropertyID column : list.Columns()) {
      const auto desc = list.ColumnDesc(column);
      if (!desc || desc->title.empty()) continue;
      EXPECT_GE(list.ColumnWidth(column).value_or(0), list.ColumnTitleWidth(column).value_or(0))
          << "the title \"" << desc->title << "\" is cut";
    }
    EXPECT_EQ(ShownNames(), names);
    Keep(GetMainWindow()->Grab(), name);
  }
};

TEST_F(MainWindowTest, SavedPaneWidthIsNeverBelow140) {
  struct Case {
    std::int16_t saved;
    double width;
  } cases[] = {{0, 140}, {100, 140}, {140, 140}, {141, 141}, {260, 260}};
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.splitterXpos = c.saved;
    Create(state);
    EXPECT_EQ(Frame(mainwindow::kPaneGrip).Right(), c.width) << c.saved;
    EXPECT_EQ(Frame(mainwindow::kSourceList).width, c.width) << c.saved;
    EXPECT_EQ(Frame(mainwindow::kListArea).x, c.width) << c.saved;
    EXPECT_EQ(Frame(mainwindow::kFilterBar).x, c.width) << c.saved;
    DisposeMainWindow();
  }
}

TEST_F(MainWindowTest, ARemoteHostOrAMissingFolderIsNotRestored) {
  queue::AddFolder(0x100001, "Work");
  struct Case {
    queue::ViewID saved, shown;
  } cases[] = {
      {1030, 1}, {0x100009, 1}, {0x100001, 0x100001}, {queue::kHistoryViewID, queue::kHistoryViewID}};
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.currentView = c.saved;
    Create(state);
    EXPECT_EQ(SelectedRows(), std::set<std::uint32_t>{c.shown}) << c.saved;
    EXPECT_EQ(GetMainWindowCurrentView(), c.shown) << c.saved;
    DisposeMainWindow();
    queue::ClearDisplayedViews();
  }
}

TEST_F(MainWindowTest, TheWindowIsMadeWithItsActionsAndPriorityColumnsInFront) {
  queue::AddFolder(0x100001, "Work");
  using Columns = std::vector<std::uint32_t>;
  struct Case {
    queue::ViewID view;
    Columns front;  // the first columns, in the order a person sees them
  } cases[] = {
      {queue::kMyDownloadsViewID, {kColFile, kColPriority, kColQueuePosition, kColQueueCheck, kColName}},
      {0x100001, {kColFile, kColQueuePosition, kColQueueCheck, kColName}},
      {queue::kHistoryViewID, {kColFile, kColName}},
      {queue::kMyServersViewID, {}},  // its rows have no buttons
  };
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.currentView = c.view;
    Create(state);
    const Columns all = GetMainList()->list().Columns();
    ASSERT_GE(all.size(), c.front.size()) << c.view;
    EXPECT_EQ(Columns(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.front.size())), c.front)
        << c.view;
    if (c.view == queue::kMyServersViewID) {
      EXPECT_EQ(std::count(all.begin(), all.end(), kColFile), 0);
      EXPECT_EQ(std::count(all.begin(), all.end(), kColPriority), 0);
    }
    // A layout saved from the window never keeps them.
    queue::FolderColumnOptions saved;
    ASSERT_TRUE(GetMainList()->SaveColumnLayout(saved));
    EXPECT_NE(saved.props[0], kColFile) << c.view;
    EXPECT_NE(saved.props[0], kColPriority) << c.view;
    DisposeMainWindow();
    queue::ClearDisplayedViews();
  }
}

// The striped bar of a running download whose size is unknown moves at every list refresh:
// its status cell is painted again each time, though the download reported nothing new.
TEST_F(MainWindowTest, TheStripedBarOfAnUnknownSizeIsPaintedAtEveryRefresh) {
  auto unknown = Add("stream.bin", queue::kStatusDownloading, -1, 5000, 3.0f);
  Create();
  queue::DisplayViews({queue::kMyDownloadsViewID});
  MainList& list = *GetMainList();
  toolbox::Application::Shared().ProcessPendingEvents();
  list.list().FlushPainting();
  const toolbox::ListItemID row = list.DownloadRow(unknown->uid());
  ASSERT_NE(row, 0u);
  int painted = 0;
  list.list().SetCellPaintObserver([&](toolbox::ListItemID id, toolbox::ListPropertyID property) {
    if (id == row && property == kColStatus) ++painted;
  });
  for (int pass = 1; pass <= 3; ++pass) {
    SCOPED_TRACE(pass);
    painted = 0;
    list.RefreshChangedRows();
    toolbox::Application::Shared().ProcessPendingEvents();
    list.list().FlushPainting();
    EXPECT_GE(painted, 1);
  }
  list.list().SetCellPaintObserver(nullptr);
}

TEST_F(MainWindowTest, SavedScopeSelectsItsButton) {
  struct Case {
    std::optional<std::int64_t> saved;
    FilterScope scope;
    int button;
  } cases[] = {{std::nullopt, kFilterScopeAll, 0},
               {0, kFilterScopeAll, 0},
               {1, kFilterScopeAll, 0},
               {7, kFilterScopeAll, 0},
               {2, kFilterScopeInProgress, 1},
               {3, kFilterScopePaused, 3},
               {4, kFilterScopeCompleted, 4},
               {5, kFilterScopeQueued, 2},
               {6, kFilterScopeIncomplete, 5}};
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.previousQueueState = c.saved;
    Create(state);
    EXPECT_EQ(GetFilterScope(), c.scope) << c.saved.value_or(-1);
    EXPECT_EQ(Bar().SelectedIndex(), c.button) << c.saved.value_or(-1);
    DisposeMainWindow();
  }
  // A hidden filter bar restores no scope.
  MainWindowStartState hidden;
  hidden.hideSearchBar = true;
  hidden.previousQueueState = 5;
  Create(hidden);
  EXPECT_EQ(GetFilterScope(), kFilterScopeAll);
  EXPECT_FALSE(Visible(mainwindow::kFilterBar));
  EXPECT_FALSE(IsFilterBarShown());
}

TEST_F(MainWindowTest, SectionsOpenUnlessSavedClosed) {
  const std::uint32_t sections[] = {queue::kLibrarySectionID, queue::kSearchForSectionID,
                                    queue::kRemoteServersSectionID, queue::kMyFoldersSectionID};
  for (std::size_t closed = 0; closed <= 4; ++closed) {
    MainWindowStartState state;
    if (closed < 4) state.wasOpen[closed] = false;
    Create(state);
    for (std::size_t i = 0; i < 4; ++i) {
      const RowRef row = Sources().GetRowByIdentifier(sections[i]);
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->open, i != closed) << "closed " << closed << " row " << i;
    }
    DisposeMainWindow();
  }
}

TEST_F(MainWindowTest, ShownUnlessTheMiniWindowOrTheSettingsHideIt) {
  struct Case {
    bool mini, hide, shown;
  } cases[] = {{false, false, true}, {true, false, false}, {false, true, false}};
  for (const auto& c : cases) {
    MainWindowStartState state;
    state.defaultToMini = c.mini;
    state.hideOnStartup = c.hide;
    Create(state);
    EXPECT_EQ(GetMainWindow()->IsVisible(), c.shown);
    DisposeMainWindow();
  }
}

TEST_F(MainWindowTest, SimpleInterfaceHasNoAdvancedRowsWhateverTheSettings) {
  const std::uint32_t advanced[] = {queue::kMyUploadsViewID, queue::kReceivedFilesViewID,
                                    queue::kMyServersViewID, queue::kRemoteServersSectionID};
  for (bool simple : {false, true}) {
    MainWindowStartState state;
    state.simpleMode = simple;
    Create(state);
    for (std::uint32_t id : advanced) EXPECT_EQ(Sources().GetRowByIdentifier(id) == nullptr, simple) << id;
    EXPECT_NE(Sources().GetRowByIdentifier(queue::kHistoryViewID), nullptr);
    EXPECT_EQ(Visible(mainwindow::kUploadsButton), !simple);
    DisposeMainWindow();
  }
  MainWindowStartState hiddenRows;
  hiddenRows.showUploads = hiddenRows.showHistory = false;
  Create(hiddenRows);
  EXPECT_EQ(Sources().GetRowByIdentifier(queue::kMyUploadsViewID), nullptr);
  EXPECT_EQ(Sources().GetRowByIdentifier(queue::kHistoryViewID), nullptr);
  EXPECT_NE(Sources().GetRowByIdentifier(queue::kMyServersViewID), nullptr);
}

TEST_F(MainWindowTest, FoldersGoUnderTheirSections) {
  queue::AddFolder(0x100002, "zeta");
  queue::AddFolder(0x100001, "Alpha");
  Create();
  const RowRef myFolders = Sources().GetRowByIdentifier(queue::kMyFoldersSectionID);
  ASSERT_TRUE(myFolders->children());
  std::vector<std::string> labels;
  for (const auto& r : *myFolders->children()) labels.push_back(r->label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Alpha", "zeta"}));
  const RowRef searchFor = Sources().GetRowByIdentifier(queue::kSearchForSectionID);
  ASSERT_TRUE(searchFor->children());
  ASSERT_GE(searchFor->children()->size(), 4u);
  EXPECT_EQ((*searchFor->children())[0]->identifier, 200u) << "date folders come first";
}

TEST_F(MainWindowTest, TogglingThePaneTwiceRestoresEveryFrame) {
  Create();
  std::map<std::int32_t, Rect> before;
  const std::int32_t ids[] = {
      mainwindow::kListArea,      mainwindow::kFilterBar,    mainwindow::kBottomArea,
      mainwindow::kStatusText,    mainwindow::kActionButton, mainwindow::kBandwidthButton,
      mainwindow::kUploadsButton, mainwindow::kPaneGrip,     mainwindow::kSourceList};
  for (auto id : ids) before[id] = Frame(id);
  ToggleLeftPane();
  EXPECT_FALSE(IsLeftPaneShown());
  EXPECT_FALSE(Visible(mainwindow::kSourceList));
  EXPECT_FALSE(Visible(mainwindow::kPaneGrip));
  EXPECT_FALSE(Visible(mainwindow::kActionButton));
  EXPECT_EQ(Frame(mainwindow::kListArea).x, 0);
  EXPECT_EQ(Frame(mainwindow::kListArea).Right(), before[mainwindow::kListArea].Right());
  // The buttons right of the action button move left by its width.
  EXPECT_EQ(Frame(mainwindow::kBandwidthButton).x,
            before[mainwindow::kBandwidthButton].x - before[mainwindow::kActionButton].width);
  auto* action = dynamic_cast<SmallButton*>(FindMainControl(mainwindow::kActionButton)->GetView());
  const auto menu = action->GetMenu();
  EXPECT_EQ(menu->Item(menu->IndexOfCommand(values::FourCC("TQlp")))->text, "Show Sources");
  ToggleLeftPane();
  for (auto id : ids) EXPECT_EQ(Frame(id), before[id]) << id;
  EXPECT_EQ(menu->Item(menu->IndexOfCommand(values::FourCC("TQlp")))->text, "Hide Sources");
}

TEST_F(MainWindowTest, FilterBarAndScope) {
  Create();
  const Rect listArea = Frame(mainwindow::kListArea);
  SetFilterScope(kFilterScopeQueued);
  ToggleFilterBar();
  EXPECT_FALSE(Visible(mainwindow::kFilterBar));
  EXPECT_EQ(GetFilterScope(), kFilterScopeAll) << "hiding the bar resets the scope";
  EXPECT_EQ(Frame(mainwindow::kListArea).y, listArea.y - 25);
  // My Servers lists no downloads: the bar is meant to show but waits for a list view.
  UpdateBarsForView(queue::kMyServersViewID);
  ToggleFilterBar();
  EXPECT_TRUE(IsFilterBarShown());
  EXPECT_FALSE(Visible(mainwindow::kFilterBar));
  UpdateBarsForView(queue::kMyDownloadsViewID);
  EXPECT_TRUE(Visible(mainwindow::kFilterBar));
  EXPECT_EQ(Frame(mainwindow::kListArea), listArea);
  // A click on a scope button sends its command, which sets the scope.
  const Rect paused = Bar().ButtonRect(3);
  Bar().HandleMouseDown({{paused.x + 10, paused.y + 8}});
  Bar().HandleMouseUp({{paused.x + 10, paused.y + 8}});
  EXPECT_EQ(GetFilterScope(), kFilterScopePaused);
  EXPECT_EQ(Bar().SelectedIndex(), 3);
}

TEST_F(MainWindowTest, RenameCommandRenamesOnlyFolderRows) {
  queue::AddFolder(0x100001, "Work");
  Create();
  struct Case {
    std::uint32_t row;
    bool renames;
  } cases[] = {{queue::kMyDownloadsViewID, false}, {queue::kTodayFolderID, false}, {0x100001, true}};
  for (const auto& c : cases) {
    Sources().SelectRow(Sources().GetRowByIdentifier(c.row));
    GetMainWindow()->ProcessCommand(values::FourCC("RenF"));
    EXPECT_EQ(Sources().RowInEdit() != nullptr, c.renames) << c.row;
    Sources().EndRename();
  }
}

TEST_F(MainWindowTest, ListViewIdentifiers) {
  struct Case {
    std::uint32_t id;
    bool list;
  } cases[] = {{1, true},   {2, true},        {4, true},        {20, true},       {200, true},
               {203, true}, {0x100000, true}, {0x3FFFFF, true}, {0x400000, true}, {0x7D0900, true},
               {7, false},  {22, false},      {1025, false},    {204, false},     {0x7D0901, false}};
  for (const auto& c : cases) EXPECT_EQ(IsListViewID(c.id), c.list) << c.id;
}

TEST_F(MainWindowTest, SimpleModeWidensTheGripOverTheUploadsButton) {
  Create();
  const Rect grip = Frame(mainwindow::kPaneGrip);
  const double U = Frame(mainwindow::kUploadsButton).width - 1;
  SetSimpleMode(true);
  EXPECT_EQ(Frame(mainwindow::kPaneGrip), (Rect{grip.x - U, grip.y, grip.width + U, grip.height}));
  EXPECT_FALSE(Visible(mainwindow::kUploadsButton));
  SetSimpleMode(false);
  EXPECT_EQ(Frame(mainwindow::kPaneGrip), grip);
  EXPECT_TRUE(Visible(mainwindow::kUploadsButton));
  EXPECT_NE(Sources().GetRowByIdentifier(queue::kMyUploadsViewID), nullptr);
  EXPECT_NE(Sources().GetRowByIdentifier(queue::kRemoteServersSectionID), nullptr);
  // With the pane hidden the bottom area takes the button's place and gives it back.
  ToggleLeftPane();
  const Rect bottom = Frame(mainwindow::kBottomArea);
  SetSimpleMode(true);
  SetSimpleMode(false);
  EXPECT_EQ(Frame(mainwindow::kBottomArea), bottom);
}

TEST_F(MainWindowTest, PathBarComesOnceAndGoes) {
  Create();
  const Rect area = Frame(mainwindow::kListArea);
  HidePathBar();
  EXPECT_EQ(Frame(mainwindow::kListArea), area);
  ShowPathBar();
  ShowPathBar();
  ASSERT_NE(GetPathBar(), nullptr);
  EXPECT_EQ(Frame(mainwindow::kListArea).y, area.y + 20);
  EXPECT_EQ(Frame(mainwindow::kRemotePathBar), (Rect{area.x, area.y, area.width, 20}));
  HidePathBar();
  EXPECT_EQ(GetPathBar(), nullptr);
  EXPECT_EQ(Frame(mainwindow::kListArea), area);
}

TEST_F(MainWindowTest, ASheetCoversTheWindowWhileItIsOpen) {
  Create();
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kSheet;
  desc.parent = GetMainWindow();
  desc.content = {0, 0, 300, 120};
  auto sheet = toolbox::Window::Create(desc);
  EXPECT_EQ(FindMainControl(mainwindow::kShader), nullptr);
  EXPECT_TRUE(GetMainWindow()->IsZoomable());
  ASSERT_EQ(sheet->ShowSheet(), runtime::kNoErr);
  toolbox::Control* shader = FindMainControl(mainwindow::kShader);
  ASSERT_NE(shader, nullptr);
  EXPECT_EQ(shader->Bounds().GetSize(), GetMainWindow()->ContentBounds().GetSize());
  EXPECT_FALSE(GetMainWindow()->IsZoomable()) << "no zooming under a sheet";
  sheet->HideSheet();
  EXPECT_EQ(FindMainControl(mainwindow::kShader), nullptr);
  EXPECT_TRUE(GetMainWindow()->IsZoomable());
  sheet->Release();
}

TEST_F(MainWindowTest, BadgesFollowTheirNotifications) {
  Create();
  const RowRef downloads = Sources().GetRowByIdentifier(queue::kMyDownloadsViewID);
  EXPECT_EQ(downloads->badgeValue, 0);
  queue::gActiveDownloads = {1, 2, 3};
  EXPECT_EQ(downloads->badgeValue, 0) << "only the notification updates it";
  PostActiveDownloadsChange();
  EXPECT_EQ(downloads->badgeValue, 3);
  MainWindowNotificationHandler("something else");
  EXPECT_EQ(downloads->badgeValue, 3);
}

class OneHost : public browser::NoRemoteRows {
 public:
  std::optional<browser::RemoteHost> GetHostForViewID(std::uint32_t id) override {
    if (id != 1030) return std::nullopt;
    browser::RemoteHost h;
    h.hostType = browser::kHostFTP;
    return h;
  }
};

TEST_F(MainWindowTest, ADragLeavingTheWindowGivesBackTheViewsShownBeforeIt) {
  browser::RemoteRowsServiceSlot::Set(std::make_unique<OneHost>());
  Create();
  SourceListAddHostRow(Sources(), *browser::RemoteRowsServiceSlot::Get().GetHostForViewID(1030), 1030);
  const std::set<queue::ViewID> before = queue::GetDisplayedViewSet();
  ASSERT_EQ(before, std::set<queue::ViewID>{queue::kMyDownloadsViewID});
  toolbox::DragItem file;
  file.flavors[toolbox::kFlavorFileURL] = "file:///tmp/a.txt";
  toolbox::Drag drag;
  drag.items = {file};
  ASSERT_TRUE(GetSourceList()->SourceListDragHandler(drag, 1030));
  GetSourceList()->SpringLoadedOpenRow();
  EXPECT_EQ(queue::GetDisplayedViewSet(), std::set<queue::ViewID>{1030});
  PostDragLeftWindow();
  EXPECT_EQ(queue::GetDisplayedViewSet(), before);
  browser::RemoteRowsServiceSlot::Set(nullptr);
}

TEST_F(MainWindowTest, QuitWritesTheWindowState) {
  Create();
  ToggleLeftPane();
  Sources().GetRowByIdentifier(queue::kSearchForSectionID)->open = false;
  SetFilterScope(kFilterScopeCompleted);
  SaveMainWindowState();
  auto& prefs = util::SettingsPreferences();
  EXPECT_EQ(prefs.GetBool("hideLeftPane"), true);
  EXPECT_EQ(prefs.GetBool("hideSearchBar"), false);
  EXPECT_EQ(prefs.GetBool("was_open_library"), true);
  EXPECT_EQ(prefs.GetBool("was_open_search_for"), false);
  EXPECT_EQ(prefs.GetInteger("previous_queue_state"), 4);
  EXPECT_EQ(prefs.GetInteger("Splitter xpos"), 190);
  // What was saved is what the next start restores.
  const MainWindowStartState next = ReadMainWindowStartState(1);
  EXPECT_TRUE(next.hideLeftPane);
  EXPECT_EQ(next.wasOpen[1], false);
  EXPECT_EQ(next.previousQueueState, 4);
}

// ---- pictures ----

TEST_F(MainWindowTest, PictureWithAnEmptyQueue) {
  Create();
  Picture("main_window_empty");
}

TEST_F(MainWindowTest, PictureWithDownloadsInSeveralStatesAndFolders) {
  struct Row {
    const char* name;
    queue::DownloadStatus status;
    std::int64_t size, received;
    float rate;
  } rows[] = {
      {"debian-12.8.0-amd64-netinst.iso", queue::kStatusDownloading, 661651456, 412000000, 3120.5f},
      {"linux-6.12.tar.xz", queue::kStatusDownloading, 147000000, 23000000, 880.0f},
      {"qt-everywhere-src-6.8.1.tar.xz", queue::kStatusQueued, 1048576000, 0, 0},
      {"blender-4.3.0-linux-x64.tar.xz", queue::kStatusOnHold, 356515840, 104857600, 0},
      {"firmware-update.bin", queue::kStatusFailed, -1, 0, 0},
      {"podcast-episode-42.mp3", queue::kStatusCompleted, 52428800, 52428800, 0},
      {"libreoffice-24.8.deb", queue::kStatusStopped, 210000000, 5000000, 0},
  };
  queue::AddFolder(0x100001, "Linux Images");
  queue::AddFolder(0x100002, "Music");
  for (const auto& r : rows) {
    auto w = Add(r.name, r.status, r.size, r.received, r.rate);
    if (std::string(r.name).find(".iso") != std::string::npos) queue::AddElementToListableFolder(0x100001, w);
  }
  queue::gActiveDownloads = {1, 2};
  Create();
  PostActiveDownloadsChange();
  std::set<std::string> names;
  for (const auto& r : rows) names.insert(r.name);
  Picture("main_window_downloads", names);
}

TEST_F(MainWindowTest, PictureWithTheSourcePaneHidden) {
  Add("archive-2024.tar.gz", queue::kStatusDownloading, 90000000, 30000000, 512.0f);
  Add("notes.pdf", queue::kStatusCompleted, 2000000, 2000000);
  MainWindowStartState state;
  state.hideLeftPane = true;
  Create(state);
  Picture("main_window_pane_hidden", {"archive-2024.tar.gz", "notes.pdf"});
}

TEST_F(MainWindowTest, PictureOfTheSimpleInterface) {
  Add("holiday-photos.zip", queue::kStatusQueued, 300000000, 0);
  Add("manual.pdf", queue::kStatusCompleted, 4000000, 4000000);
  MainWindowStartState state;
  state.simpleMode = true;
  Create(state);
  Picture("main_window_simple", {"holiday-photos.zip", "manual.pdf"});
}

}  // namespace
}  // namespace ui
