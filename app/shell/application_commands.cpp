#include "app/shell/application_commands.h"

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/browser/hosts/host_list.h"
#include "app/engine/limits/bandwidth_presets.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/log/transfer_log.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/history/history.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/queue/undo/undoable_action.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/received/received_files.h"
#include "app/shell/confirmation_alerts.h"
#include "app/shell/dock_menu.h"
#include "app/shell/quit_warning_window.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/startup.h"
#include "app/ui/add_files/add_files_window.h"
#include "app/ui/commands/command_table.h"
#include "app/ui/connect_dialog/connect_dialog.h"
#include "app/ui/download_windows/add_download_window.h"
#include "app/ui/download_windows/edit_download_window.h"
#include "app/ui/inspector/download_inspector.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/window_commands.h"
#include "app/ui/rate_history/bandwidth_window.h"
#include "app/ui/rule_editor/rule_editor_window.h"
#include "app/ui/schedule/schedule_sheet.h"
#include "app/ui/services/confirmation_service.h"
#include "app/ui/services/interface_service.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/small_windows/open_folder_commands.h"
#include "app/ui/small_windows/server_activity_window.h"
#include "app/ui/transfer_log/transfer_info_window.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/services/upload_rows.h"
#include "app/util/desktop/ui_helpers.h"
#include "app/util/desktop/update_bridges.h"
#include "app/util/files/file_bridges.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/workspace.h"
#include "platform/files/catalog_info.h"
#include "platform/runtime/distributed_notification_center.h"
#include "platform/runtime/event_queue.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace shell {
namespace {

using toolbox::FourCharCode;
using values::FourCC;

constexpr char kForumPage[] = "https://truvane.org/forum/";
constexpr char kContextPrefsChanged[] = "com.orbenix.truvane.contextprefschange";

queue::ViewID CurrentView() {
  return ui::GetMainWindow() ? ui::GetMainWindowCurrentView() : gCurrentViewID;
}

bool IsSimple() {
  return ui::GetMainWindow() ? ui::IsSimpleMode() : !util::CurrentSettings()->advancedMode;
}

std::vector<ui::DownloadRef> SelectedDownloads() {
  return ui::MainListServicesSlot::Get().CopySelectedDownloads();
}

// The URLs of the selected downloads, one a line.
void CopySelectedURLs() {
  std::string text;
  for (const auto& download : SelectedDownloads()) {
    if (!download) continue;
    if (auto url = download->url()) {
      if (!text.empty()) text += "\n";
      text += *url;
    }
  }
  if (!text.empty()) toolbox::SetClipboardText(text);
}

void SetPresetLimit(engine::TransferDirection direction, unsigned preset) {
  const auto rate = static_cast<std::int32_t>(engine::BandwidthPresetBytesPerSecond(preset));
  engine::SetBandwidthLimitOn(direction, true);
  if (direction == engine::TransferDirection::kDownload)
    engine::SetDownloadBandwidthLimit(true, rate);
  else
    engine::SetUploadBandwidthLimit(true, rate);
}

// On or off with the current rate written back; the limiter keeps its rate.
void SwitchLimit(engine::TransferDirection direction, bool on) {
  engine::SetBandwidthLimitOn(direction, on);
  const std::int32_t rate = engine::BandwidthLimitBytesPerSecond(direction);
  if (direction == engine::TransferDirection::kDownload)
    engine::SetDownloadBandwidthLimit(false, rate);
  else
    engine::SetUploadBandwidthLimit(false, rate);
}

void StoreBool(const char* key, bool value) {
  util::SetPreferenceValue(key, values::Value(value));
}

void RedrawTrayIcon() {
  CallHook(ShellHooksSlot::Get().updateDockTile);
}

struct HiddenSection {
  FourCharCode command;
  const char* key;
  bool util::Settings::*flag;
  queue::ViewID row;  // 0: no row goes
};

constexpr HiddenSection kHiddenSections[] = {
    {FourCC("HiRe"), "show remote", &util::Settings::showRemote, 0},
    {FourCC("HiUp"), "show uploads", &util::Settings::showUploads, queue::kMyUploadsViewID},
    {FourCC("HiRf"), "show received files", &util::Settings::showReceivedFiles, queue::kReceivedFilesViewID},
    {FourCC("HiSe"), "show servers", &util::Settings::showServers, queue::kMyServersViewID},
    {FourCC("HiFi"), "show filters", &util::Settings::showFilters, queue::kFiltersViewID},
    {FourCC("HiHI"), "show history", &util::Settings::showHistory, queue::kHistoryViewID},
    {FourCC("HiRE"), "show rendezvous", &util::Settings::showRendezvous, 0},
    {FourCC("HiFS"), "show file sharing", &util::Settings::showFileSharing, 0},
};

void HideSection(const HiddenSection& section) {
  util::ChangeSettings([&](util::Settings& s) { s.*section.flag = false; });
  StoreBool(section.key, false);
  if (section.row != 0) ui::MainListServicesSlot::Get().RemoveFolderRow(section.row);
}

void ToggleSimpleMode() {
  const bool simple = !IsSimple();
  ui::InterfaceServiceSlot::Get().SetSimpleMode(simple);
  util::ChangeSettings([&](util::Settings& s) { s.advancedMode = !simple; });
  util::WriteSetting(util::kAdvancedModeKey, !simple);
  util::SynchronizeSettings();
  runtime::DistributedNotificationCenter::Post(kContextPrefsChanged);
}

void ToggleHiddenFiles() {
  const bool hide = !util::CurrentSettings()->hideHiddenFiles;
  util::ChangeSettings([&](util::Settings& s) { s.hideHiddenFiles = hide; });
  StoreBool("hideHiddenFiles", hide);
  ui::MainListServicesSlot::Get().RefillMainList();
}

void MoveSelection(std::int32_t steps) {
  std::vector<queue::WrapperRef> queued;
  for (const auto& d : SelectedDownloads())
    if (d && d->status() == queue::kStatusQueued) queued.push_back(d);
  if (queued.empty()) return;
  queue::MoveQueuedElements(queued, steps);
  ui::MainListServicesSlot::Get().UpdateDownloadColumn(11025, {});
}

// The download inspector of each selected download of the queue; a remote file listed in
// a browser folder (the top bit of its host id) belongs to the remote items' inspector.
void ShowInspectors() {
  for (const auto& d : SelectedDownloads())
    if (d && (d->element().hostID & 0x80000000u) == 0) ui::ShowDownloadInspector(d->element());
}

void ShowTransferInformation() {
  for (const auto& d : SelectedDownloads())
    if (d) ui::ShowTransferInfoWindow(d->element());
}

// The main window shown (in front, focused) or hidden.
void ToggleMainWindow() {
  toolbox::Window* main = ui::GetMainWindow();
  if (!main) return;
  if (main->IsVisible() && main->IsActive()) {
    main->Hide();
  } else {
    main->Select();
  }
}

// The Window menu's own commands act on the front window (floating ones aside).
std::shared_ptr<toolbox::Window> FrontDocumentWindow() {
  auto front = toolbox::Window::FrontWindow();
  return front && front->kind() != toolbox::WindowKind::kFloating ? front : nullptr;
}

// The next visible window after the front one comes to the front.
void CycleWindows() {
  std::vector<std::shared_ptr<toolbox::Window>> shown;
  for (auto& w : toolbox::Window::AllWindows())
    if (w->IsVisible() && w->kind() != toolbox::WindowKind::kSheet) shown.push_back(w);
  if (shown.size() < 2) return;
  auto front = toolbox::Window::FrontWindow();
  auto at = std::find(shown.begin(), shown.end(), front);
  const std::size_t next =
      at == shown.end() ? 0 : (static_cast<std::size_t>(at - shown.begin()) + 1) % shown.size();
  shown[next]->Select();
}

// The log file in the file manager; nothing when it is not there yet.
void RevealLogFile() {
  auto file = engine::GlobalLogFile();
  if (!file.ok()) return;
  const std::string path = file.value().Path();
  if (::access(path.c_str(), F_OK) != 0) return;
  desktop::WorkspaceSlot::Get().RevealItem(path);
}

}  // namespace

