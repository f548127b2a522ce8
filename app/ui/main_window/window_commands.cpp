#include "app/ui/main_window/window_commands.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "app/browser/services/favourite_connections_service.h"
#include "app/browser/services/remote_rows.h"
#include "app/engine/urls/sensitive_servers.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/history/history.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/commands/command_table.h"
#include "app/ui/connect_dialog/connect_dialog.h"
#include "app/ui/main_list/list_drag.h"
#include "app/ui/main_list/list_item_data.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/bandwidth_menu.h"
#include "app/ui/main_window/command_state.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/main_window/status_line.h"
#include "app/ui/rule_editor/rule_editor_window.h"
#include "app/ui/services/confirmation_service.h"
#include "app/ui/source_list/custom_list.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/toolbar/main_toolbar.h"
#include "app/upload/queue/upload_item.h"
#include "app/upload/services/upload_rows.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/workspace.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/controls/control_events.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace ui {

using runtime::kEventNotHandledErr;
using runtime::kNoErr;
using toolbox::kEventCommandProcess;
using toolbox::kEventCommandUpdateStatus;
using values::FourCC;

namespace {

// Confirmation alerts and the answers that go ahead.
constexpr int kConfirmRemoveFavourites = 3;
constexpr int kConfirmClearHistory = 7;
constexpr int kConfirmRemoveFolder = 9;
constexpr int kAnswerGoAhead = 3;

// Cells edited in place: a favourite's name, a remote item's name.
constexpr std::uint32_t kFavouriteNameProperty = 2051;
constexpr std::uint32_t kRemoteNameProperty = 1025;

// 0xBF is the last byte in Mac Roman.
constexpr values::FourCharCode kAddSensitiveServers = values::FourCCFromBytes('S', 'S', 'b', 0xBF);
constexpr values::FourCharCode kRemoveSensitiveServers = values::FourCCFromBytes('S', 'S', 'R', 0xBF);

struct Module {
  std::vector<runtime::HandlerRef> handlers;
};

Module& State() {
  static Module module;
  return module;
}

std::vector<MainListItem> Selection() {
  MainList* list = GetMainList();
  return list ? list->SelectedRows() : std::vector<MainListItem>{};
}

template <class T>
std::vector<std::shared_ptr<T>> SelectedOf(RowKind kind) {
  std::vector<std::shared_ptr<T>> out;
  for (const MainListItem& row : Selection())
    if (row.kind == kind) out.push_back(std::static_pointer_cast<T>(row.record));
  return out;
}

int Confirm(int kind) {
  return ConfirmationServiceSlot::Get().RunConfirmationAlert(kind, false);
}

void SendApplicationCommand(values::FourCharCode command) {
  auto event = toolbox::MakeCommandEvent(kEventCommandProcess, toolbox::Command{command, 0, 0});
  runtime::EventTarget::Application()->Send(*event);
}

void RevealSelection() {
  if (queue::IsViewDisplayed(queue::kMyUploadsViewID)) {
    for (const auto& upload : SelectedOf<upload::UploadRow>(RowKind::kUpload))
      if (auto path = upload->localPath()) desktop::WorkspaceSlot::Get().RevealItem(*path);
    return;
  }
  if (queue::IsViewDisplayed(queue::kReceivedFilesViewID)) {
    for (const auto& received : SelectedOf<sharing::ReceivedFileRow>(RowKind::kReceivedFile))
      if (auto path = received->UpdatePath()) desktop::WorkspaceSlot::Get().RevealItem(*path);
    return;
  }
  for (const auto& wrapper : SelectedOf<queue::DownloadQueueWrapper>(RowKind::kDownload))
    if (auto file = queue::GetDownloadFileRef(wrapper)) queue::RevealInFinder(*file);
}

void MoveSelectedQueuedToTop() {
  std::vector<queue::WrapperRef> queued;
  for (const auto& w : SelectedOf<queue::DownloadQueueWrapper>(RowKind::kDownload))
    if (w->element().status == queue::kStatusQueued) queued.push_back(w);
  if (!queued.empty()) queue::MoveQueuedToTop(queued);
}

void RemoveSelectedFolder() {
  CustomList* list = GetMainFolderList();
  if (!list) return;
  const RowRef row = list->GetSelectedRow();
  if (!row || row->identifier < queue::kFirstUserFolderID) return;
  const queue::FolderRef folder = queue::LookUpFolder(row->identifier);
  if (!folder) return;
  bool trash = false;
  if (folder->containsFiles()) {
    const int answer = Confirm(kConfirmRemoveFolder);
    if (answer == 2)
      trash = true;
    else if (answer != 1)
      return;
  }
  std::vector<std::uint32_t> ids;
  for (const RowRef& r : list->CopySelection())
    if (r->identifier >= queue::kFirstUserFolderID && queue::LookUpFolder(r->identifier))
      ids.push_back(r->identifier);
  for (std::uint32_t id : ids) queue::RemoveFolder(id, trash);
  if (ids.size() == 1)
    queue::TruvaneUndoSetActionName("Remove Folder");
  else if (ids.size() > 1)
    queue::TruvaneUndoSetActionName(values::Format("Remove %d Folders", {ids.size()}));
}

// Editing a cell in place keeps the list where it is scrolled.
void BeginCellEdit(const MainListItem& row, std::uint32_t property) {
  if (MainList* list = GetMainList()) list->list().BeginEdit(row.id(), property);
}

// A listed remote file: a download record whose host id marks a remote listing.
bool IsRemoteListedFile(const MainListItem& row) {
  if (row.kind == RowKind::kFTPNode || row.kind == RowKind::kDotMacNode) return true;
  if (row.kind != RowKind::kDownload) return false;
  const std::uint32_t host = row.as<queue::DownloadQueueWrapper>().element().hostID;
  return host >= 0x80000000u && host <= 0xBFFFFFFEu;
}

void ToggleToolbar() {
  if (toolbox::Toolbar* toolbar = GetMainToolbar()) SetMainToolbarShown(!toolbar->IsVisible());
}

std::optional<std::string> EntryHost(const values::Value& entry) {
  const values::Value* url = entry.Find("url");
  if (!url || !url->AsString()) return std::nullopt;
  const auto parsed = values::Url::Create(*url->AsString());
  if (!parsed) return std::nullopt;
  auto host = parsed->Host();
  if (!host || host->empty()) return std::nullopt;
  return host;
}

// 'SSb\xBF' and 'SSR\xBF': the selected downloads' hosts into or out of the rules.
void ChangeSensitiveServers(bool add) {
  std::vector<std::string> hosts = util::CurrentSettings()->blackList;
  const std::vector<std::string> before = hosts;
  {
    std::lock_guard lock(queue::gQueueItemsLock);
    for (const auto& w : SelectedOf<queue::DownloadQueueWrapper>(RowKind::kDownload))
      for (const values::Value& entry : w->element().urlData)
        add ? CollectHostNameApplier(entry, hosts) : RemoveSensitiveHostApplier(entry, hosts);
  }
  if (hosts == before) return;
  util::ChangeSettings([&](util::Settings& s) { s.blackList = hosts; });
  values::Array stored;
  for (const auto& rule : hosts) stored.emplace_back(rule);
  util::SetPreferenceValue("blackList", values::Value(std::move(stored)));
  // The list shows which downloads are on a sensitive server.
  if (MainList* list = GetMainList()) list->list().UpdateItems({});
}

// 'R!Re'/'R!Rn' reload and 'D!Re'/'D!Rn' close the peers of one kind: those reached by
// address or those found by Bonjour.
void ForEachPeer(bool bonjourPeers,
                 const std::function<void(sharing::PeerHostsService&, std::uint32_t)>& act) {
  sharing::PeerHostsService& peers = sharing::PeerHostsServiceSlot::Get();
  for (const sharing::PeerHost& host : peers.CopyPeerHosts())
    if (host.bonjourName.has_value() == bonjourPeers) act(peers, host.hostID);
}

bool SelectAllRows(bool all) {
  MainList* list = GetMainList();
  if (!list) return false;
  list->list().SetSelectedItems(all ? list->list().Items(0, true) : std::vector<toolbox::ListItemID>{});
  UpdateQueueCommandState();
  return true;
}

// The window's commands, one function each; the table below names them.
runtime::Status Done() {
  return kNoErr;
}

template <FilterScope scope>
runtime::Status ChooseFilterScope(values::FourCharCode) {
  SetFilterScope(scope);
  return Done();
}

runtime::Status NotHandledHere(values::FourCharCode) {
  return kEventNotHandledErr;
}

runtime::Status ToggleLeftPaneCommand(values::FourCharCode) {
  ToggleLeftPane();
  return Done();
}

runtime::Status ToggleFilterBarCommand(values::FourCharCode) {
  ToggleFilterBar();
  return Done();
}

// A user or smart folder's row is renamed in place; other rows are not renamed.
runtime::Status RenameFolderCommand(values::FourCharCode) {
  CustomList* list = GetMainFolderList();
  const RowRef row = list ? list->GetSelectedRow() : nullptr;
  if (row && row->identifier >= queue::kFirstUserFolderID && row->identifier <= queue::kLastSmartFolderID)
    list->BeginRename(row);
  return Done();
}

}  // namespace

