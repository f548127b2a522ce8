#include "app/ui/main_window/main_window_services.h"

#include <memory>

#include "app/queue/folders/folder_table.h"
#include "app/ui/connect_dialog/connect_dialog.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/command_state.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/main_window/main_window_layout.h"
#include "app/ui/main_window/status_line.h"
#include "app/ui/services/interface_service.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/services/source_list_rows.h"
#include "app/ui/services/view_notifications.h"
#include "app/ui/source_list/source_list.h"
#include "app/ui/views/resource_images.h"

namespace ui {

namespace {

// The source-list rows, the filter scope and the badges from the window; everything else
// from the services it was installed over.
class WindowServices : public MainListServices {
 public:
  explicit WindowServices(std::unique_ptr<MainListServices> rest) : rest_(std::move(rest)) {}

  void LogMessageToGlobalLog(bool isError, const std::string& text) override {
    rest_->LogMessageToGlobalLog(isError, text);
  }
  void AddElementToDownloadsView(const DownloadRef& d) override { rest_->AddElementToDownloadsView(d); }
  bool IsLibraryViewShown() override { return rest_->IsLibraryViewShown(); }
  void AddNewDownloadRow(const DownloadRef& d, bool select) override { rest_->AddNewDownloadRow(d, select); }
  void RevealDownloadRow(std::uint32_t uid) override { rest_->RevealDownloadRow(uid); }
  void RequestShowDownload(std::uint32_t uid) override { rest_->RequestShowDownload(uid); }
  void UpdateDownloadRow(std::uint32_t uid) override { rest_->UpdateDownloadRow(uid); }
  void AdjustStatusTotals(const DownloadRef& d, std::int64_t n, std::int64_t o) override {
    if (GetMainWindow()) ui::AdjustStatusTotals(d, n, o);
  }
  void RefreshStatusBar() override { ui::RefreshStatusBar(); }
  void RefreshTransferLogView(std::uint32_t uid) override { rest_->RefreshTransferLogView(uid); }
  void MiniWindowShowDownload(const DownloadRef& d) override { rest_->MiniWindowShowDownload(d); }
  void MiniWindowShowDownloadIfNone(const DownloadRef& d) override { rest_->MiniWindowShowDownloadIfNone(d); }
  void PostActiveDownloadsChange() override { ui::PostActiveDownloadsChange(); }

  void RelabelFolderRow(std::uint32_t id, const std::string& name) override {
    CustomList* list = GetMainFolderList();
    const RowRef row = list ? list->GetRowByIdentifier(id) : nullptr;
    if (!row) return;
    row->label = name;
    list->InvalidateRow(row.get());
  }
  void SetFolderRowShared(std::uint32_t id, bool) override { RefreshFolderRowIcons({id}); }
  void RemoveFolderRow(std::uint32_t id) override {
    if (CustomList* list = GetMainFolderList()) SourceListRemoveRow(*list, id);
  }
  void RefreshFolderRowIcons(const std::vector<std::uint32_t>& ids) override {
    if (CustomList* list = GetMainFolderList()) ui::RefreshFolderRowIcons(*list, ids);
  }
  void AddFolderRow(std::uint32_t id, const std::string&) override {
    CustomList* list = GetMainFolderList();
    if (!list || list->GetRowByIdentifier(id)) return;
    SourceListAddFolderRow(*list, id);
  }
  void SortFolderRows() override {
    if (CustomList* list = GetMainFolderList()) SourceListSortFolderRows(*list);
  }
  void SelectFolderRow(std::uint32_t id) override {
    CustomList* list = GetMainFolderList();
    if (!list) return;
    if (const RowRef row = list->GetRowByIdentifier(id)) {
      list->SelectRow(row);
      list->RevealRow(row);
    }
  }
  std::vector<DownloadRef> CopySelectedDownloads() override { return rest_->CopySelectedDownloads(); }
  int CurrentFilterScope() override {
    return GetMainWindow() ? GetFilterScope() : rest_->CurrentFilterScope();
  }
  std::string CurrentSearchText() override { return rest_->CurrentSearchText(); }
  void RemoveDownloadRows(const std::vector<std::uint32_t>& uids) override {
    rest_->RemoveDownloadRows(uids);
  }
  void UpdateDownloadColumn(std::uint32_t p, const std::vector<std::uint32_t>& uids) override {
    rest_->UpdateDownloadColumn(p, uids);
  }
  void RefillMainList() override { rest_->RefillMainList(); }
  void RequestRedisplayCurrentFolder() override { rest_->RequestRedisplayCurrentFolder(); }
  void ShowQueueSwitch(bool, bool) override { UpdateQueueCommandState(); }
  void RefreshCommandState() override { UpdateQueueCommandState(); }
  void CloseDownloadInspector(const DownloadRef& d) override { rest_->CloseDownloadInspector(d); }
  void NotifyMiniWindowDownloadRemoved(const DownloadRef& d) override {
    rest_->NotifyMiniWindowDownloadRemoved(d);
  }
  void MarkDockTileChanged() override { rest_->MarkDockTileChanged(); }

 private:
  std::unique_ptr<MainListServices> rest_;
};

class WindowInterface : public InterfaceService {
 public:
  void SetSimpleMode(bool simple) override {
    if (GetMainWindow())
      ui::SetSimpleMode(simple);
    else
      MainWindowState().simpleMode = simple;
  }
  void SetHelpTagsEnabled(bool enabled) override { helpTags_ = enabled; }

 private:
  bool helpTags_ = true;
};

class WindowNotifications : public ViewNotifications {
 public:
  void PostBatchActionChange(const std::string& id) override { ui::PostBatchActionChange(id); }
};

class WindowSourceListRows : public SourceListRowsService {
 public:
  void AddHostRow(std::uint32_t viewID) override {
    CustomList* list = GetMainFolderList();
    if (!list || list->GetRowByIdentifier(viewID)) return;
    if (auto host = browser::RemoteRowsServiceSlot::Get().GetHostForViewID(viewID))
      SourceListAddHostRow(*list, *host, viewID);
  }
  void RemoveHostRow(std::uint32_t viewID) override {
    if (CustomList* list = GetMainFolderList()) SourceListRemoveRow(*list, viewID);
  }
  void SetHostRowBusy(std::uint32_t viewID, bool busy) override {
    CustomList* list = GetMainFolderList();
    if (const RowRef row = list ? list->GetRowByIdentifier(viewID) : nullptr) {
      row->setShowProgress(busy);
      list->InvalidateRow(row.get());
    }
  }
};

}  // namespace

void InstallMainWindowServices() {
  auto previous = MainListServicesSlot::Set(nullptr);
  MainListServicesSlot::Set(std::make_unique<WindowServices>(std::move(previous)));
  InterfaceServiceSlot::Set(std::make_unique<WindowInterface>());
  ViewNotificationsSlot::Set(std::make_unique<WindowNotifications>());
  SourceListRowsServiceSlot::Set(std::make_unique<WindowSourceListRows>());
  browser::RemoteHostRowHooksSlot::Get().updateHostRows = [] {
    if (CustomList* list = GetMainFolderList()) SourceListUpdateHostRows(*list);
  };
  InstallConnectDialogHook();
  RegisterWindowIcons();
}

void UninstallMainWindowServices() {
  MainListServicesSlot::Set(nullptr);
  InterfaceServiceSlot::Set(nullptr);
  ViewNotificationsSlot::Set(nullptr);
  SourceListRowsServiceSlot::Set(nullptr);
  browser::RemoteHostRowHooksSlot::Get() = {};
  browser::ConnectDialogHooksSlot::Get() = {};
}

}  // namespace ui