QuitDecision DecideQuit(bool receiving, bool uploading, bool downloading, bool warnOnQuit,
                        bool warnOnlyIfDownloading) {
  if (!receiving && !uploading && !downloading) return QuitDecision::kQuitNow;
  if (!warnOnQuit) return QuitDecision::kQuitNow;
  if (downloading || !warnOnlyIfDownloading) return QuitDecision::kWarn;
  return QuitDecision::kQuitNow;
}

// Move to Trash. My Downloads shown: the finished file of every download there that is
// still found, each move undoable. Received Files shown: the received files still on disk.
void MoveShownFilesToTrash() {
  if (queue::IsViewDisplayed(queue::kMyDownloadsViewID)) {
    std::vector<queue::WrapperRef> items;
    if (const queue::FolderRef folder = queue::LookUpFolder(queue::kMyDownloadsViewID)) {
      std::lock_guard lock(folder->itemsLock());
      for (const auto& [uid, wrapper] : folder->items()) items.push_back(wrapper);
    }
    std::vector<std::string> paths;
    for (const queue::WrapperRef& wrapper : items) {
      const auto& url = queue::DownloadQueueElementGetCompleteURL(wrapper->element());
      const auto path = url ? values::PathFromFileUrl(*url) : std::nullopt;
      if (!path) continue;
      queue::RegisterUndoDownloadFilesMoved(wrapper);
      paths.push_back(*path);
    }
    if (!paths.empty()) {
      util::MoveItemsToTrash(paths);
      queue::TruvaneUndoSetActionName(
          paths.size() == 1
              ? values::Localized("Move Download to Trash")
              : values::Format(values::Localized("Move %d Downloads to Trash"), {paths.size()}));
    }
    queue::RecheckViewItemFiles(queue::kMyDownloadsViewID);
  } else if (queue::IsViewDisplayed(queue::kReceivedFilesViewID)) {
    std::vector<std::string> paths;
    for (const sharing::ReceivedFileRef& file : sharing::ReceivedFilesCopyArray())
      if (auto path = file->UpdatePath(); path && files::Exists(files::FileRef(*path)))
        paths.push_back(*path);
    util::MoveItemsToTrash(paths);
    queue::RecheckViewItemFiles(queue::kReceivedFilesViewID);
  }
}