// A source list pushed almost shut opens to this width first, so that the new row can be
// seen and renamed.
constexpr double kClosedPaneEdge = 47;
constexpr double kNewFolderPaneEdge = 180;

void MakeNewFolder() {
  if (toolbox::Control* area = FindMainControl(mainwindow::kListArea)) area->SetFocus();
  if (toolbox::Control* grip = FindMainControl(mainwindow::kPaneGrip)) {
    const toolbox::Rect g = grip->Bounds();
    if (g.Right() <= kClosedPaneEdge) {
      const double delta = kNewFolderPaneEdge - g.Right();
      grip->SetBounds({g.x, g.y, kNewFolderPaneEdge - g.x, g.height});
      for (std::int32_t id : {mainwindow::kBottomArea, mainwindow::kListArea, mainwindow::kFilterBar,
                              mainwindow::kStatusText}) {
        if (toolbox::Control* c = FindMainControl(id)) {
          const toolbox::Rect r = c->Bounds();
          c->SetBounds({r.x + delta, r.y, r.width - delta, r.height});
        }
      }
    }
  }
  const queue::ViewID uid = queue::NewFolderUID();
  queue::AddFolder(uid, values::Localized("Untitled"));
  CustomList* list = GetMainFolderList();
  if (!list) return;
  RowRef row = list->GetRowByIdentifier(uid);
  if (!row) row = SourceListAddFolderRow(*list, uid);
  if (!row) return;
  SourceListSortFolderRows(*list);
  list->SelectRow(row);
  list->RevealRow(row);
  list->BeginRename(row);
}

