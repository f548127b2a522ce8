#pragma once
// What the main window does with commands, window events and keys (Return or Enter starts
// the selected downloads; in the list, it ends the editing of a cell first): the window's handler
// (filter scopes and panes are the layout's, main_window.cpp), the main list's handler
// (removing, copying and pasting rows, favourites), the action menu's enabling, removing
// and editing favourites, and stepping through the list's rows (the mini window).
//
// A command a handler does not know returns kEventNotHandledErr, so it travels on to the
// application's handler.
//
// Main thread only.

#include <optional>
#include <string>
#include <vector>

#include <span>

#include "app/ui/commands/command_table.h"
#include "app/ui/services/main_list_browser.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/status.h"
#include "platform/toolbox/drawing/drawing_context.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/values/value.h"

namespace ui {

// The window's and the main list's lines of the command table (command_table.h).
std::span<const CommandEntry> MainWindowCommandEntries();
std::span<const CommandEntry> MainListCommandEntries();

runtime::Status MainWindowCommandHandler(runtime::HandlerCall& call, runtime::Event& event);
runtime::Status MainWindowEventHandler(runtime::HandlerCall& call, runtime::Event& event);
runtime::Status ActionMenuCommandHandler(runtime::HandlerCall& call, runtime::Event& event);

// A new user folder named "Untitled": its row in the source list, selected and being
// renamed (the list pane opened wide enough first).
void MakeNewFolder();

void RemoveSelectedFavourites();
void DuplicateSelectedFavourites();
// The connections of the selected connected FTP and FTPS favourites are closed.
void DisconnectSelectedFavourites();

// The sensitive-server rules ("blackList") with the hosts of the downloads' URL entries
// added (each host once, and none a rule already covers) or removed.
void CollectHostNameApplier(const values::Value& urlEntry, std::vector<std::string>& hosts);
void RemoveSensitiveHostApplier(const values::Value& urlEntry, std::vector<std::string>& hosts);
void EditSelectedFavourites();

// The row after `item` (the first for none, the first again past the last); nothing for an
// empty list. The previous one: the last before the first.
std::optional<MainListItem> GetNextBrowserItem(const MainListItem* item);
std::optional<MainListItem> GetPreviousBrowserItem(const MainListItem* item);

// The window's smallest size: its height 120; its width 200 right of the pane grip's edge
// when the edge lies beyond 99, else 300.
struct MinimumSize {
  double width = 0, height = 0;
};
MinimumSize MainWindowMinimumSize(double gripRightEdge);

// The main list's horizontal scroll bar shows only when its columns are wider than the list
// less the vertical bar's 14 px (the vertical bar always shows).
bool MainListNeedsHorizontalScrollBar(int columnsWidth, double listWidth);
// The insertion mark of a drag over `target` (0: none): a black line 2 px wide across the
// context, 1 px below the top of the target's row.
void DrawDropInsertionMark(toolbox::DrawingContext& context, const toolbox::ListView& list,
                           toolbox::ListItemID target);

// Installs the handlers on the main window, its list and its status text, the command
// state's update handler, the toolbar and the bandwidth menu (with the window; main thread).
void InstallMainWindowCommands();
void UninstallMainWindowCommands();

}  // namespace ui