// Clear the list ('ClrQ', 'ClrC'): after the questions the settings and the files on disk
// call for, everything the shown list holds leaves it.
constexpr int kConfirmClearHistoryKind = 7;
constexpr int kConfirmClearListKind = 8;

bool Exists(const std::optional<std::string>& path) {
  return path && files::Exists(files::FileRef(*path));
}

void ClearShownList() {
  using queue::IsViewDisplayed;
  auto& confirmations = ui::ConfirmationServiceSlot::Get();
  ui::MainList* list = ui::GetMainList();
  std::vector<queue::WrapperRef> downloads;
  if (list)
    for (const ui::MainListItem& row : list->Rows(nullptr))
      if (row.kind == ui::RowKind::kDownload)
        downloads.push_back(std::static_pointer_cast<queue::DownloadQueueWrapper>(row.record));

  const bool servers = IsViewDisplayed(queue::kMyServersViewID);
  const bool history = IsViewDisplayed(queue::kHistoryViewID);
  const bool uploads = IsViewDisplayed(queue::kMyUploadsViewID);
  const bool received = IsViewDisplayed(queue::kReceivedFilesViewID);
  bool trash = false;
  if (servers || history) {
    if (util::CurrentSettings()->confirmRemovals &&
        confirmations.RunConfirmationAlert(kConfirmClearHistoryKind, false) != ui::kConfirmationOK)
      return;
  } else {
    bool onDisk = false;
    if (uploads) {
      for (const auto& u : upload::UploadRowsServiceSlot::Get().CopyAllUploadItems())
        onDisk = onDisk || Exists(u->localPath());
    } else if (received) {
      for (const auto& f : sharing::ReceivedFilesCopyArray()) onDisk = onDisk || Exists(f->UpdatePath());
    } else {
      for (const auto& w : downloads)
        onDisk = onDisk || queue::DownloadQueueElementGetCompleteURL(w->element()).has_value();
    }
    if (onDisk) {
      const int answer = confirmations.RunConfirmationAlert(kConfirmClearListKind, true);
      if (answer == ui::kConfirmationMoveToTrash)
        trash = true;
      else if (answer != ui::kConfirmationKeepFiles)
        return;
    }
  }

  if (history) {
    queue::TrimHistory(0);
  } else if (servers) {
    if (list) list->SelectRows(list->Rows(nullptr));
    ui::RemoveSelectedFavourites();
  } else if (uploads) {
    upload::RemoveAllUploads(trash);
  } else if (received) {
    sharing::ReceivedFilesRemoveAll(trash);
  } else if (!downloads.empty()) {
    // The files are found before their downloads go, and trashed after.
    std::vector<std::string> files;
    std::vector<queue::DownloadUID> uids;
    for (const auto& w : downloads) {
      uids.push_back(w->uid());
      if (!trash) continue;
      if (const auto& url = queue::DownloadQueueElementGetCompleteURL(w->element()))
        if (auto path = values::PathFromFileUrl(*url)) files.push_back(*path);
      if (auto package = queue::CopyPartialPackageURL(w->element())) files.push_back(package->Path());
    }
    queue::RemoveDownloads(uids, queue::GetDisplayedViewSet(), false, true);
    util::MoveItemsToTrash(files);
  }
  ui::MainListServicesSlot::Get().RefreshStatusBar();
}