namespace {

runtime::Status ToggleToolbarCommand(values::FourCharCode) {
  ToggleToolbar();
  return Done();
}

runtime::Status ToggleQueueCommand(values::FourCharCode) {
  if (queue::gQueueRunning) {
    queue::StopQueue(util::CurrentSettings()->downloadsStopWithQueue);
    queue::gQueueRestartAllowed = false;
  } else {
    queue::StartQueue();
  }
  UpdateQueueCommandState();
  return Done();
}

runtime::Status ToggleUploadQueueCommand(values::FourCharCode) {
  if (queue::gUploadQueueRunning)
    queue::StopUploadQueue(util::ReadSetting(util::kUploadsStopWithQueueKey));
  else
    queue::StartUploadQueue();
  UpdateQueueCommandState();
  return Done();
}

runtime::Status MoveToTopCommand(values::FourCharCode) {
  MoveSelectedQueuedToTop();
  return Done();
}

runtime::Status RevealCommand(values::FourCharCode) {
  RevealSelection();
  return Done();
}

runtime::Status EditFavouritesCommand(values::FourCharCode) {
  EditSelectedFavourites();
  return Done();
}

runtime::Status RenameFavouriteCommand(values::FourCharCode) {
  for (const MainListItem& row : Selection())
    if (row.kind == RowKind::kFavourite) {
      BeginCellEdit(row, kFavouriteNameProperty);
      break;
    }
  return Done();
}

runtime::Status DuplicateFavouritesCommand(values::FourCharCode) {
  DuplicateSelectedFavourites();
  return Done();
}

runtime::Status SensitiveServersCommand(values::FourCharCode id) {
  ChangeSensitiveServers(id == kAddSensitiveServers);
  return Done();
}

runtime::Status ClearHistoryCommand(values::FourCharCode) {
  if (util::CurrentSettings()->confirmRemovals && Confirm(kConfirmClearHistory) != kAnswerGoAhead)
    return Done();
  queue::TrimHistory(0);
  return Done();
}

runtime::Status ReconnectPeersCommand(values::FourCharCode id) {
  ForEachPeer(id == FourCC("R!Rn"), [](auto& peers, std::uint32_t host) { peers.RefreshSharingHost(host); });
  return Done();
}

runtime::Status DisconnectPeersCommand(values::FourCharCode id) {
  ForEachPeer(id == FourCC("D!Rn"), [](auto& peers, std::uint32_t host) { peers.DisconnectPeer(host); });
  return Done();
}

runtime::Status RemoveFolderCommand(values::FourCharCode) {
  RemoveSelectedFolder();
  return Done();
}

runtime::Status EditSmartFolderCommand(values::FourCharCode) {
  EditSelectedSmartFolder();
  return Done();
}

runtime::Status HideWindowCommand(values::FourCharCode) {
  if (toolbox::Window* w = GetMainWindow()) w->Hide();
  return Done();
}

runtime::Status PasteCommand(values::FourCharCode) {
  queue::AddDownloadsFromClipboard();
  return Done();
}

runtime::Status SelectAllCommand(values::FourCharCode) {
  SelectAllRows(true);
  return Done();
}

runtime::Status SelectNoneCommand(values::FourCharCode) {
  SelectAllRows(false);
  return Done();
}

runtime::Status StartSelectionCommand(values::FourCharCode) {
  SendApplicationCommand(FourCC("StaD"));
  return Done();
}

runtime::Status StopSelectionCommand(values::FourCharCode) {
  SendApplicationCommand(FourCC("StoD"));
  return Done();
}

bool ClipboardHasText() {
  const auto text = toolbox::GetClipboardText();
  return text && !text->empty();
}

runtime::Status WindowCommandStatus(runtime::Event& event, const toolbox::Command& command) {
  const values::FourCharCode id = command.id;
  if (IsCommandPending(id)) {
    // Its window is not built yet: shown, but never enabled and inert.
    toolbox::SetCommandEnabled(event, false);
  } else if (id == FourCC("copy") || id == FourCC("clos")) {
    toolbox::SetCommandEnabled(event, true);
  } else if (id == FourCC("clea") || id == FourCC("cut ")) {
    toolbox::SetCommandEnabled(event, false);
  } else if (id == FourCC("past")) {
    toolbox::SetCommandEnabled(event, ClipboardHasText());
  } else if (id == FourCC("MtbS")) {
    toolbox::Toolbar* toolbar = GetMainToolbar();
    toolbox::SetCommandText(
        event, values::Localized(toolbar && toolbar->IsVisible() ? "Hide Toolbar" : "Show Toolbar"));
    toolbox::SetCommandEnabled(event, toolbar != nullptr);
  } else {
    return kEventNotHandledErr;
  }
  return kNoErr;
}

void RemoveSelectedRows() {
  if (queue::IsViewDisplayed(queue::kMyServersViewID)) {
    RemoveSelectedFavourites();
  } else {
    queue::RemoveSelectedItems(true);
  }
  RefreshStatusBar();
}

void CopySelectedURLs() {
  std::string text;
  for (const auto& w : SelectedOf<queue::DownloadQueueWrapper>(RowKind::kDownload)) {
    for (const values::Value& entry : w->element().urlData) {
      const values::Value* url = entry.Find("url");
      if (!url || !url->AsString()) continue;
      if (!text.empty()) text += '\n';
      text += *url->AsString();
      break;  // the first mirror names the download
    }
  }
  if (!text.empty()) toolbox::SetClipboardText(text);
}

runtime::Status ConnectFavouritesCommand(values::FourCharCode) {
  for (const auto& f : SelectedOf<browser::FavouriteRow>(RowKind::kFavourite))
    browser::FavouriteConnectionsServiceSlot::Get().ConnectFavourite(f->name(), false);
  return Done();
}

// The connect dialog on each selected received file's sender and each selected upload's
// destination; the event goes on to the application.
runtime::Status ConnectToHostCommand(values::FourCharCode) {
  for (const auto& received : SelectedOf<sharing::ReceivedFileRow>(RowKind::kReceivedFile)) {
    browser::ConnectDialogRequest request;
    request.preFill = received->remoteHost();
    OpenConnectDialog(request);
  }
  for (const auto& row : SelectedOf<upload::UploadRow>(RowKind::kUpload)) {
    const auto item = std::dynamic_pointer_cast<upload::UploadItem>(row);
    if (!item) continue;
    OpenConnectDialog(browser::ConnectDialogRequestForUpload(item->type, item->hostName, item->uploadPath,
                                                             item->userName, item->pass));
  }
  return runtime::kEventNotHandledErr;
}

runtime::Status DisconnectFavouritesCommand(values::FourCharCode) {
  DisconnectSelectedFavourites();
  return Done();
}

runtime::Status RemoveRowsCommand(values::FourCharCode) {
  RemoveSelectedRows();
  return Done();
}

// The item-data callback reads (and clears) the flag: the name cell is editable this once.
runtime::Status RenameRemoteItemCommand(values::FourCharCode) {
  for (const MainListItem& row : Selection())
    if (IsRemoteListedFile(row)) {
      gRenameRequested = true;
      BeginCellEdit(row, kRemoteNameProperty);
      break;
    }
  return Done();
}

runtime::Status CopyURLsCommand(values::FourCharCode) {
  CopySelectedURLs();
  return Done();
}

// Each a line; a command's enabling rule, when it has one, is the selection rules'.
constexpr CommandEntry kMainWindowCommands[] = {
    Command(FourCC("SbSA"), CommandScope::kMainWindow, ChooseFilterScope<kFilterScopeAll>),
    Command(FourCC("SbSI"), CommandScope::kMainWindow, ChooseFilterScope<kFilterScopeInProgress>),
    Command(FourCC("SbSQ"), CommandScope::kMainWindow, ChooseFilterScope<kFilterScopeQueued>),
    Command(FourCC("SbSP"), CommandScope::kMainWindow, ChooseFilterScope<kFilterScopePaused>),
    Command(FourCC("SbSC"), CommandScope::kMainWindow, ChooseFilterScope<kFilterScopeCompleted>),
    Command(FourCC("Sb!C"), CommandScope::kMainWindow, ChooseFilterScope<kFilterScopeIncomplete>),
    Command(FourCC("TQlp"), CommandScope::kMainWindow, ToggleLeftPaneCommand),
    Command(FourCC("TgSb"), CommandScope::kMainWindow, ToggleFilterBarCommand),
    Command(FourCC("RenF"), CommandScope::kMainWindow, RenameFolderCommand),
    Command(FourCC("MtbS"), CommandScope::kMainWindow, ToggleToolbarCommand),
    Command(FourCC("QTog"), CommandScope::kMainWindow, ToggleQueueCommand),
    Command(FourCC("UQTg"), CommandScope::kMainWindow, ToggleUploadQueueCommand),
    Command(FourCC("MvIT"), CommandScope::kMainWindow, MoveToTopCommand),
    Command(FourCC("RFin"), CommandScope::kMainWindow, RevealCommand),
    Command(FourCC("EFa!"), CommandScope::kMainWindow, EditFavouritesCommand),
    Command(FourCC("F!Re"), CommandScope::kMainWindow, RenameFavouriteCommand),
    Command(FourCC("Dupl"), CommandScope::kMainWindow, DuplicateFavouritesCommand),
    Command(kAddSensitiveServers, CommandScope::kMainWindow, SensitiveServersCommand),
    Command(kRemoveSensitiveServers, CommandScope::kMainWindow, SensitiveServersCommand),
    Command(FourCC("C!Hi"), CommandScope::kMainWindow, ClearHistoryCommand),
    Command(FourCC("R!Re"), CommandScope::kMainWindow, ReconnectPeersCommand),
    Command(FourCC("R!Rn"), CommandScope::kMainWindow, ReconnectPeersCommand),
    Command(FourCC("D!Re"), CommandScope::kMainWindow, DisconnectPeersCommand),
    Command(FourCC("D!Rn"), CommandScope::kMainWindow, DisconnectPeersCommand),
    Command(FourCC("RmFl"), CommandScope::kMainWindow, RemoveFolderCommand),
    Command(FourCC("clos"), CommandScope::kMainWindow, HideWindowCommand),
    // Nothing in the window is cut or cleared: the status below keeps them disabled here,
    // and a text field that has the focus takes them before the window.
    Command(FourCC("cut "), CommandScope::kMainWindow, NotHandledHere),
    Command(FourCC("clea"), CommandScope::kMainWindow, NotHandledHere),
    Command(FourCC("past"), CommandScope::kMainWindow, PasteCommand),
    Command(FourCC("sall"), CommandScope::kMainWindow, SelectAllCommand),
    Command(FourCC("Snon"), CommandScope::kMainWindow, SelectNoneCommand),
    Command(toolbox::kCommandOK, CommandScope::kMainWindow, StartSelectionCommand),
    Command(toolbox::kCommandCancel, CommandScope::kMainWindow, StopSelectionCommand),
    Pending(FourCC("FSin"), "the remote browser's inspector windows", CommandScope::kMainWindow),
    Pending(FourCC("SL*g"), "the remote browser's session log of a listed server", CommandScope::kMainWindow),
    Pending(FourCC("CrSF"), "the remote browser's new-folder sheet", CommandScope::kMainWindow),
    Pending(FourCC("RFFl"), "the remote browser's refresh of a listed item", CommandScope::kMainWindow),
    Pending(FourCC("DcFl"), "the remote browser's disconnect of a listed item", CommandScope::kMainWindow),
    Pending(values::FourCCFromBytes('A', 'M', 'y', 0xC4), "the remote browser's add to My Servers",
            CommandScope::kMainWindow),
    Command(FourCC("CoH%"), CommandScope::kMainWindow, ConnectToHostCommand),
    Pending(FourCC("SeSf"), "the send-files window", CommandScope::kMainWindow),
    Command(FourCC("eSFe"), CommandScope::kMainWindow, EditSmartFolderCommand),
    Pending(FourCC("S!Fi"), "the preferences window", CommandScope::kMainWindow),
    Pending(FourCC("ClAf"), "the preferences window's filters", CommandScope::kMainWindow),
};

constexpr CommandEntry kMainListCommands[] = {
    Command(FourCC("CFa!"), CommandScope::kMainList, ConnectFavouritesCommand),
    Command(FourCC("DFa!"), CommandScope::kMainList, DisconnectFavouritesCommand),
    Command(FourCC("Remf"), CommandScope::kMainList, RemoveRowsCommand),
    Command(FourCC("Remo"), CommandScope::kMainList, RemoveRowsCommand),
    Command(FourCC("SrvR"), CommandScope::kMainList, RenameRemoteItemCommand),
    Command(FourCC("copy"), CommandScope::kMainList, CopyURLsCommand),
    Command(FourCC("past"), CommandScope::kMainList, PasteCommand),
    Pending(FourCC("DirT"), "the sharing client's direct transfer of a peer's items",
            CommandScope::kMainList),
};

}  // namespace

