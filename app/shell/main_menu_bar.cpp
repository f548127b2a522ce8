#include "app/shell/main_menu_bar.h"

#include "app/browser/hosts/host_list.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/shell/startup.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/services/menu_bar_hooks.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/toolbox/menus/window_menu.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

using toolbox::FourCharCode;
using toolbox::Menu;
using toolbox::MenuItem;
using toolbox::MenuRef;
using values::FourCC;
using values::Localized;

MenuBarMode& LastMode() {
  static MenuBarMode mode;
  return mode;
}

// The Window menu's fixed items: those before the list of open windows.
int& WindowMenuFixedItems() {
  static int count = 0;
  return count;
}

MenuItem Item(const char* text, const char (&command)[5], const char* key = "", unsigned modifiers = 0) {
  return MenuItem{
      .text = Localized(text), .command = FourCC(command), .key_equivalent = key, .modifiers = modifiers};
}

MenuItem Separator() {
  return MenuItem{.separator = true};
}

MenuRef MakeMenu(std::int16_t id, const char* title, std::initializer_list<MenuItem> items) {
  MenuRef menu = Menu::Create(id, Localized(title));
  for (const MenuItem& item : items) menu->AppendItem(item);
  return menu;
}

MenuRef ApplicationMenu() {
  return MakeMenu(kApplicationMenuID, "Truvane",
                  {Item("About Truvane", "Abou"), Separator(), Item("Preferences...", "pref", ","),
                   Item("Check for Updates...", "ChkV"), Separator(), Item("Quit Truvane", "quit", "Q")});
}

MenuRef FileMenu(bool advanced) {
  MenuRef menu =
      MakeMenu(kFileMenuID, "File",
               {Item("New Download...", "New ", "N"), Item("Add Downloads from Page...", "AurS"), Separator(),
                Item("New Folder", "QWNF", "N", toolbox::kModifierShift), Item("New Smart Folder...", "NeSF"),
                Separator(), Item("Open Download Folder", "ODFo")});
  if (advanced) {
    for (const MenuItem& item : {Item("Open Received Files Folder", "OUFo"), Separator(),
                                 Item("Connect to Server...", "Conn", "K"), Item("Send File...", "SnFi"),
                                 Item("Upload to File Host...", "URse"), Item("Import Favourites", "ImpF")})
      menu->AppendItem(item);
  }
  menu->AppendItem(Separator());
  menu->AppendItem(Item("Close", "clos", "W"));
  return menu;
}

MenuRef EditMenu(bool advanced) {
  MenuRef menu =
      MakeMenu(kEditMenuID, "Edit",
               {Item("Undo", "undo", "Z"), Item("Redo", "redo", "Z", toolbox::kModifierShift), Separator(),
                Item("Cut", "cut ", "X"), Item("Copy", "copy", "C"), Item("Paste", "past", "V"),
                Item("Delete", "clea"), Item("Select All", "sall", "A"), Separator(),
                Item("Copy Download Addresses", "CuRl"), Item("Edit...", "Edit", "E")});
  if (advanced) menu->AppendItem(Item("Duplicate", "Dupl", "D"));
  return menu;
}

MenuRef DownloadQueueMenu(bool advanced) {
  MenuRef menu = MakeMenu(kQueueMenuID, "Queue",
                          {Item("Start Queue", "Star"),
                           Item("Stop Queue", "Stop"),
                           Separator(),
                           Item("Start", "StaD"),
                           Item("Stop", "StoD", "."),
                           Item("Hold", "HolD"),
                           Item("Queue", "QDow"),
                           Separator(),
                           Item("Move Up", "DSUp"),
                           Item("Move Down", "DSDo"),
                           Item("Move Up 5", "DSU5"),
                           Item("Move Down 5", "DSD5"),
                           Separator(),
                           Item("Remove", "Remo"),
                           Item("Move to Trash", "MvTT"),
                           Separator(),
                           Item("Clear Finished Downloads...", "ClIn"),
                           Item("Clear Stopped Downloads...", "ClC*"),
                           Item("Clean Up Queue...", "ClrO"),
                           Item("Clear List...", "ClrQ")});
  if (advanced) {
    menu->AppendItem(Separator());
    menu->AppendItem(Item("Schedule...", "Sche"));
    menu->AppendItem(Item("Bandwidth...", "Band"));
  }
  return menu;
}