void RequestQuit() {
  auto& hooks = ShellHooksSlot::Get();
  const bool receiving = sharing::RunningUploadServers() > 0;
  const bool uploading = AskHook<std::int32_t>(hooks.activeUploadCount, 0) > 0;
  const bool downloading = !queue::gActiveDownloads.empty();
  if (DecideQuit(receiving, uploading, downloading, util::ReadSetting(util::kWarnOnQuitKey),
                 util::ReadSetting(util::kWarnOnlyIfDownloadingKey)) == QuitDecision::kWarn) {
    ShowQuitWarningWindow();
  } else {
    runtime::QuitApplicationEventLoop();
  }
}

namespace {

using runtime::kEventNotHandledErr;
using runtime::kNoErr;
using runtime::Status;
using ui::Command;
using ui::CommandRange;
using ui::CommandScope;
using ui::Pending;

constexpr CommandScope kApp = CommandScope::kApplication;

bool ShowsView(queue::ViewID view) {
  return CurrentView() == view;
}

Status PresetLimit(FourCharCode command) {
  const bool upload = command >= FourCC("GZZ0") && command < FourCC("GZZ0") + engine::kBandwidthPresetCount;
  if (upload)
    SetPresetLimit(engine::TransferDirection::kUpload, command - FourCC("GZZ0"));
  else
    SetPresetLimit(engine::TransferDirection::kDownload, command - FourCC("ZZZ0"));
  return kNoErr;
}

Status HideSectionCommand(FourCharCode command) {
  for (const HiddenSection& section : kHiddenSections)
    if (command == section.command) HideSection(section);
  return kNoErr;
}

Status UndoRedo(FourCharCode command) {
  if (command == FourCC("undo"))
    queue::TruvaneUndo::Shared().Undo();
  else
    queue::TruvaneUndo::Shared().Redo();
  ui::MainListServicesSlot::Get().RefreshStatusBar();
  return kNoErr;
}

// My Servers shows favourites: they go (after their own question); elsewhere the selected
// downloads, uploads or received files.
Status RemoveSelection(FourCharCode) {
  if (ShowsView(queue::kMyServersViewID))
    ui::RemoveSelectedFavourites();
  else
    queue::RemoveSelectedItems(true);
  return kNoErr;
}

Status MoveSelectionCommand(FourCharCode command) {
  switch (command) {
    case FourCC("DSUp"):
      MoveSelection(-1);
      break;
    case FourCC("DSDo"):
      MoveSelection(1);
      break;
    case FourCC("DSU5"):
      MoveSelection(-5);
      break;
    default:
      MoveSelection(5);
      break;
  }
  return kNoErr;
}

// My Uploads clears uploads, asking; elsewhere downloads.
Status ClearFinished(FourCharCode) {
  if (ShowsView(queue::kMyUploadsViewID))
    upload::ClearFinishedUploads(true);
  else
    queue::ClearFinishedDownloads(true);
  return kNoErr;
}

// File > Connect to Server and the tray's "Connect To" items: the dialog empty, or set to
// one protocol with nothing else filled in.
Status OpenConnectDialogCommand(FourCharCode command) {
  browser::ConnectDialogRequest request;
  switch (command) {
    case FourCC("ConF"):
      request.preFill = "ftp:///";
      break;
    case FourCC("Conf"):
      request.preFill = "ftps:///";
      break;
    case FourCC("Coni"):
      request.preFill = "idisk:///";
      break;
    case FourCC("ConI"):
      request.preFill = "idisk://-Public/";
      break;
    case FourCC("Conw"):
      request.preFill = "http:///";
      break;
    case FourCC("ConW"):
      request.preFill = "https:///";
      break;
    default:
      break;
  }
  ui::OpenConnectDialog(request);
  return kNoErr;
}

Status ClearInactive(FourCharCode) {
  if (ShowsView(queue::kMyUploadsViewID))
    upload::ClearInactiveUploads(true);
  else if (!ShowsView(queue::kReceivedFilesViewID))
    queue::ClearCancelledDownloads(true);
  return kNoErr;
}

Status SwitchLimitCommand(FourCharCode command) {
  if (command == FourCC("BWOn") || command == FourCC("BWOf"))
    SwitchLimit(engine::TransferDirection::kDownload, command == FourCC("BWOn"));
  else
    SwitchLimit(engine::TransferDirection::kUpload, command == FourCC("UBWO"));
  return kNoErr;
}

Status ShowSpeedsInTray(FourCharCode command) {
  StoreBool("show speeds", command == FourCC("DM$p"));
  RedrawTrayIcon();
  return kNoErr;
}

Status ToggleTrayGraph(FourCharCode) {
  util::ChangeSettings([](util::Settings& s) { s.displayGraphInDock = !s.displayGraphInDock; });
  StoreBool("displaygraphindock", util::CurrentSettings()->displayGraphInDock);
  RedrawTrayIcon();
  return kEventNotHandledErr;
}

// The remote host shown: one pane (a list) or the split panes with the local files.
Status RemoteViewType(FourCharCode command) {
  const queue::ViewID view = CurrentView();
  if (queue::IsRemoteHostViewID(view))
    if (browser::HostRef host = browser::HostForViewID(view)) {
      host->viewType = command == FourCC("ViAl") ? 2 : 1;
      ui::MainListServicesSlot::Get().RequestRedisplayCurrentFolder();
    }
  return kNoErr;
}

Status TrayItem(FourCharCode command) {
  HandleDockMenuCommand(command);
  return kNoErr;
}

Status BringAllToFront(FourCharCode) {
  for (auto& w : toolbox::Window::AllWindows())
    if (w->IsVisible() && !w->IsMinimized()) w->Select();
  if (auto w = FrontDocumentWindow()) w->Select();
  return kNoErr;
}

// The application's lines of the command table, one a command. A command whose window is
// not built yet is Pending, naming it: shown disabled until that line gets its handler.
constexpr ui::CommandEntry kApplicationCommands[] = {
    Command(FourCC("quit"), kApp, [](FourCharCode) { return RequestQuit(), kNoErr; }),
    Command(FourCC("undo"), kApp, UndoRedo),
    Command(FourCC("redo"), kApp, UndoRedo),
    Command(FourCC("copy"), kApp, [](FourCharCode) { return CopySelectedURLs(), kNoErr; }),
    Command(FourCC("CuRl"), kApp, [](FourCharCode) { return CopySelectedURLs(), kNoErr; }),
    Command(FourCC("Star"), kApp, [](FourCharCode) { return queue::StartQueue(), kNoErr; }),
    Command(FourCC("Stop"), kApp,
            [](FourCharCode) {
              return queue::StopQueue(util::CurrentSettings()->downloadsStopWithQueue), kNoErr;
            }),
    Command(FourCC("StaD"), kApp, [](FourCharCode) { return queue::StartSelectedDownloads(), kNoErr; }),
    Command(FourCC("StoD"), kApp, [](FourCharCode) { return queue::StopSelectedDownloads(), kNoErr; }),
    Command(FourCC("HolD"), kApp, [](FourCharCode) { return queue::HoldSelectedItems(), kNoErr; }),
    Command(FourCC("QDow"), kApp, [](FourCharCode) { return queue::QueueSelectedDownloads(), kNoErr; }),
    Command(FourCC("StaU"), kApp, [](FourCharCode) { return queue::StartUploadQueue(), kNoErr; }),
    Command(FourCC("StoU"), kApp,
            [](FourCharCode) {
              return queue::StopUploadQueue(util::ReadSetting(util::kUploadsStopWithQueueKey)), kNoErr;
            }),
    Command(FourCC("Vdet"), kApp,
            [](FourCharCode) {
              if (!ShowsView(queue::kMyUploadsViewID)) ShowTransferInformation();
              return kNoErr;
            }),
    Command(FourCC("View"), kApp, [](FourCharCode) { return engine::ShowGlobalLogWindow(), kNoErr; }),
    Command(FourCC("mini"), kApp,
            [](FourCharCode) {
              if (auto w = FrontDocumentWindow()) w->Minimize();
              return kNoErr;
            }),
    Command(FourCC("zoom"), kApp,
            [](FourCharCode) {
              if (auto w = FrontDocumentWindow()) w->ToggleZoom();
              return kNoErr;
            }),
    Command(FourCC("rotw"), kApp, [](FourCharCode) { return CycleWindows(), kNoErr; }),
    Command(FourCC("bfrt"), kApp, BringAllToFront),
    Command(FourCC("Abou"), kApp, [](FourCharCode) { return util::ShowAboutWindow(), kNoErr; }),
    Command(FourCC("ChkV"), kApp, [](FourCharCode) { return util::CheckForUpdates(), kEventNotHandledErr; }),
    Command(FourCC("OScF"), kApp,
            [](FourCharCode) {
              return desktop::WorkspaceSlot::Get().OpenFile(queue::ScriptsFolder().Path()), kNoErr;
            }),
    Command(FourCC("ViAl"), kApp, RemoteViewType),
    Command(FourCC("VSpl"), kApp, RemoteViewType),
    Command(FourCC("VSAc"), kApp, [](FourCharCode) { return ui::ShowServerActivityWindow(), kNoErr; }),
    Command(FourCC("QWNF"), kApp, [](FourCharCode) { return ui::MakeNewFolder(), kNoErr; }),
    Command(FourCC("NeSF"), kApp,
            [](FourCharCode) { return ui::OpenSmartFolderRuleEditor(nullptr), kNoErr; }),
    Command(FourCC("GoHo"), kApp, [](FourCharCode) { return OpenHomePage(), kNoErr; }),
    Command(FourCC("GoFo"), kApp,
            [](FourCharCode) { return desktop::WorkspaceSlot::Get().OpenURL(kForumPage), kNoErr; }),
    Command(FourCC("ODFo"), kApp, [](FourCharCode) { return ui::OpenDefaultFolderInFinder(), kNoErr; }),
    Command(FourCC("OUFo"), kApp, [](FourCharCode) { return ui::OpenReceivedFolderInFinder(), kNoErr; }),
    Command(FourCC("RFLo"), kApp, [](FourCharCode) { return RevealLogFile(), kNoErr; }),
    Command(FourCC("NQWi"), kApp, [](FourCharCode) { return ToggleMainWindow(), kNoErr; }),
    Command(kShowMainWindowCommand, kApp, [](FourCharCode) { return ShowMainWindow(), kNoErr; }),
    Command(FourCC("TRem"), kApp, RemoveSelection),
    Command(FourCC("Remo"), kApp, RemoveSelection),
    Command(
        FourCC("TSin"), kApp, [](FourCharCode) { return ToggleHiddenFiles(), kNoErr; },
        [] { return queue::IsRemoteHostViewID(CurrentView()); }),
    Command(FourCC("TadM"), kApp, [](FourCharCode) { return ToggleSimpleMode(), kNoErr; }),
    Command(FourCC("DSUp"), kApp, MoveSelectionCommand),
    Command(FourCC("DSDo"), kApp, MoveSelectionCommand),
    Command(FourCC("DSU5"), kApp, MoveSelectionCommand),
    Command(FourCC("DSD5"), kApp, MoveSelectionCommand),
    Command(FourCC("ClrQ"), kApp, [](FourCharCode) { return ClearShownList(), kEventNotHandledErr; }),
    Command(FourCC("ClrC"), kApp, [](FourCharCode) { return ClearShownList(), kEventNotHandledErr; }),
    Command(FourCC("MvTT"), kApp, [](FourCharCode) { return MoveShownFilesToTrash(), kNoErr; }),
    Command(FourCC("ClrO"), kApp, [](FourCharCode) { return queue::CleanUpQueue(), kNoErr; }),
    Command(FourCC("ClIn"), kApp, ClearFinished),
    Command(FourCC("ClC*"), kApp, ClearInactive),
    CommandRange(FourCC("ZZZ0"), engine::kBandwidthPresetCount, kApp, PresetLimit),
    CommandRange(FourCC("GZZ0"), engine::kBandwidthPresetCount, kApp, PresetLimit),
    Command(FourCC("BWOn"), kApp, SwitchLimitCommand),
    Command(FourCC("BWOf"), kApp, SwitchLimitCommand),
    Command(FourCC("UBWO"), kApp, SwitchLimitCommand),
    Command(FourCC("UBWf"), kApp, SwitchLimitCommand),
    Command(FourCC("DM$p"), kApp, ShowSpeedsInTray),
    Command(FourCC("DM#I"), kApp, ShowSpeedsInTray),
    Command(FourCC("DMB@"), kApp, ToggleTrayGraph),
    Command(FourCC("HiRe"), kApp, HideSectionCommand),
    Command(FourCC("HiUp"), kApp, HideSectionCommand),
    Command(FourCC("HiRf"), kApp, HideSectionCommand),
    Command(FourCC("HiSe"), kApp, HideSectionCommand),
    Command(FourCC("HiFi"), kApp, HideSectionCommand),
    Command(FourCC("HiHI"), kApp, HideSectionCommand),
    Command(FourCC("HiRE"), kApp, HideSectionCommand),
    Command(FourCC("HiFS"), kApp, HideSectionCommand),
    CommandRange(kDockBonjourCommand, kDockMenuMaxItems, kApp, TrayItem),
    CommandRange(kDockFavouriteCommand, kDockMenuMaxItems, kApp, TrayItem),
    Command(FourCC("AurS"), kApp, [](FourCharCode) { return ui::OpenAddFilesFromURLWindow(), kNoErr; }),
    Command(
        FourCC("Sche"), kApp, [](FourCharCode) { return ui::OpenScheduleSheet(), kNoErr; },
        ui::CanOpenScheduleSheet),
    // Waiting for their windows.
    Command(FourCC("New "), kApp, [](FourCharCode) { return ui::ShowAddDownloadWindow(), kNoErr; }),
    Pending(FourCC("New+"), "the add-download window, the connect dialog, the preferences window"),
    Command(FourCC("Edit"), kApp,
            [](FourCharCode) { return ui::ShowEditDownloadWindow(SelectedDownloads()), kNoErr; }),
    Pending(FourCC("ShFl"), "the mini window"),
    Pending(FourCC("pref"), "the preferences window"),
    Pending(FourCC("GtIf"), "the preferences window"),
    Command(FourCC("Insp"), kApp, [](FourCharCode) { return ShowInspectors(), kNoErr; }),
    Command(FourCC("Band"), kApp,
            [](FourCharCode) { return ui::ShowBandwidthWindow(ui::TheRateHistory()), kNoErr; }),
    Command(FourCC("Conn"), kApp, OpenConnectDialogCommand),
    Command(FourCC("ConS"), kApp, OpenConnectDialogCommand),
    Command(FourCC("ConF"), kApp, OpenConnectDialogCommand),
    Command(FourCC("Conf"), kApp, OpenConnectDialogCommand),
    Command(FourCC("Coni"), kApp, OpenConnectDialogCommand),
    Command(FourCC("ConI"), kApp, OpenConnectDialogCommand),
    Command(FourCC("Conw"), kApp, OpenConnectDialogCommand),
    Command(FourCC("ConW"), kApp, OpenConnectDialogCommand),
    Pending(FourCC("ImpF"), "the bookmark import of the remote browser"),
    Pending(FourCC("tDma"), "the online disk's sign-up page"),
    Pending(FourCC("SnFi"), "the send-files window"),
    Pending(FourCC("URse"), "the file-hosting service's upload chooser"),
    Pending(FourCC("KCUl"), "the file-hosting service's uploads (kill links)"),
    Pending(FourCC("Owif"), "the main list's Open With submenu"),
    Pending(FourCC("CtFi"), "the send-to menu of the uploads"),
};

}  // namespace