MinimumSize MainWindowMinimumSize(double gripRightEdge) {
  return {gripRightEdge > 99 ? gripRightEdge + 200 : 300, 120};
}

bool MainListNeedsHorizontalScrollBar(int columnsWidth, double listWidth) {
  return columnsWidth > listWidth - 14;
}

void DrawDropInsertionMark(toolbox::DrawingContext& context, const toolbox::ListView& list,
                           toolbox::ListItemID target) {
  if (target == 0) return;
  const auto columns = list.Columns();
  if (columns.empty()) return;
  const auto cell = list.CellRect(target, columns.front());
  if (!cell) return;
  const double y = cell->Top() + 1;
  context.SaveGState();
  context.SetStrokeColor(toolbox::Color::Black());
  context.SetLineWidth(2);
  context.StrokeLine({0, y}, {context.bounds().width, y});
  context.RestoreGState();
}

runtime::Status MainWindowCommandHandler(runtime::HandlerCall&, runtime::Event& event) {
  if (event.event_class() == toolbox::kEventClassKeyboard) {
    if (!toolbox::IsReturnOrEnter(event)) return kEventNotHandledErr;
    SendApplicationCommand(FourCC("StaD"));
    return kNoErr;
  }
  if (event.event_class() == toolbox::kEventClassWindow) {
    if (event.kind() == toolbox::kEventWindowActivated) {
      UpdateQueueCommandState();
    } else if (event.kind() == toolbox::kEventWindowBoundsChanged) {
      toolbox::Control* grip = FindMainControl(mainwindow::kPaneGrip);
      const MinimumSize min = MainWindowMinimumSize(grip ? grip->Bounds().Right() : 0);
      if (toolbox::Window* w = GetMainWindow()) w->SetMinimumSize({min.width, min.height});
    }
    return kEventNotHandledErr;
  }
  const toolbox::Command command = toolbox::GetCommand(event);
  if (command.id == 0) return kEventNotHandledErr;
  if (event.kind() == kEventCommandProcess) return DispatchCommand(CommandScope::kMainWindow, command.id);
  if (event.kind() == kEventCommandUpdateStatus) return WindowCommandStatus(event, command);
  return kEventNotHandledErr;
}

