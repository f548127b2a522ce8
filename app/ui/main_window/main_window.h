#pragma once
// The main queue window: the source list on the left, the main list with the filter bar
// above it, and the bottom bar with the action, bandwidth and uploads buttons, the pane
// grip and the status text. CreateMainWindow builds it once at start-up, after the
// settings and the queue are loaded; it is never destroyed (closing hides it).
//
// Controls are found by {'Truv', id} (the table below). The module state - the pane and
// filter bar shown, the filter scope, the local split ratio and the current view - lives
// here for the run; the quit writes it back (SaveMainWindowState).
//
// Main thread only.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/queue/folders/view_ids.h"
#include "platform/toolbox/windows/window.h"

namespace ui {

class CustomList;
class SourceList;

// Control ids of the main window (signature 'Truv').
namespace mainwindow {
inline constexpr std::int32_t kMainList = values::FourCC("DtBr");
inline constexpr std::int32_t kSourcePlaceholder = values::FourCC("FlQl");
inline constexpr std::int32_t kSourceList = values::FourCC("CLis");
inline constexpr std::int32_t kPaneGrip = values::FourCC("QWSp");
inline constexpr std::int32_t kFilterBar = 10000;
inline constexpr std::int32_t kBottomArea = 10001;
inline constexpr std::int32_t kStatusText = 10002;
inline constexpr std::int32_t kBandwidthButton = 10003;
inline constexpr std::int32_t kActionButton = 27;
inline constexpr std::int32_t kUploadsButton = 100;
inline constexpr std::int32_t kListArea = 2000;
inline constexpr std::int32_t kLocalPathBar = 2001;
inline constexpr std::int32_t kRemotePathBar = 2002;
inline constexpr std::int32_t kUnderSourceList = 100000;
inline constexpr std::int32_t kLocalPane = values::FourCC("QFbi");
inline constexpr std::int32_t kLocalSplit = values::FourCC("QFSi");
inline constexpr std::int32_t kShader = values::FourCC("Shae");
}  // namespace mainwindow

enum FilterScope : int {
  kFilterScopeAll = 1,
  kFilterScopeInProgress = 2,
  kFilterScopePaused = 3,
  kFilterScopeCompleted = 4,
  kFilterScopeQueued = 5,
  kFilterScopeIncomplete = 6,
};

// What creation reads of the settings and the saved window state.
struct MainWindowStartState {
  std::int16_t xpos = 0, ypos = 0, xsize = 0, ysize = 0;
  float windowAlpha = 1.0f;
  std::int16_t splitterXpos = 190;  // "Splitter xpos"
  int fontSize = 2;                 // 1 regular, 2 small, other mini
  bool hideOnStartup = false;
  bool simpleMode = false;
  bool showUploads = true, showReceivedFiles = true, showServers = true, showHistory = true;
  // "was_open_library", "was_open_search_for", "was_open_remote", "was_open_my_folders"
  std::array<std::optional<bool>, 4> wasOpen{};
  bool hideLeftPane = false;
  bool hideSearchBar = false;
  std::optional<std::int64_t> previousQueueState;
  bool defaultToMini = false;
  queue::ViewID currentView = queue::kMyDownloadsViewID;
};
// From the settings store and the application's preferences.
MainWindowStartState ReadMainWindowStartState(queue::ViewID currentView);

// Builds the window and, unless the state says otherwise, shows it.
void CreateMainWindow(const MainWindowStartState& state);
// Closes the window for good and forgets the module state (tests, and the quit).
void DisposeMainWindow();

toolbox::Window* GetMainWindow();
CustomList* GetMainFolderList();
SourceList* GetSourceList();
toolbox::Control* FindMainControl(std::int32_t id);

bool IsLeftPaneShown();
bool IsFilterBarShown();
FilterScope GetFilterScope();
bool IsSimpleMode();
queue::ViewID GetMainWindowCurrentView();

// Notifications: "active downloads change", "active uploads change" (no object),
// "changeSearchString" {"newString"}, "batchActionChange" {"batchID"} (object the id).
void PostActiveDownloadsChange();
void PostActiveUploadsChange();
void PostChangeSearchString(const std::string& text);
void PostBatchActionChangeNotification(const std::string& batchID);
void PostDragLeftWindow();
// The badges of My Downloads, My Uploads and Received Files follow these.
void MainWindowNotificationHandler(const std::string& name);
// Re-reads the preferences when a plug-in changed the browser's configuration.
void ObservePluginBrowserConfig();
void SyncPreferencesOnPluginChange();

// The window's state into the preferences: its bounds and transparency, the pane width,
// the pane and filter bar hidden, the sections expanded, the filter scope.
void SaveMainWindowState();

// Module state, shared with the layout operations (main_window_layout.cpp).
struct MainWindowModule {
  toolbox::WindowRef window;
  bool leftPaneShown = true;
  bool filterBarShown = true;
  FilterScope filterScope = kFilterScopeAll;
  float splitRatio = -1;
  queue::ViewID currentView = queue::kMyDownloadsViewID;
  bool simpleMode = false;
};
MainWindowModule& MainWindowState();

}  // namespace ui
