#pragma once
// The source list's meaning in the main window: the section rows and the built-in rows,
// the rows of folders, smart folders and connected remote servers, which rows may be
// selected together, the views the main list shows for the selection, drags and drops
// onto rows (queue items into folders, remote items downloaded, files sent to a server
// or a peer, a server row spring-loaded during a drag), each row's contextual menu and
// the menu commands that concern the selected rows. Commands it does not handle pass on
// to the window.
//
// Row identifiers are the view identifiers of the queue (app/queue/folders/view_ids.h).
// Remote servers and peers are read through the browser's and sharing's services.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/view_ids.h"
#include "app/ui/commands/command_table.h"
#include "app/ui/source_list/custom_list.h"
#include "platform/runtime/event_target.h"
#include "platform/toolbox/menus/menu.h"

namespace ui {

// Row builders; the main window arranges them under the sections.
RowRef SourceListCreateLibrarySection();
RowRef SourceListCreateSearchForSection();
RowRef SourceListCreateRemoteServersSection();
RowRef SourceListCreateMyFoldersSection();
RowRef SourceListCreateDownloadsRow();
RowRef SourceListCreateUploadsRow();
RowRef SourceListCreateReceivedRow();
RowRef SourceListCreateServersRow();
RowRef SourceListCreateHistoryRow();

// The icon type (creator 'Truv') of a folder row by the folder's flags.
values::FourCharCode FolderRowIconType(std::uint32_t flags);
// The folder's row appended (unsorted) under its section; nullptr when no folder has
// that identifier.
RowRef SourceListAddFolderRow(CustomList& list, queue::ViewID folder);
void SourceListSortChildren(CustomList& list, std::uint32_t identifier);
void SourceListSortFolderRows(CustomList& list);
// -1, 0, 1: date folders first by identifier, then smart before plain, shared before not,
// then labels without regard to case.
int CompareFolderRows(const TRCustomListRow& a, const TRCustomListRow& b);
void RefreshFolderRowIcons(CustomList& list, const std::vector<queue::ViewID>& folders);

// The row of the connected host behind view `identifier`, under Remote Servers.
RowRef SourceListAddHostRow(CustomList& list, const browser::RemoteHost& host, std::uint32_t identifier);
int CompareHostRows(const TRCustomListRow& a, const TRCustomListRow& b);
// Every host row shows its host again (the host behind a view identifier changes when an
// earlier one goes): label, icons, eject button, progress arrows and dimming; then the rows
// are sorted again.
void SourceListUpdateHostRows(CustomList& list);
// Removes the row; when it was the only selected row, the nearest selectable row above it
// is selected.
void SourceListRemoveRow(CustomList& list, std::uint32_t identifier);

constexpr bool IsHostRowIdentifier(std::uint32_t identifier) {
  return identifier >= queue::kFirstHostViewID && identifier <= queue::kLastHostViewID;
}
constexpr std::uint32_t HostIndexFromRowIdentifier(std::uint32_t identifier) {
  return identifier - queue::kFirstHostViewID;
}

struct SourceSelectionSummary {
  bool userFolder = false;
  bool server = false;
  bool other = false;
  bool smartOrDateFolder = false;
  std::uint32_t serverCount = 0;
  std::uint64_t builtIns = 0;  // bit = identifier, for 1, 2, 4, 7, 20, 22
};
void ClassifySourceSelection(const TRCustomListRow& row, SourceSelectionSummary& summary);
// One built-in row alone; any folders (user, smart, date) with or without My Downloads;
// or one server row alone.
bool SourceSelectionAllowed(const RowSet& proposal);

// The contextual menu of a row (a new menu; nullptr for no menu). `simpleMode` hides
// the sharing items of a user folder.
toolbox::MenuRef SourceListContextMenu(std::uint32_t identifier, bool simpleMode);

// The source list's owner: answers the list and handles the row commands installed on
// the list's control.
class SourceList : public CustomListOwner {
 public:
  explicit SourceList(CustomList& list);
  ~SourceList() override;

  CustomList& list() { return list_; }
  // The command handler on the list's control ('cmds' 1 and 2).
  void InstallCommandHandler(toolbox::Control& control);
  void SetSimpleMode(bool simple) { simpleMode_ = simple; }

  // Drags over rows: the acceptance of a row as drop target, and the spring-loaded
  // opening of a server row after 0.6 s.
  bool SourceListDragHandler(const toolbox::Drag& drag, std::uint32_t identifier);
  void SpringLoadedOpenRow();
  // The drag ended or left the window: the views shown before it come back.
  void SourceListEndDrag();
  bool SourceListDropHandler(const toolbox::Drag& drag, std::uint32_t identifier);

  // CustomListOwner
  std::optional<bool> CanChangeSelection(CustomList& list, const RowSet& proposed) override;
  void RowsLeftSelection(CustomList& list, const RowSet& removed) override;
  void RowsJoinedSelection(CustomList& list, const RowSet& added) override;
  toolbox::MenuRef ContextMenuForRow(CustomList& list, const RowRef& row) override;
  void RenameEnded(CustomList& list, const RowRef& row, const std::string& text) override;
  std::optional<bool> AcceptDragOnRow(CustomList& list, const toolbox::Drag& drag,
                                      const RowRef& row) override;
  bool DropOnRow(CustomList& list, const toolbox::Drag& drag, const RowRef& row) override;
  void ButtonClicked(CustomList& list, const RowRef& row) override;
  void DisclosureClicked(CustomList& list, const RowRef& row) override;

  // The commands carried out here (its lines of the command table); kEventNotHandledErr
  // for the others.
  runtime::Status SourceListContextCommand(runtime::Event& event);
  runtime::Status RunCommand(values::FourCharCode command);

 private:
  std::vector<std::uint32_t> SelectedIdentifiers() const;
  // The commands of source_list_commands.cpp; kEventNotHandledErr for the others.
  runtime::Status RunRowCommand(values::FourCharCode command, const std::vector<std::uint32_t>& selected);
  void RemoveAllFromRow(std::uint32_t identifier);

  CustomList& list_;
  bool simpleMode_ = false;
  runtime::HandlerRef handler_;
  std::optional<std::set<queue::ViewID>> savedViews_;  // while a drag spring-loads
  std::uint32_t springRow_ = 0;
  std::shared_ptr<runtime::Timer> springTimer_;
};

// The source list's lines of the command table (command_table.h).
std::span<const CommandEntry> SourceListCommandEntries();

}  // namespace ui
