#include "app/ui/main_window/command_state.h"

#include "app/ui/commands/command_table.h"

#include <mutex>

#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/bandwidth_menu.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/upload/services/upload_rows.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/menus/menu_commands.h"

namespace ui {

using values::FourCC;
using values::FourCharCode;

namespace {

// Statuses: every one but downloading, starting and verifying.
constexpr std::uint32_t kEditableStatuses = 0x5F0;
constexpr std::uint32_t kHoldableStatuses = 0x5D0;
constexpr std::uint32_t kRunningStatuses = 4 | 8;
constexpr std::uint32_t kQueueableStatuses = 0x5E0;
constexpr std::uint32_t kQueueableUploadStates = 91;  // failed, refused, cancelled, waiting, finished
constexpr std::uint32_t kUploadWaiting = 16;
constexpr std::uint32_t kUploadUploading = 32;
constexpr std::uint32_t kQueuedStatus = 16;

// Downloads of a remote listing carry a host id in this range.
bool IsRemoteListingHost(std::uint32_t hostID) {
  return hostID >= 0x80000000u && hostID <= 0xBFFFFFFEu;
}

CommandEnabling& Current() {
  static CommandEnabling enabling;
  return enabling;
}

// The how-many-th item with `command` the item `item` of menu `menuID` is (1-based); 1 for
// a menu that is not in the menu bar.
int OccurrenceInMenu(std::int16_t menuID, int item, FourCharCode command) {
  if (menuID == 0) return 1;
  toolbox::MenuRef menu = toolbox::GetMenuBar().Find(menuID);
  if (!menu) return 1;
  int occurrence = 0;
  for (int i = 1; i <= item && i <= menu->CountItems(); ++i)
    if (menu->Item(i)->command == command) ++occurrence;
  return occurrence == 0 ? 1 : occurrence;
}

}  // namespace

SelectionSummary SummarizeSelection(const std::vector<MainListItem>& rows) {
  SelectionSummary s;
  for (const MainListItem& row : rows) {
    if (!row.record) continue;
    switch (row.kind) {
      case RowKind::kDownload: {
        const auto& e = row.as<queue::DownloadQueueWrapper>().element();
        ++s.downloads;
        s.downloadStatuses |= static_cast<std::uint32_t>(e.status);
        if (e.hostID == 0) s.localDownload = true;
        if (e.fileAlias || e.completeFile) s.hasFile = true;
        if (IsRemoteListingHost(e.hostID)) s.remoteFTPItem = true;
        break;
      }
      case RowKind::kFTPNode:
        s.ftpNode = true;
        if (row.as<browser::FTPNodeRow>().hasParent()) s.remoteFTPItem = true;
        break;
      case RowKind::kDotMacNode:
        s.webDAVNode = true;
        if (row.as<browser::DotMacNodeRow>().hasParent()) s.webDAVChild = true;
        break;
      case RowKind::kFavourite:
        s.favourite = true;
        break;
      case RowKind::kUpload: {
        const std::int32_t state = row.as<upload::UploadRow>().state();
        ++s.uploads;
        s.uploadStates |= static_cast<std::uint32_t>(state);
        if (state == static_cast<std::int32_t>(kUploadUploading)) s.uploadUploading = true;
        s.hasFile = true;
        break;
      }
      case RowKind::kReceivedFile: {
        const std::int32_t status = row.as<sharing::ReceivedFileRow>().status();
        if (status == 1 || status == 2) {
          s.receivedFile = true;
          s.hasFile = true;
        } else if (status == sharing::kReceivedFileReceiving) {
          s.receivedFileArriving = true;
        }
        break;
      }
      default:
        break;
    }
  }
  return s;
}

CommandContext CurrentCommandContext() {
  CommandContext c;
  c.queueRunning = queue::gQueueRunning;
  c.uploadQueueRunning = queue::gUploadQueueRunning;
  c.remoteHostDisplayed = queue::IsDisplayingRemoteHost();
  c.advancedMode = !IsSimpleMode();
  c.listViewShown = IsListViewID(GetMainWindowCurrentView());
  c.filtersViewDisplayed = queue::IsViewDisplayed(queue::kFiltersViewID);
  if (MainList* list = GetMainList()) c.listHasRows = list->list().ItemCount() > 0;
  c.downloadsOrUploadsDisplayed =
      queue::IsViewDisplayed(queue::kMyUploadsViewID) || queue::IsViewDisplayed(queue::kMyDownloadsViewID);
  {
    std::lock_guard lock(queue::gQueueItemsLock);
    c.queueOrderAboveOne = queue::gQueueOrder.size() > 1;
  }
  c.uploadsWaitingAboveOne = upload::UploadQueueServiceSlot::Get().WaitingCount() > 1;
  // The source list, focused on a remote host row: Edit edits the favourite it was opened from.
  // A host opened from a favourite carries the favourite's name as its row's label.
  CustomList* sources = GetMainFolderList();
  if (sources && sources->control() && sources->control()->HasFocus()) {
    const RowRef row = sources->GetSelectedRow();
    if (row && queue::IsRemoteHostViewID(row->identifier)) {
      auto& remote = browser::RemoteRowsServiceSlot::Get();
      for (const auto& host : remote.CopyHostRows())
        if (host.viewID == row->identifier && remote.HasFavouriteNamed(host.label))
          c.sourceListOnFavouriteHost = true;
    }
  }
  return c;
}

std::optional<bool> CommandEnabling::Lookup(FourCharCode command, std::int16_t menu, int occurrence) const {
  for (const CommandRule& r : commands) {
    if (r.command != command) continue;
    if (r.menu != 0 && r.menu != menu) continue;
    if (r.firstItems != 0 && (menu == 0 || occurrence > r.firstItems)) continue;
    return r.enabled;
  }
  return std::nullopt;
}

std::optional<bool> CommandEnabling::ToolbarItem(const std::string& suffix) const {
  for (const auto& [id, enabled] : toolbarItems)
    if (id == suffix) return enabled;
  return std::nullopt;
}

CommandEnabling ComputeCommandEnabling(const SelectionSummary& s, const CommandContext& c) {
  const std::uint32_t S = s.downloadStatuses, T = s.uploadStates;
  const bool D = s.downloads > 0, U = s.uploads > 0;
  const bool E = (S & kEditableStatuses) != 0;
  const bool local = !c.remoteHostDisplayed;
  const bool reveal = local && (D || U || s.receivedFile) && s.hasFile;
  const bool details = local && (D || U || s.receivedFile);
  const bool edit = (s.localDownload && E) || (U && !s.uploadUploading && c.uploadEditorBuilt);
  const bool hold = (S & kHoldableStatuses) || (T & kUploadWaiting);
  const bool stop = (S & kRunningStatuses) || (T & kUploadUploading) || s.receivedFileArriving;
  const bool remove = (local || s.remoteFTPItem || s.webDAVChild) && !c.filtersViewDisplayed &&
                      ((D && E) || (T != 0 && !(T & kUploadUploading)) || s.favourite || s.receivedFile ||
                       s.webDAVChild || s.remoteFTPItem);
  const bool start = E || (U && !(T & kUploadUploading)) || s.ftpNode || s.webDAVChild;
  const bool queue = (S & kQueueableStatuses) || (T & kQueueableUploadStates) || s.webDAVNode || s.ftpNode;
  const bool move =
      ((S & kQueuedStatus) && c.queueOrderAboveOne) || ((T & kUploadWaiting) && c.uploadsWaitingAboveOne);
  const bool clear = c.listHasRows && c.downloadsOrUploadsDisplayed;

  CommandEnabling out;
  out.commands = {
      {FourCC("StaU"), kQueueMenuID, 0, !c.uploadQueueRunning},
      {FourCC("StoU"), kQueueMenuID, 0, c.uploadQueueRunning},
      {FourCC("Star"), kQueueMenuID, 0, !c.queueRunning},
      {FourCC("Stop"), kQueueMenuID, 0, c.queueRunning},
      {FourCC("copy"), 0, 0, D},
      {FourCC("CuRl"), kQueueMenuID, 0, D},
      // The remote items' inspector is not built: only downloads have one to open.
      {FourCC("Insp"), kViewMenuID, 0, D},
      {FourCC("TgSb"), kViewMenuID, 0, c.listViewShown},
      {FourCC("ClrQ"), kQueueMenuID, 0, local},
      {FourCC("ClrO"), kQueueMenuID, 0, local},
      {FourCC("RFin"), 0, 0, reveal},
      {FourCC("Vdet"), 0, 0, details},
      {FourCC("Edit"), 0, 0, edit},
      {FourCC("HolD"), 0, 0, hold},
      {FourCC("StoD"), 0, 0, stop},
      {FourCC("Dupl"), kServersMenuID, 0, s.favourite},
      {FourCC("Remo"), kQueueMenuID, 3, remove},
      {FourCC("StaD"), 0, 0, start},
      {FourCC("QDow"), 0, 0, queue},
      {FourCC("DSUp"), 0, 0, move},
      {FourCC("DSU5"), 0, 0, move},
      {FourCC("DSDo"), 0, 0, move},
      {FourCC("DSD5"), 0, 0, move},
      {FourCC("ClIn"), 0, 2, clear},
      {FourCC("ClC*"), 0, 2, clear},
  };
  out.toolbarItems = {
      {"RevealInFinder", reveal},
      {"TransferLog", details},
      {"AddItem", local},
      {"Upload", local && c.advancedMode},
      {"UploadRS", local && c.advancedMode},
      {"EditItem", edit || ((c.sourceListOnFavouriteHost || s.favourite) && c.favouriteEditorBuilt)},
      {"StopItem", stop},
      {"RemoveItem", remove},
      {"Download", start},
      {"ClearInactive", clear},
  };
  return out;
}

namespace {

// The table from the selection as it is now; false when there is no list to read.
bool RecomputeCommandEnabling() {
  MainList* list = GetMainList();
  if (!list) return false;
  Current() = ComputeCommandEnabling(SummarizeSelection(list->SelectedRows()), CurrentCommandContext());
  return true;
}

}  // namespace

runtime::Status UpdateQueueCommandState() {
  // The buttons' update pass below asks the handlers, which must not start another round.
  static bool updating = false;
  if (updating) return runtime::kNoErr;
  if (!RecomputeCommandEnabling()) return runtime::kEventNotHandledErr;
  updating = true;
  for (const auto& [suffix, enabled] : Current().toolbarItems)
    SetToolbarItemEnabled(std::string(kMainToolbarItemPrefix) + suffix, enabled);
  // An item whose command waits for its window stays disabled, whatever the selection.
  for (const MainToolbarItemEntry& item : MainToolbarItemTable())
    if (item.command != 0 && IsCommandPending(item.command))
      SetToolbarItemEnabled(std::string(kMainToolbarItemPrefix) + item.suffix, false);
  // The interface mode chooses the bandwidth menu.
  AttachBandwidthMenu();
  if (toolbox::Window* w = GetMainWindow()) w->UpdateButtonStates();
  updating = false;
  return runtime::kNoErr;
}

const CommandEnabling& CurrentCommandEnabling() {
  return Current();
}

runtime::HandlerRef InstallCommandStateHandler() {
  return runtime::EventTarget::Application()->InstallHandler(
      {{toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus}},
      [](runtime::HandlerCall&, runtime::Event& event) {
        const toolbox::Command command = toolbox::GetCommand(event);
        if (command.id == 0) return runtime::kEventNotHandledErr;
        // A pending command is disabled; a command with its own rule follows it.
        if (const auto decided = CommandTableEnabling(command.id)) {
          toolbox::SetCommandEnabled(event, *decided);
          return runtime::kNoErr;
        }
        // Asked before a menu opens: the selection may have changed since the last pass.
        RecomputeCommandEnabling();
        const auto enabled = Current().Lookup(command.id, command.menu_id,
                                              OccurrenceInMenu(command.menu_id, command.item, command.id));
        if (!enabled) return runtime::kEventNotHandledErr;
        toolbox::SetCommandEnabled(event, *enabled);
        return runtime::kNoErr;
      });
}

void SetControlValueFromIndex(toolbox::Control& control, int index) {
  if (index >= 0 && index <= 2) control.SetValue(index + 1);
}

}  // namespace ui