MenuRef UploadQueueMenu(bool) {
  return MakeMenu(kQueueMenuID, "Queue",
                  {Item("Start Upload Queue", "StaU"), Item("Stop Upload Queue", "StoU"), Separator(),
                   Item("Start", "StaD"), Item("Stop", "StoD", "."), Item("Hold", "HolD"),
                   Item("Queue", "QDow"), Separator(), Item("Move Up", "DSUp"), Item("Move Down", "DSDo"),
                   Item("Move Up 5", "DSU5"), Item("Move Down 5", "DSD5"), Separator(),
                   Item("Remove", "Remo"), Separator(), Item("Clear Finished Uploads...", "ClIn"),
                   Item("Clear Inactive Uploads...", "ClC*"), Separator(), Item("Send File...", "SnFi")});
}

MenuRef ViewMenu(bool advanced, bool remote) {
  MenuRef menu = MakeMenu(kViewMenuID, "View",
                          {Item("Mini Window", "ShFl", "M", toolbox::kModifierShift),
                           Item("Inspector", "Insp", "I"), Item("Transfer Information", "Vdet", "L"),
                           Separator(), Item("kHideLeftPane", "TQlp"), Item("kHideFilterBar", "TgSb"),
                           Separator(), Item(advanced ? "Simple Interface" : "Advanced Interface", "TadM")});
  if (remote) {
    menu->AppendItem(Separator());
    menu->AppendItem(Item("kHideInvisibles", "TSin"));
    menu->AppendItem(Item("kViewInSplitPane", "VSpl"));
  }
  return menu;
}

// The platform's standard Window menu: minimise, zoom, cycle, bring all to front.
MenuRef StandardWindowMenu() {
  return MakeMenu(kWindowMenuID, "Window",
                  {Item("Minimize", "mini"), Item("Zoom", "zoom"), Separator(),
                   Item("Cycle Through Windows", "rotw"), Separator(), Item("Bring All to Front", "bfrt")});
}

// The application's items go in around the zoom item, as the standard menu's own.
MenuRef WindowMenu(bool advanced) {
  MenuRef menu = StandardWindowMenu();
  const int z = menu->IndexOfCommand(FourCC("zoom"));
  menu->InsertItem(z + 2, Item("Truvane", "NQWi"));
  if (MenuItem* main = menu->Item(z + 3)) main->key_equivalent = "1";
  menu->InsertItem(z + 2, Separator());
  menu->InsertItem(z + 5, Item("View Log", "View"));
  menu->InsertItem(z + 6, Item("Reveal Log File", "RFLo"));
  if (advanced) {
    menu->InsertItem(z + 7, Item("View Server Activity", "VSAc"));
    menu->InsertItem(z + 7, Separator());
  }
  const int front = menu->IndexOfCommand(FourCC("bfrt"));
  menu->InsertItem(front - 1, Separator());
  return menu;
}

MenuRef HelpMenu() {
  return MakeMenu(kHelpMenuID, "Help",
                  {Item("Truvane Home Page", "GoHo"), Item("Truvane Forum", "GoFo"),
                   Item("Open Scripts Folder", "OScF")});
}

bool MainWindowInFront() {
  auto front = toolbox::Window::FrontWindow();
  return front && front.get() == ui::GetMainWindow();
}

bool MainOrMiniWindowInFront() {
  auto front = toolbox::Window::FrontWindow();
  return front && (front.get() == ui::GetMainWindow() || front->kind() == toolbox::WindowKind::kFloating);
}

void ShowOnMainWindow() {
  toolbox::Window* main = ui::GetMainWindow();
  if (!main) return;
  if (main->HasMenuBar())
    main->RebuildMenuBar();
  else
    main->SetMenuBar(&toolbox::GetMenuBar());
}

}  // namespace

MenuBarMode MenuBarModeFor(std::uint32_t viewID, bool simpleMode) {
  MenuBarMode mode;
  mode.queueKind = viewID == queue::kMyUploadsViewID ? 1 : 2;
  mode.advanced = simpleMode ? 0 : 1;
  const bool remote = (viewID >= queue::kPeerHostsViewID && viewID <= queue::kWebDAVHostsViewID) ||
                      (viewID >= 1024 && viewID <= 4096);
  mode.viewKind = remote ? 1 : 2;
  return mode;
}

