#include "app/ui/main_window/main_window.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "app/queue/adding/start_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/main_window/window_commands.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "app/ui/views/resource_images.h"
#include "app/ui/views/small_views.h"
#include "app/ui/views/split_views.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/distributed_notification_center.h"
#include "platform/runtime/notification_center.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/localize.h"

namespace ui {

using toolbox::ControlSpec;
using toolbox::Rect;
using values::FourCC;

namespace {

// The window as first laid out ("MainC"): the frames creation starts from.
constexpr double kNibWidth = 860;
constexpr double kNibHeight = 560;
constexpr double kNibPaneWidth = 190;
constexpr double kBottomBar = 23;
constexpr double kFilterBarHeight = 25;
constexpr double kButtonWidth = 26;
constexpr double kMinimumPaneWidth = 140;

struct Module : MainWindowModule {
  std::unique_ptr<SourceList> sourceList;
  std::vector<runtime::Subscription> observers;
  runtime::HandlerRef closeHandler;
  runtime::HandlerRef sheetHandler;
  std::shared_ptr<runtime::DistributedNotificationCenter> distributed;
  runtime::Subscription pluginObserver;
};

Module& State() {
  static Module module;
  return module;
}

toolbox::ControlID ID(std::int32_t id) {
  return {toolbox::kApplicationSignature, id};
}

toolbox::Control* AddView(toolbox::Window& w, std::int32_t id, Rect frame, unsigned bindings,
                          std::shared_ptr<toolbox::View> view) {
  ControlSpec desc;
  desc.id = ID(id);
  desc.bounds = frame;
  desc.bindings = bindings;
  return w.AddView(desc, std::move(view));
}

using toolbox::kBindBottom;
using toolbox::kBindLeft;
using toolbox::kBindRight;
using toolbox::kBindTop;

// The nib: every control at its first frame, the source list's place held by a placeholder.
void BuildNib(toolbox::Window& w) {
  const double W = kNibWidth, H = kNibHeight, P = kNibPaneWidth, bottom = H - kBottomBar;
  ControlSpec placeholder;
  placeholder.kind = toolbox::ControlKind::kUserPane;
  placeholder.id = ID(mainwindow::kSourcePlaceholder);
  placeholder.bounds = {0, 0, P, bottom};
  placeholder.bindings = kBindLeft | kBindTop | kBindBottom;
  w.AddControl(placeholder);

  auto filterBar = std::make_shared<FilterBar>();
  AddView(w, mainwindow::kFilterBar, {P, 0, W - P, kFilterBarHeight}, kBindLeft | kBindTop | kBindRight,
          filterBar);

  ControlSpec listArea;
  listArea.kind = toolbox::ControlKind::kUserPane;
  listArea.id = ID(mainwindow::kListArea);
  listArea.bounds = {P, kFilterBarHeight, W - P, bottom - kFilterBarHeight};
  listArea.bindings = kBindLeft | kBindTop | kBindRight | kBindBottom;
  w.AddControl(listArea);

  const unsigned bottomLeft = kBindLeft | kBindBottom;
  // The buttons overlap by a pixel so that their borders make one line.
  AddView(w, mainwindow::kActionButton, {0, bottom, kButtonWidth, kBottomBar}, bottomLeft,
          std::make_shared<SmallButton>());
  AddView(w, mainwindow::kBandwidthButton, {kButtonWidth - 1, bottom, kButtonWidth, kBottomBar}, bottomLeft,
          std::make_shared<SmallButton>());
  AddView(w, mainwindow::kUploadsButton, {2 * (kButtonWidth - 1), bottom, kButtonWidth, kBottomBar},
          bottomLeft, std::make_shared<SmallButton>());
  const double gripX = 3 * (kButtonWidth - 1);
  AddView(w, mainwindow::kPaneGrip, {gripX, bottom, P - gripX, kBottomBar}, bottomLeft,
          std::make_shared<PaneGrip>());
  AddView(w, mainwindow::kBottomArea, {P - 1, bottom, W - P + 1, kBottomBar},
          kBindLeft | kBindRight | kBindBottom, std::make_shared<BevelledText>());
  ControlSpec status;
  status.kind = toolbox::ControlKind::kStaticText;
  status.id = ID(mainwindow::kStatusText);
  status.bounds = {P + 8, bottom + 4, W - P - 24, kBottomBar - 7};
  status.font = toolbox::GetThemeFont(toolbox::ThemeFont::kSmallSystem);
  status.bindings = kBindLeft | kBindRight | kBindBottom;
  w.AddControl(status);
}

toolbox::MenuRef MakeActionMenu() {
  auto menu = toolbox::Menu::Create(0, "actionMenu");
  menu->AppendItem(values::Localized("New Folder"), FourCC("QWNF"));
  menu->AppendItem(values::Localized("New Smart Folder..."), FourCC("NeSF"));
  menu->AppendSeparator();
  menu->AppendItem(values::Localized("kHideLeftPane"), FourCC("TQlp"));
  menu->AppendItem(values::Localized("kHideFilterBar"), FourCC("TgSb"));
  return menu;
}

template <class T>
T* ViewOf(std::int32_t id) {
  return dynamic_cast<T*>(FindMainControl(id) ? FindMainControl(id)->GetView() : nullptr);
}

void SetBadge(std::uint32_t row, std::int32_t count) {
  CustomList* list = GetMainFolderList();
  if (!list) return;
  if (const RowRef r = list->GetRowByIdentifier(row)) {
    r->badgeValue = count;
    list->InvalidateRow(r.get());
  }
}

// The filter bar's buttons, in their order, and the scopes their commands choose.
struct ScopeButton {
  const char* label;
  values::FourCharCode command;
  FilterScope scope;
};
constexpr ScopeButton kScopeButtons[] = {
    {"kSearchBarAllLabel", FourCC("SbSA"), kFilterScopeAll},
    {"kSearchBarInProgressLabel", FourCC("SbSI"), kFilterScopeInProgress},
    {"kSearchBarQueuedLabel", FourCC("SbSQ"), kFilterScopeQueued},
    {"kSearchBarPausedLabel", FourCC("SbSP"), kFilterScopePaused},
    {"kSearchBarCompletedLabel", FourCC("SbSC"), kFilterScopeCompleted},
    {"kSearchBarIncompleteLabel", values::FourCC("Sb!C"), kFilterScopeIncomplete},
};

}  // namespace

MainWindowModule& MainWindowState() {
  return State();
}

toolbox::Window* GetMainWindow() {
  auto& w = State().window;
  return w && !w->IsReleased() ? w.get() : nullptr;
}

toolbox::Control* FindMainControl(std::int32_t id) {
  toolbox::Window* w = GetMainWindow();
  return w ? w->FindControl(ID(id)) : nullptr;
}

CustomList* GetMainFolderList() {
  return AsCustomList(FindMainControl(mainwindow::kSourceList));
}

SourceList* GetSourceList() {
  return State().sourceList.get();
}

bool IsLeftPaneShown() {
  return State().leftPaneShown;
}
bool IsFilterBarShown() {
  return State().filterBarShown;
}
FilterScope GetFilterScope() {
  return State().filterScope;
}
bool IsSimpleMode() {
  return State().simpleMode;
}
queue::ViewID GetMainWindowCurrentView() {
  const queue::ViewID shown = queue::GetCurrentViewID();
  return shown ? shown : State().currentView;
}

MainWindowStartState ReadMainWindowStartState(queue::ViewID currentView) {
  MainWindowStartState s;
  const auto settings = util::CurrentSettings();
  s.xpos = settings->mainWindow.xpos;
  s.ypos = settings->mainWindow.ypos;
  s.xsize = settings->mainWindow.xsize;
  s.ysize = settings->mainWindow.ysize;
  s.windowAlpha = settings->mainWindow.windowAlpha;
  s.splitterXpos = settings->splitterXpos;
  s.fontSize = settings->fontSize;
  s.hideOnStartup = settings->hideOnStartup;
  s.simpleMode = !settings->advancedMode;
  s.showUploads = settings->showUploads;
  s.showReceivedFiles = settings->showReceivedFiles;
  s.showServers = settings->showServers;
  s.showHistory = settings->showHistory;
  const util::SettingKey<bool> keys[] = {util::kWasOpenLibraryKey, util::kWasOpenSearchForKey,
                                         util::kWasOpenRemoteKey, util::kWasOpenMyFoldersKey};
  for (std::size_t i = 0; i < 4; ++i) s.wasOpen[i] = util::ReadStoredSetting(keys[i]);
  s.hideLeftPane = util::ReadStoredSetting(util::kHideLeftPaneKey).value_or(false);
  s.hideSearchBar = util::ReadStoredSetting(util::kHideSearchBarKey).value_or(false);
  s.previousQueueState = util::ReadStoredSetting(util::kPreviousQueueStateKey);
  s.defaultToMini = util::ReadStoredSetting(util::kDefaultToMiniKey).value_or(false);
  s.currentView = currentView;
  return s;
}

void CreateMainWindow(const MainWindowStartState& start) {
  Module& m = State();
  if (GetMainWindow()) return;
  RegisterWindowIcons();

  // 2. The window, as laid out first.
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDocument;
  desc.title = "Truvane";
  desc.content = {80, 80, kNibWidth, kNibHeight};
  desc.resizable = true;
  m.window = toolbox::Window::Create(desc);
  toolbox::Window& w = *m.window;
  w.SetMinimumSize({480, 300});
  BuildNib(w);

  // 3. The bandwidth and action buttons.
  if (auto* b = ViewOf<SmallButton>(mainwindow::kBandwidthButton)) {
    b->SetIcon(GetIcon(kAppCreator, FourCC("Band")));
    b->SetHideMenuArrow(true);
  }
  if (auto* b = ViewOf<SmallButton>(mainwindow::kActionButton)) {
    b->SetIcon(GetIcon(kAppCreator, kIconAction));
    b->SetMenu(MakeActionMenu());
  }
  if (auto* b = ViewOf<SmallButton>(mainwindow::kUploadsButton))
    b->SetIcon(GetIcon(kAppCreator, FourCC("mYUl")));

  // 5. Handlers: closing hides the window; sheets cover it with the shader.
  m.closeHandler = w.InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowClose}},
                                    [](runtime::HandlerCall&, runtime::Event&) {
                                      if (auto* win = GetMainWindow()) win->Hide();
                                      return runtime::kNoErr;
                                    });
  m.sheetHandler = w.InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowSheetOpening},
                                     {toolbox::kEventClassWindow, toolbox::kEventWindowSheetClosing}},
                                    [](runtime::HandlerCall&, runtime::Event& e) {
                                      MainWindowSheetHandler(e.kind());
                                      return runtime::kEventNotHandledErr;
                                    });
  // Its commands (the filter bar's scopes, the pane, the bar...) go through the command
  // table: InstallMainWindowCommands below.

  // 6. Transparency.
  if (start.windowAlpha > 0 && start.windowAlpha < 1) w.SetOpacity(start.windowAlpha);

  // 7. The pane's width: at least 140; what lies right of it moves by the difference.
  double paneWidth = start.splitterXpos;
  if (paneWidth <= kMinimumPaneWidth) paneWidth = kMinimumPaneWidth;
  double delta = 0;
  if (toolbox::Control* grip = FindMainControl(mainwindow::kPaneGrip)) {
    grip->SetVisible(true);
    const Rect g = grip->Bounds();
    delta = paneWidth - g.Right();
    grip->SetBounds({g.x, g.y, paneWidth - g.x, g.height});
    for (std::int32_t id :
         {mainwindow::kBottomArea, mainwindow::kListArea, mainwindow::kFilterBar, mainwindow::kStatusText}) {
      if (toolbox::Control* c = FindMainControl(id)) {
        const Rect r = c->Bounds();
        c->SetBounds({r.x + delta, r.y, r.width - delta, r.height});
      }
    }
  }

  // 8. Properties.
  w.SetProperty(kAppCreator, FourCC("Last"), values::Value(std::string()));

  // 9. The main list in the list area; the views it shows choose the bars above it.
  if (MainList* list = GetMainList()) {
    if (toolbox::Control* area = FindMainControl(mainwindow::kListArea)) list->list().Embed(*area);
    list->SetFilterBarUpdater(UpdateBarsForView);
  }

  // 10. The filter bar.
  if (auto* bar = ViewOf<FilterBar>(mainwindow::kFilterBar)) {
    std::vector<std::string> labels;
    for (const auto& b : kScopeButtons) labels.push_back(values::Localized(b.label));
    bar->SetLabels(labels);
    bar->SetSelectedIndex(0);
    for (int i = 0; i < 6; ++i) bar->SetButtonCommand(i, kScopeButtons[i].command);
  }

  // 11. The current view: a remote host is not restored; a view without folder falls back.
  queue::ViewID view = start.currentView;
  if (view >= 1024 && view <= 4096) view = queue::kMyDownloadsViewID;
  if (!queue::LookUpFolder(view)) view = queue::kMyDownloadsViewID;
  m.currentView = view;

  // 12. The source list in the placeholder's place, widened by the pane's change.
  Rect sourceFrame{0, 0, paneWidth, kNibHeight - kBottomBar};
  unsigned sourceBindings = kBindLeft | kBindTop | kBindBottom;
  if (toolbox::Control* placeholder = FindMainControl(mainwindow::kSourcePlaceholder)) {
    const Rect r = placeholder->Bounds();
    sourceFrame = {r.x, r.y, r.width + delta, r.height};
    sourceBindings = placeholder->bindings();
    w.RemoveControl(placeholder);
  }
  ControlSpec listSpec;
  listSpec.id = ID(mainwindow::kSourceList);
  listSpec.bounds = sourceFrame;
  listSpec.bindings = sourceBindings;
  toolbox::Control* sourceControl = CreateCustomListInScrollView(w, listSpec);
  CustomList* list = AsCustomList(sourceControl);
  if (start.fontSize != 1 && list) list->SetFontSize(2);

  // 13 and 14. The rows.
  m.sourceList = std::make_unique<SourceList>(*list);
  m.sourceList->InstallCommandHandler(*sourceControl);
  const auto wasOpen = [&](std::size_t i) { return start.wasOpen[i].value_or(true); };
  RowRef library = SourceListCreateLibrarySection();
  library->open = wasOpen(0);
  RowRef downloads = SourceListCreateDownloadsRow();
  downloads->badgeValue = static_cast<std::int32_t>(queue::gActiveDownloads.size());
  std::vector<RowRef> libraryRows{downloads};
  m.simpleMode = start.simpleMode;
  m.sourceList->SetSimpleMode(start.simpleMode);
  if (!start.simpleMode) {
    if (start.showUploads) {
      RowRef uploads = SourceListCreateUploadsRow();
      uploads->badgeValue = upload::UploadHandoffServiceSlot::Get().CountActiveUploads();
      libraryRows.push_back(uploads);
    }
    if (start.showReceivedFiles) {
      RowRef received = SourceListCreateReceivedRow();
      received->badgeValue = sharing::PeerHostsServiceSlot::Get().RunningUploadServers();
      libraryRows.push_back(received);
    }
    if (start.showServers) libraryRows.push_back(SourceListCreateServersRow());
  }
  if (start.showHistory) libraryRows.push_back(SourceListCreateHistoryRow());
  std::vector<RowRef> top{library};
  if (!start.simpleMode) {
    RowRef remote = SourceListCreateRemoteServersSection();
    remote->open = wasOpen(2);
    top.push_back(remote);
  }
  RowRef searchFor = SourceListCreateSearchForSection();
  searchFor->open = wasOpen(1);
  RowRef myFolders = SourceListCreateMyFoldersSection();
  myFolders->open = wasOpen(3);
  top.push_back(searchFor);
  top.push_back(myFolders);
  std::vector<RowRef> smartRows, folderRows;
  {
    std::lock_guard lock(queue::gFoldersLock);
    for (const auto& [id, folder] : queue::gFolders) {
      const bool date = queue::IsDateFolderID(id);
      if (!date && !queue::IsUserFolderID(id) && !queue::IsSmartFolderID(id)) continue;
      const std::uint32_t flags = folder->flags();
      RowRef row;
      if (date) {
        row = std::make_shared<TRCustomListRow>(GetIcon(kAppCreator, FourCC("Hist")), folder->name(), id);
        smartRows.push_back(row);
      } else {
        row = std::make_shared<TRCustomListRow>(GetIcon(kAppCreator, FolderRowIconType(flags)),
                                                folder->name(), id);
        ((flags & queue::kFolderFlagSmart) && !(flags & queue::kFolderFlagShared) ? smartRows : folderRows)
            .push_back(row);
      }
    }
  }
  const auto byFolder = [](const RowRef& a, const RowRef& b) { return CompareFolderRows(*a, *b) < 0; };
  std::stable_sort(smartRows.begin(), smartRows.end(), byFolder);
  std::stable_sort(folderRows.begin(), folderRows.end(), byFolder);
  list->SetTopRows(top);
  list->SetRowChildren(library, libraryRows);
  list->SetRowChildren(searchFor, smartRows);
  list->SetRowChildren(myFolders, folderRows);
  SourceListSortFolderRows(*list);

  auto& center = runtime::NotificationCenter::Default();
  for (const char* name :
       {"active downloads change", "active uploads change", "Running upload servers changed"})
    m.observers.push_back(center.AddObserver(
        name, {}, [](const runtime::Notification& n) { MainWindowNotificationHandler(n.name); }));
  m.observers.push_back(center.AddObserver("DragLeftWindow", {}, [](const runtime::Notification&) {
    if (SourceList* s = GetSourceList()) s->SourceListEndDrag();
  }));

  // 15. Folder identifiers start again from the bottom of their ranges.
  queue::ResetFolderUIDCounters();

  // 16. The current view's row, or My Downloads.
  RowRef current = list->GetRowByIdentifier(m.currentView);
  if (!current || list->SetSelection({current}) != 0) {
    m.currentView = queue::kMyDownloadsViewID;
    list->SelectRow(list->GetRowByIdentifier(queue::kMyDownloadsViewID));
  }
  // Selecting the row showed its view, which takes every column away first: the window's own
  // columns come after it, or they would never be seen.
  if (MainList* mainList = GetMainList()) mainList->AddWindowColumns(m.currentView);

  // 17. Size and place (kept on a screen once the toolbar is attached, below).
  if (start.xsize != 0 && start.ysize != 0) w.SizeContent(start.xsize, start.ysize);
  if (start.xpos != 0 && start.ypos != 0) w.MoveTo(start.xpos, start.ypos);

  // 19. The pane, the filter bar and its scope as they were left.
  if (start.hideLeftPane) ToggleLeftPane();
  if (!start.hideSearchBar) {
    // The saved scope and the button that chooses it.
    struct {
      std::int64_t state;
      int button;
    } constexpr kRestore[] = {{2, 1}, {3, 3}, {4, 4}, {5, 2}, {6, 5}};
    for (const auto& r : kRestore) {
      if (start.previousQueueState != r.state) continue;
      if (auto* bar = ViewOf<FilterBar>(mainwindow::kFilterBar)) bar->SetSelectedIndex(r.button);
      SetFilterScope(static_cast<FilterScope>(r.state));
    }
  } else {
    ToggleFilterBar();
  }
  if (start.simpleMode) {
    m.simpleMode = false;
    SetSimpleMode(true);
  }

  // 18. A drag leaving the window (or dropped in it) gives the source list its views back.
  w.SetDragLeftHandler(PostDragLeftWindow);

  // 4. The toolbar, the window's commands, the status text and the bandwidth menu.
  InstallMainWindowCommands();

  // 17 (continued). The toolbar grew the frame upward from the content: only now is the
  // whole frame known, so only now can it be kept on the screen (before, the title and
  // menu bars ended above the screen's top on a first start).
  w.ConstrainToScreen(true);
  const Rect bounds = w.ContentBounds();
  const auto edge = [](double v) { return static_cast<std::int16_t>(v); };
  values::Dictionary port;
  port["top"] = values::Value(edge(bounds.y));
  port["left"] = values::Value(edge(bounds.x));
  port["bottom"] = values::Value(edge(bounds.Bottom()));
  port["right"] = values::Value(edge(bounds.Right()));
  w.SetProperty(kAppCreator, FourCC("wRec"), values::Value(std::move(port)));

  // 20. Shown unless the mini window or the settings keep it hidden.
  if (!start.defaultToMini && !start.hideOnStartup) w.Select();
}

