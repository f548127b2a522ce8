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
#include "app/sharing/received/received_files.h"
#include "app/shell/confirmation_alerts.h"
#include "app/shell/quit_warning_window.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/startup.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/window_commands.h"
#include "app/ui/rule_editor/rule_editor_window.h"
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
  util::SettingsPreferences().Set("advanced_mode", values::Value(!simple));
  util::SettingsPreferences().Synchronize();
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
  const bool receiving = AskHook<std::int32_t>(hooks.incomingTransfers, 0) > 0;
  const bool uploading = AskHook<std::int32_t>(hooks.activeUploadCount, 0) > 0;
  const bool downloading = !queue::gActiveDownloads.empty();
  if (DecideQuit(receiving, uploading, downloading, util::PrefBoolForKey("warnonquit"),
                 util::PrefBoolForKey("warnonlyifdl")) == QuitDecision::kWarn) {
    ShowQuitWarningWindow();
  } else {
    runtime::QuitApplicationEventLoop();
  }
}

runtime::Status ProcessApplicationCommand(FourCharCode command) {
  using engine::TransferDirection;
  const auto settings = util::CurrentSettings();
  const queue::ViewID view = CurrentView();

  // The bandwidth presets: 'ZZZ0'...'ZZZ=' downloads, 'GZZ0'...'GZZ=' uploads.
  for (auto [base, direction] : {std::pair{FourCC("ZZZ0"), TransferDirection::kDownload},
                                 std::pair{FourCC("GZZ0"), TransferDirection::kUpload}}) {
    if (command >= base && command < base + engine::kBandwidthPresetCount) {
      SetPresetLimit(direction, command - base);
      return runtime::kNoErr;
    }
  }
  for (const HiddenSection& section : kHiddenSections) {
    if (command == section.command) {
      HideSection(section);
      return runtime::kNoErr;
    }
  }

  switch (command) {
    case FourCC("quit"):
      RequestQuit();
      return runtime::kNoErr;
    case FourCC("undo"):
    case FourCC("redo"):
      if (command == FourCC("undo"))
        queue::TruvaneUndo::Shared().Undo();
      else
        queue::TruvaneUndo::Shared().Redo();
      ui::MainListServicesSlot::Get().RefreshStatusBar();
      return runtime::kNoErr;
    case FourCC("copy"):
    case FourCC("CuRl"):
      CopySelectedURLs();
      return runtime::kNoErr;
    case FourCC("Star"):
      queue::StartQueue();
      return runtime::kNoErr;
    case FourCC("Stop"):
      queue::StopQueue(settings->downloadsStopWithQueue);
      return runtime::kNoErr;
    case FourCC("StaD"):
      queue::StartSelectedDownloads();
      return runtime::kNoErr;
    case FourCC("StoD"):
      queue::StopSelectedDownloads();
      return runtime::kNoErr;
    case FourCC("HolD"):
      queue::HoldSelectedItems();
      return runtime::kNoErr;
    case FourCC("QDow"):
      queue::QueueSelectedDownloads();
      return runtime::kNoErr;
    case FourCC("StaU"):
      queue::StartUploadQueue();
      return runtime::kNoErr;
    case FourCC("StoU"):
      queue::StopUploadQueue(util::PrefBoolForKey("Uploads stop with queue"));
      return runtime::kNoErr;
    case FourCC("Vdet"):
      if (view != queue::kMyUploadsViewID) ShowTransferInformation();
      return runtime::kNoErr;
    case FourCC("View"):
      engine::ShowGlobalLogWindow();
      return runtime::kNoErr;
    case FourCC("mini"):
      if (auto w = FrontDocumentWindow()) w->Minimize();
      return runtime::kNoErr;
    case FourCC("zoom"):
      if (auto w = FrontDocumentWindow()) w->ToggleZoom();
      return runtime::kNoErr;
    case FourCC("rotw"):
      CycleWindows();
      return runtime::kNoErr;
    case FourCC("bfrt"):
      for (auto& w : toolbox::Window::AllWindows())
        if (w->IsVisible() && !w->IsMinimized()) w->Select();
      if (auto w = FrontDocumentWindow()) w->Select();
      return runtime::kNoErr;
    case FourCC("Abou"):
      util::ShowAboutWindow();
      return runtime::kNoErr;
    case FourCC("ChkV"):
      util::CheckForUpdates();
      return runtime::kEventNotHandledErr;
    case FourCC("OScF"):
      desktop::WorkspaceSlot::Get().OpenFile(queue::ScriptsFolder().Path());
      return runtime::kNoErr;
    case FourCC("ViAl"):
    case FourCC("VSpl"):
      // The remote host shown: one pane (a list) or the split panes with the local files.
      if (queue::IsRemoteHostViewID(view))
        if (browser::HostRef host = browser::HostForViewID(view)) {
          host->viewType = command == FourCC("ViAl") ? 2 : 1;
          ui::MainListServicesSlot::Get().RequestRedisplayCurrentFolder();
        }
      return runtime::kNoErr;
    case FourCC("VSAc"):
      ui::ShowServerActivityWindow();
      return runtime::kNoErr;
    case FourCC("NeSF"):
      ui::OpenSmartFolderRuleEditor(nullptr);
      return runtime::kNoErr;
    case FourCC("GoHo"):
      OpenHomePage();
      return runtime::kNoErr;
    case FourCC("GoFo"):
      desktop::WorkspaceSlot::Get().OpenURL(kForumPage);
      return runtime::kNoErr;
    case FourCC("ODFo"):
      ui::OpenDefaultFolderInFinder();
      return runtime::kNoErr;
    case FourCC("OUFo"):
      ui::OpenReceivedFolderInFinder();
      return runtime::kNoErr;
    case FourCC("RFLo"):
      RevealLogFile();
      return runtime::kNoErr;
    case FourCC("NQWi"):
      ToggleMainWindow();
      return runtime::kNoErr;
    case FourCC("TRem"):
    case FourCC("Remo"):
      if (view != queue::kMyServersViewID) queue::RemoveSelectedItems(true);
      return runtime::kNoErr;
    case FourCC("TSin"):
      ToggleHiddenFiles();
      return runtime::kNoErr;
    case FourCC("TadM"):
      ToggleSimpleMode();
      return runtime::kNoErr;
    case FourCC("DSUp"):
      MoveSelection(-1);
      return runtime::kNoErr;
    case FourCC("DSDo"):
      MoveSelection(1);
      return runtime::kNoErr;
    case FourCC("DSU5"):
      MoveSelection(-5);
      return runtime::kNoErr;
    case FourCC("DSD5"):
      MoveSelection(5);
      return runtime::kNoErr;
    case FourCC("ClrQ"):
    case FourCC("ClrC"):
      ClearShownList();
      return runtime::kEventNotHandledErr;
    case FourCC("MvTT"):
      MoveShownFilesToTrash();
      return runtime::kNoErr;
    case FourCC("ClrO"):
      queue::CleanUpQueue();
      return runtime::kNoErr;
    case FourCC("ClIn"):
      if (view != queue::kMyUploadsViewID) queue::ClearFinishedDownloads(true);
      return runtime::kNoErr;
    case FourCC("ClC*"):
      if (view != queue::kMyUploadsViewID && view != queue::kReceivedFilesViewID)
        queue::ClearCancelledDownloads(true);
      return runtime::kNoErr;
    case FourCC("BWOn"):
    case FourCC("BWOf"):
      SwitchLimit(TransferDirection::kDownload, command == FourCC("BWOn"));
      return runtime::kNoErr;
    case FourCC("UBWO"):
    case FourCC("UBWf"):
      SwitchLimit(TransferDirection::kUpload, command == FourCC("UBWO"));
      return runtime::kNoErr;
    case FourCC("DM$p"):
    case FourCC("DM#I"):
      StoreBool("show speeds", command == FourCC("DM$p"));
      RedrawTrayIcon();
      return runtime::kNoErr;
    case FourCC("DMB@"):
      util::ChangeSettings([](util::Settings& s) { s.displayGraphInDock = !s.displayGraphInDock; });
      StoreBool("displaygraphindock", util::CurrentSettings()->displayGraphInDock);
      RedrawTrayIcon();
      return runtime::kEventNotHandledErr;
    default:
      return runtime::kEventNotHandledErr;
  }
}

runtime::Status UpdateApplicationCommandStatus(FourCharCode command, toolbox::CommandStatus& status) {
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
    case FourCC("TSin"):
      status.enabled = queue::IsRemoteHostViewID(CurrentView());
      return runtime::kNoErr;
    default:
      return runtime::kEventNotHandledErr;
  }
}

}  // namespace shell