namespace {

runtime::Status MainListEvent(runtime::Event& event) {
  MainList* list = GetMainList();
  if (!list) return kEventNotHandledErr;
  toolbox::ListView& view = list->list();
  if (event.event_class() == toolbox::kEventClassKeyboard) {
    if (!toolbox::IsReturnOrEnter(event) || !view.IsEditing()) return kEventNotHandledErr;
    view.EndEdit();
    return kNoErr;
  }
  if (event.kind() == toolbox::kEventControlDraw) {
    // Every drawing repaints the whole list, so the mark is drawn each time it is there.
    if (toolbox::DrawingContext* context = toolbox::GetDrawingContext(event))
      DrawDropInsertionMark(*context, view, DragInsertionMark());
  } else if (event.kind() == toolbox::kEventControlBoundsChanged) {
    const auto change = toolbox::GetBoundsChange(event);
    if (!change || change->current == change->previous) return kEventNotHandledErr;
    view.SetScrollBarsShown(true,
                            MainListNeedsHorizontalScrollBar(view.ColumnsWidth(), change->current.width));
  }
  return kEventNotHandledErr;
}

}  // namespace

runtime::Status MainWindowEventHandler(runtime::HandlerCall&, runtime::Event& event) {
  if (event.event_class() == toolbox::kEventClassKeyboard ||
      event.event_class() == toolbox::kEventClassControl)
    return MainListEvent(event);
  const toolbox::Command command = toolbox::GetCommand(event);
  if (command.id == 0) return kEventNotHandledErr;
  if (event.kind() == kEventCommandUpdateStatus) {
    if (command.id == FourCC("copy") && command.menu_id != 0) {
      toolbox::SetCommandEnabled(event, true);
      return kNoErr;
    }
    if (command.id == FourCC("past")) {
      toolbox::SetCommandEnabled(event, ClipboardHasText());
      return kNoErr;
    }
    return kEventNotHandledErr;
  }
  if (event.kind() != kEventCommandProcess) return kEventNotHandledErr;
  const runtime::Status status = DispatchCommand(CommandScope::kMainList, command.id);
  if (status == kNoErr) UpdateQueueCommandState();
  return status;
}