bool BuildMainMenuBarFor(std::uint32_t viewID, bool simpleMode) {
  const MenuBarMode mode = MenuBarModeFor(viewID, simpleMode);
  if (mode == LastMode()) {
    // Built before the main window existed (its creation sets the interface): it gets
    // the bar now.
    if (toolbox::Window* main = ui::GetMainWindow(); main && !main->HasMenuBar()) ShowOnMainWindow();
    return false;
  }
  const bool advanced = mode.advanced == 1;

  toolbox::MenuBar& bar = toolbox::GetMenuBar();
  bar.Clear();
  bar.Append(ApplicationMenu());
  bar.Append(FileMenu(advanced));
  bar.Append(EditMenu(advanced));
  bar.Append(mode.queueKind == 1 ? UploadQueueMenu(advanced) : DownloadQueueMenu(advanced));
  bar.Append(ViewMenu(advanced, mode.viewKind == 1));
  bar.Append(HelpMenu());
  LastMode() = mode;

  MenuRef window = WindowMenu(advanced);
  WindowMenuFixedItems() = window->CountItems();
  window->SetPopulateHandler([](Menu& menu) { toolbox::RefreshWindowMenu(menu, WindowMenuFixedItems()); });
  bar.Insert(window, kHelpMenuID);

  // The application menu holds the preferences item once.
  if (MenuRef app = bar.Find(kApplicationMenuID)) {
    const int first = app->IndexOfCommand(FourCC("pref"));
    for (int i = app->CountItems(); i > first && first > 0; --i)
      if (app->Item(i)->command == FourCC("pref")) app->DeleteItem(i);
  }
  if (MenuRef edit = bar.Find(kEditMenuID)) edit->SetPopulateHandler(UpdateMainMenus);
  if (MenuRef view = bar.Find(kViewMenuID)) view->SetPopulateHandler(UpdateViewMenu);
  ShowOnMainWindow();
  return true;
}

bool BuildMainMenuBar() {
  const std::uint32_t view = ui::GetMainWindow() ? ui::GetMainWindowCurrentView() : gCurrentViewID;
  const bool simple = ui::GetMainWindow() ? ui::IsSimpleMode() : !util::CurrentSettings()->advancedMode;
  return BuildMainMenuBarFor(view, simple);
}

MenuBarMode CurrentMenuBarMode() {
  return LastMode();
}

void ResetMainMenuBar() {
  LastMode() = {};
  toolbox::GetMenuBar().Clear();
}

void UpdateViewMenu(Menu& menu) {
  if (!MainWindowInFront()) return;
  if (const int i = menu.IndexOfCommand(FourCC("TSin")))
    menu.SetItemText(
        i, Localized(util::CurrentSettings()->hideHiddenFiles ? "kShowInvisibles" : "kHideInvisibles"));
  int pane = menu.IndexOfCommand(FourCC("VSpl"));
  if (pane == 0) pane = menu.IndexOfCommand(FourCC("ViAl"));
  if (pane == 0) return;
  const browser::HostRef host = browser::HostForViewID(ui::GetMainWindowCurrentView());
  const bool split = host && host->usingSplitPanes();
  menu.SetItemCommand(pane, FourCC(split ? "ViAl" : "VSpl"));
  menu.SetItemText(pane, Localized(split ? "kViewAsList" : "kViewInSplitPane"));
}

void UpdateMainMenus(Menu& menu) {
  if (!MainOrMiniWindowInFront()) return;
  auto& undo = queue::TruvaneUndo::Shared();
  if (menu.CountItems() < 2) return;
  menu.SetItemText(1, undo.UndoMenuItemTitle());
  menu.SetItemEnabled(1, undo.CanUndo());
  menu.SetItemText(2, undo.RedoMenuItemTitle());
  menu.SetItemEnabled(2, undo.CanRedo());
}

void InstallMainMenuBar() {
  ui::MenuBarHooksSlot::Get().buildMainMenuBar = [] { BuildMainMenuBar(); };
}

}  // namespace shell