void DisposeMainWindow() {
  Module& m = State();
  UninstallMainWindowCommands();
  if (MainList* list = GetMainList()) list->SetFilterBarUpdater(nullptr);
  m.observers.clear();
  m.pluginObserver = {};
  m.sourceList.reset();
  if (m.window) m.window->Release();
  m.window.reset();
  static_cast<MainWindowModule&>(m) = MainWindowModule{};
}

void PostActiveDownloadsChange() {
  runtime::NotificationCenter::Default().Post("active downloads change");
}
void PostActiveUploadsChange() {
  runtime::NotificationCenter::Default().Post("active uploads change");
}
void PostChangeSearchString(const std::string& text) {
  runtime::NotificationCenter::Default().Post("changeSearchString", {},
                                              values::Value({{"newString", values::Value(text)}}));
}
void PostBatchActionChange(const std::string& batchID) {
  runtime::NotificationCenter::Default().Post(
      "batchActionChange", runtime::ObjectHandle::Of(std::make_shared<std::string>(batchID)),
      values::Value({{"batchID", values::Value(batchID)}}));
}
void PostDragLeftWindow() {
  runtime::NotificationCenter::Default().Post("DragLeftWindow");
}

void MainWindowNotificationHandler(const std::string& name) {
  const auto settings = util::CurrentSettings();
  bool dock = false;
  if (name == "active uploads change") {
    SetBadge(queue::kMyUploadsViewID, upload::UploadHandoffServiceSlot::Get().CountActiveUploads());
    dock = settings->displayUploadCountInDock;
  } else if (name == "Running upload servers changed") {
    SetBadge(queue::kReceivedFilesViewID, sharing::PeerHostsServiceSlot::Get().RunningUploadServers());
    dock = settings->displayReceivedFilesInDock;
  } else if (name == "active downloads change") {
    SetBadge(queue::kMyDownloadsViewID, static_cast<std::int32_t>(queue::gActiveDownloads.size()));
    dock = settings->displayJobsInDock;
  }
  if (dock) MainListServicesSlot::Get().MarkDockTileChanged();
}