runtime::Status ActionMenuCommandHandler(runtime::HandlerCall&, runtime::Event& event) {
  if (event.kind() != kEventCommandUpdateStatus) return kEventNotHandledErr;
  const toolbox::Command command = toolbox::GetCommand(event);
  if (IsCommandPending(command.id)) {
    toolbox::SetCommandEnabled(event, false);
  } else if (command.id == FourCC("eSFe")) {
    // The date folders show as smart folders but their rules are not edited.
    toolbox::SetCommandEnabled(event, CanEditSelectedSmartFolder());
  } else if (command.id == FourCC("RmFl") || command.id == FourCC("RenF")) {
    toolbox::SetCommandEnabled(event, queue::IsDisplayingUserFolder() || queue::IsDisplayingSmartFolder());
  } else {
    return kEventNotHandledErr;
  }
  return kNoErr;
}

void RemoveSelectedFavourites() {
  const auto favourites = SelectedOf<browser::FavouriteRow>(RowKind::kFavourite);
  if (favourites.empty()) return;
  if (util::CurrentSettings()->confirmRemovals && Confirm(kConfirmRemoveFavourites) != kAnswerGoAhead) return;
  const bool shown = queue::IsViewDisplayed(queue::kMyServersViewID);
  std::vector<MainListItem> rows;
  for (const MainListItem& row : Selection())
    if (row.kind == RowKind::kFavourite) rows.push_back(row);
  for (const auto& f : favourites) browser::FavouriteConnectionsServiceSlot::Get().RemoveFavourite(f->name());
  if (shown) MainListBrowserSlot::Get().RemoveRows(rows);
}