void RegisterApplicationCommands() {
  ui::RegisterCommands(kApplicationCommands);
}

namespace {

// The table holds the application's lines before the first command or status question,
// whoever asks first (the handler's install at start-up does it too).
void EnsureApplicationCommands() {
  static const bool registered = (RegisterApplicationCommands(), true);
  (void)registered;
}

}  // namespace

runtime::Status ProcessApplicationCommand(FourCharCode command) {
  EnsureApplicationCommands();
  return ui::DispatchCommand(CommandScope::kApplication, command);
}

runtime::Status UpdateApplicationCommandStatus(FourCharCode command, toolbox::CommandStatus& status) {
  EnsureApplicationCommands();
  // Pending commands are disabled; a command with its own rule follows it.
  if (const auto decided = ui::CommandTableEnabling(command)) {
    status.enabled = *decided;
    return runtime::kNoErr;
  }
  switch (command) {
    case FourCC("clos"): {
      auto front = toolbox::Window::FrontWindow();
      status.enabled = front && front->kind() != toolbox::WindowKind::kFloating;
      return runtime::kNoErr;
    }
    case FourCC("copy"):
      status.enabled = true;
      return runtime::kNoErr;
    case FourCC("undo"):
      status.enabled = queue::TruvaneUndo::Shared().CanUndo();
      return runtime::kNoErr;
    case FourCC("redo"):
      status.enabled = queue::TruvaneUndo::Shared().CanRedo();
      return runtime::kNoErr;
    default:
      return runtime::kEventNotHandledErr;
  }
}

}  // namespace shell