void SyncPreferencesOnPluginChange() {
  util::SynchronizeSettings();
}

void ObservePluginBrowserConfig() {
  Module& m = State();
  m.distributed = runtime::DistributedNotificationCenter::Default();
  if (!m.distributed) return;
  m.pluginObserver = m.distributed->AddObserver(
      "com.orbenix.truvane.pluginChangingBrowserConfig",
      [](const std::string&, const values::Value&) { SyncPreferencesOnPluginChange(); });
}

void SaveMainWindowState() {
  toolbox::Window* w = GetMainWindow();
  if (!w) return;
  const Rect bounds = w->ContentBounds();
  const auto i16 = [](double v) { return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0)); };
  values::Dictionary frame;
  frame["xpos"] = values::Value(i16(bounds.x));
  frame["ypos"] = values::Value(i16(bounds.y));
  frame["xsize"] = values::Value(i16(bounds.width));
  frame["ysize"] = values::Value(i16(bounds.height));
  frame["windowAlpha"] = values::Value(static_cast<float>(w->Opacity()));
  util::SetPreferenceValue("main window settings", values::Value(std::move(frame)));
  if (toolbox::Control* grip = FindMainControl(mainwindow::kPaneGrip))
    util::SetPreferenceValue("Splitter xpos", values::Value(i16(grip->Bounds().Right())));
  util::WriteSetting(util::kHideLeftPaneKey, !IsLeftPaneShown());
  util::WriteSetting(util::kHideSearchBarKey, !IsFilterBarShown());
  if (CustomList* list = GetMainFolderList()) {
    const std::pair<util::SettingKey<bool>, queue::ViewID> sections[] = {
        {util::kWasOpenLibraryKey, queue::kLibrarySectionID},
        {util::kWasOpenSearchForKey, queue::kSearchForSectionID},
        {util::kWasOpenRemoteKey, queue::kRemoteServersSectionID},
        {util::kWasOpenMyFoldersKey, queue::kMyFoldersSectionID}};
    for (const auto& [key, id] : sections)
      if (const RowRef row = list->GetRowByIdentifier(id)) util::WriteSetting(key, row->open);
  }
  util::WriteSetting(util::kPreviousQueueStateKey, static_cast<std::int64_t>(GetFilterScope()));
  SaveMainToolbarShown();
}

}  // namespace ui