// Each selected favourite that is connected lets its connection go. An FTP or FTPS
// favourite's connection is the remote host opened from it; the connections of peers and
// online disks are not reached from here.
void DisconnectSelectedFavourites() {
  for (const auto& favourite : SelectedOf<browser::FavouriteRow>(RowKind::kFavourite)) {
    if (!favourite->connected()) continue;
    // Copies on the network disconnect through peer sharing, not here.
    if (favourite->hostType() == browser::kHostBonjourPeer ||
        favourite->hostType() == browser::kHostPeerByAddress)
      continue;
    browser::RemoteRowsServiceSlot::Get().DisconnectFavourite(favourite->name());
  }
}

void DuplicateSelectedFavourites() {
  auto& favourites = browser::FavouriteConnectionsServiceSlot::Get();
  for (const auto& f : SelectedOf<browser::FavouriteRow>(RowKind::kFavourite)) {
    auto info = favourites.FindFavourite(f->name());
    if (!info) continue;
    info->name = favourites.CopyUniqueFavouriteName(info->name);
    info->connected = false;
    info->peerHostID.reset();
    favourites.AddFavourite(*info);
  }
  if (queue::IsViewDisplayed(queue::kMyServersViewID)) queue::RefillMainList();
}

void CollectHostNameApplier(const values::Value& urlEntry, std::vector<std::string>& hosts) {
  const auto host = EntryHost(urlEntry);
  if (!host) return;
  const bool covered = std::any_of(hosts.begin(), hosts.end(), [&](const std::string& rule) {
    return engine::SensitiveServerRuleMatches(rule, *host);
  });
  if (!covered) hosts.push_back(*host);
}

