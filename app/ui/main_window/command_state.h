#pragma once
// Which commands and toolbar items are available, from the main list's selection and the
// views on screen.
//
// The selection is first summarised (how many downloads and uploads are selected, the OR
// of their statuses, which kinds of remote rows...), then a table of rules turns the
// summary and the window's context into an enabled state per command and per toolbar item.
// The rules are pure data over that summary, so tests check them without a window.
//
// Menu items are enabled through the update-status pass of the commands ('cmds' kind 2):
// the handler installed on the application target answers for every command of the
// table, so an item is set whatever holds it (menu bar, pop-up, button). Some rules hold
// only for a given menu, or only for the first items of a menu that carry the command.
// Toolbar items are set directly by identifier (SetToolbarItemEnabled).
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/services/main_list_browser.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/status.h"
#include "platform/values/fourcc.h"

namespace toolbox {
class Control;
}

namespace ui {

// Menus the rules name.
inline constexpr std::int16_t kQueueMenuID = 132;
inline constexpr std::int16_t kViewMenuID = 133;
inline constexpr std::int16_t kServersMenuID = 135;

struct SelectionSummary {
  int downloads = 0;                   // D
  std::uint32_t downloadStatuses = 0;  // S: the OR of their status values
  bool localDownload = false;          // L: host id 0
  bool hasFile = false;               // A: a data-file or finished-file alias (or an upload, a received file)
  bool remoteFTPItem = false;         // F
  bool ftpNode = false;               // N
  bool webDAVChild = false;           // W: a WebDAV or iDisk node with a parent
  bool webDAVNode = false;            // M
  bool favourite = false;             // V
  int uploads = 0;                    // U
  std::uint32_t uploadStates = 0;     // T: the OR of their states
  bool uploadUploading = false;       // a selected upload is uploading (32)
  bool receivedFile = false;          // R: finished (1) or incomplete (2)
  bool receivedFileArriving = false;  // R3
};

SelectionSummary SummarizeSelection(const std::vector<MainListItem>& rows);

// What the rules read besides the selection.
struct CommandContext {
  bool queueRunning = false;
  bool uploadQueueRunning = false;
  bool remoteHostDisplayed = false;
  bool advancedMode = true;
  bool listViewShown = true;  // the current view is a list view
  bool filtersViewDisplayed = false;
  bool listHasRows = false;
  bool downloadsOrUploadsDisplayed = false;  // My Downloads (1) or My Uploads (20)
  bool queueOrderAboveOne = false;           // more than one Queued download in the order
  bool uploadsWaitingAboveOne = false;
  bool sourceListOnFavouriteHost = false;  // the source list has the focus on a favourite's host
  // Edit opens the download editor for downloads; uploads and favourites have editors of
  // their own, and until one exists Edit is not offered for what only it would edit.
  bool uploadEditorBuilt = false;
  bool favouriteEditorBuilt = false;
};
CommandContext CurrentCommandContext();

// One command's state. `menu` 0 applies wherever the command is; otherwise only in that
// menu, and with `firstItems` only to that many first items of the menu with the command.
struct CommandRule {
  values::FourCharCode command = 0;
  std::int16_t menu = 0;
  int firstItems = 0;
  bool enabled = false;
};

struct CommandEnabling {
  std::vector<CommandRule> commands;
  std::vector<std::pair<std::string, bool>> toolbarItems;  // identifier suffixes

  // The state of `command` asked from menu `menu` (0 = not a menu) at its `occurrence`-th
  // item with the command (1-based); nothing when no rule covers it.
  std::optional<bool> Lookup(values::FourCharCode command, std::int16_t menu, int occurrence) const;
  std::optional<bool> ToolbarItem(const std::string& suffix) const;
};

CommandEnabling ComputeCommandEnabling(const SelectionSummary& s, const CommandContext& c);

// Enables the menu commands and toolbar items from the main list's selection and the
// displayed views. An error when the selection cannot be read (nothing changes then).
runtime::Status UpdateQueueCommandState();
// The state last computed (what the update-status handler answers from).
const CommandEnabling& CurrentCommandEnabling();

// The update-status handler on the application target.
runtime::HandlerRef InstallCommandStateHandler();

// Index 0, 1, 2 sets the control's value to 1, 2, 3; other indexes change nothing.
void SetControlValueFromIndex(toolbox::Control& control, int index);

}  // namespace ui