void RemoveSensitiveHostApplier(const values::Value& urlEntry, std::vector<std::string>& hosts) {
  const auto host = EntryHost(urlEntry);
  if (!host) return;
  if (auto it = std::find(hosts.begin(), hosts.end(), *host); it != hosts.end()) hosts.erase(it);
}

void EditSelectedFavourites() {
  // The favourites' edit sheet belongs to the remote browser, which offers none yet: the
  // command is taken so that it does nothing rather than reach another handler.
}

namespace {

// The row `step` places after `item` in the list's order, wrapping at both ends; the first
// row when there is no item or it is not shown.
std::optional<MainListItem> StepBrowserItem(const MainListItem* item, std::ptrdiff_t step) {
  MainList* list = GetMainList();
  if (!list) return std::nullopt;
  const auto ids = list->list().Items(0, true);
  if (ids.empty()) return std::nullopt;
  std::size_t index = 0;
  if (item) {
    const auto it = std::find(ids.begin(), ids.end(), item->id());
    if (it != ids.end()) {
      const auto count = static_cast<std::ptrdiff_t>(ids.size());
      index = static_cast<std::size_t>(((it - ids.begin()) + step % count + count) % count);
    }
  }
  const MainListItem* row = list->Row(ids[index]);
  return row ? std::optional<MainListItem>(*row) : std::nullopt;
}

}  // namespace

std::optional<MainListItem> GetNextBrowserItem(const MainListItem* item) {
  return StepBrowserItem(item, 1);
}

std::optional<MainListItem> GetPreviousBrowserItem(const MainListItem* item) {
  return StepBrowserItem(item, -1);
}

std::span<const CommandEntry> MainWindowCommandEntries() {
  return kMainWindowCommands;
}

std::span<const CommandEntry> MainListCommandEntries() {
  return kMainListCommands;
}

void InstallMainWindowCommands() {
  Module& m = State();
  toolbox::Window* w = GetMainWindow();
  if (!w) return;
  UninstallMainWindowCommands();
  CreateMainToolbar();
  m.handlers.push_back(w->InstallHandler({{toolbox::kEventClassWindow, toolbox::kEventWindowActivated},
                                          {toolbox::kEventClassWindow, toolbox::kEventWindowBoundsChanged},
                                          {toolbox::kEventClassKeyboard, toolbox::kEventRawKeyDown},
                                          {toolbox::kEventClassCommand, kEventCommandProcess},
                                          {toolbox::kEventClassCommand, kEventCommandUpdateStatus}},
                                         MainWindowCommandHandler));
  m.handlers.push_back(w->InstallHandler({{toolbox::kEventClassCommand, kEventCommandUpdateStatus}},
                                         ActionMenuCommandHandler));
  if (toolbox::Control* area = FindMainControl(mainwindow::kListArea))
    m.handlers.push_back(
        area->target()->InstallHandler({{toolbox::kEventClassKeyboard, toolbox::kEventRawKeyDown},
                                        {toolbox::kEventClassControl, toolbox::kEventControlDraw},
                                        {toolbox::kEventClassControl, toolbox::kEventControlBoundsChanged},
                                        {toolbox::kEventClassCommand, kEventCommandProcess},
                                        {toolbox::kEventClassCommand, kEventCommandUpdateStatus}},
                                       MainWindowEventHandler));
  for (auto& h : InstallBandwidthMenu()) m.handlers.push_back(std::move(h));
  m.handlers.push_back(InstallCommandStateHandler());
  if (toolbox::Control* grip = FindMainControl(mainwindow::kPaneGrip)) {
    const MinimumSize min = MainWindowMinimumSize(grip->Bounds().Right());
    w->SetMinimumSize({min.width, min.height});
  }
  StatusTextDrawHandler();
  UpdateQueueCommandState();
}

void UninstallMainWindowCommands() {
  Module& m = State();
  for (const auto& h : m.handlers) h->Remove();
  m.handlers.clear();
  DisposeMainToolbar();
  ResetStatusLine();
}

}  // namespace ui
