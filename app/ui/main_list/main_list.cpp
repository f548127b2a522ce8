#include "app/ui/main_list/main_list.h"

#include <algorithm>

#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/list_context_menu.h"
#include "app/ui/main_list/list_drag.h"
#include "app/ui/main_list/list_item_data.h"
#include "app/ui/main_list/list_notifications.h"
#include "app/ui/main_list/list_sorting.h"
#include "app/util/helpers/task_helpers.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/notification_center.h"

namespace ui {
namespace {

constexpr std::uint32_t kEventShowDownload = 1030;

bool& ShowDownloadPending() {
  static bool pending = false;
  return pending;
}

MainList*& TheMainList() {
  static MainList* list = nullptr;
  return list;
}

class ListBackedServices : public MainListServices {
 public:
  ListBackedServices(MainList& list, std::unique_ptr<MainListServices> rest)
      : list_(list), rest_(std::move(rest)) {}

  void LogMessageToGlobalLog(bool isError, const std::string& text) override {
    rest_->LogMessageToGlobalLog(isError, text);
  }
  void AddElementToDownloadsView(const DownloadRef& download) override {
    if (!download || !queue::IsViewDisplayed(queue::kMyDownloadsViewID)) return;
    if (list_.DownloadRow(download->uid()) != 0) return;
    list_.AddRows({MakeListItem(RowKind::kDownload, download)}, nullptr);
  }
  bool IsLibraryViewShown() override { return queue::IsViewDisplayed(queue::kMyDownloadsViewID); }
  void AddNewDownloadRow(const DownloadRef& download, bool select) override {
    if (!download || list_.DownloadRow(download->uid()) != 0) return;
    if (!queue::ElementMatchesFilterAndSearch(download->element(), list_.SearchText())) return;
    auto item = MakeListItem(RowKind::kDownload, download);
    list_.AddRows({item}, nullptr);
    if (select) list_.SelectRows({item});
  }
  void RevealDownloadRow(std::uint32_t uid) override {
    if (auto id = list_.DownloadRow(uid)) list_.list().Reveal(id);
  }
  // My Downloads is not shown: the application shows it and the download once the adding
  // is over, from the main queue, ahead of other events.
  void RequestShowDownload(std::uint32_t uid) override {
    if (IsShowDownloadPending()) return;
    auto event = runtime::Event::Create(util::kEventClassApplication, kEventShowDownload);
    event->SetPostTarget(runtime::EventTarget::Application());
    event->SetUInt32(values::FourCC("QUid"), uid);
    if (runtime::EventQueue::Main()->Post(event, runtime::EventPriority::kHigh) == runtime::kNoErr)
      SetShowDownloadPending(true);
  }
  void UpdateDownloadRow(std::uint32_t uid) override { list_.MarkDownloadChanged(uid); }
  void AdjustStatusTotals(const DownloadRef& d, std::int64_t n, std::int64_t o) override {
    rest_->AdjustStatusTotals(d, n, o);
  }
  void RefreshStatusBar() override { rest_->RefreshStatusBar(); }
  void RefreshTransferLogView(std::uint32_t uid) override { rest_->RefreshTransferLogView(uid); }
  void MiniWindowShowDownload(const DownloadRef& d) override { rest_->MiniWindowShowDownload(d); }
  void MiniWindowShowDownloadIfNone(const DownloadRef& d) override { rest_->MiniWindowShowDownloadIfNone(d); }
  void PostActiveDownloadsChange() override { rest_->PostActiveDownloadsChange(); }
  void RelabelFolderRow(std::uint32_t id, const std::string& name) override {
    rest_->RelabelFolderRow(id, name);
  }
  void SetFolderRowShared(std::uint32_t id, bool shared) override { rest_->SetFolderRowShared(id, shared); }
  void RemoveFolderRow(std::uint32_t id) override { rest_->RemoveFolderRow(id); }
  void RefreshFolderRowIcons(const std::vector<std::uint32_t>& ids) override {
    rest_->RefreshFolderRowIcons(ids);
  }
  void AddFolderRow(std::uint32_t id, const std::string& name) override { rest_->AddFolderRow(id, name); }
  void SortFolderRows() override { rest_->SortFolderRows(); }
  void SelectFolderRow(std::uint32_t id) override { rest_->SelectFolderRow(id); }
  std::vector<DownloadRef> CopySelectedDownloads() override {
    std::vector<DownloadRef> out;
    for (const auto& row : list_.SelectedRows())
      if (row.kind == RowKind::kDownload)
        out.push_back(std::static_pointer_cast<queue::DownloadQueueWrapper>(row.record));
    return out;
  }
  int CurrentFilterScope() override { return rest_->CurrentFilterScope(); }
  std::string CurrentSearchText() override { return list_.SearchText(); }
  void RemoveDownloadRows(const std::vector<std::uint32_t>& uids) override { list_.RemoveDownloadRows(uids); }
  void UpdateDownloadColumn(std::uint32_t property, const std::vector<std::uint32_t>& uids) override {
    list_.UpdateDownloadColumn(property, uids);
  }
  void RefillMainList() override { queue::RefillMainList(); }
  void RequestRedisplayCurrentFolder() override { rest_->RequestRedisplayCurrentFolder(); }
  void ShowQueueSwitch(bool uploads, bool running) override { rest_->ShowQueueSwitch(uploads, running); }
  void RefreshCommandState() override { rest_->RefreshCommandState(); }
  void CloseDownloadInspector(const DownloadRef& d) override { rest_->CloseDownloadInspector(d); }
  void NotifyMiniWindowDownloadRemoved(const DownloadRef& d) override {
    rest_->NotifyMiniWindowDownloadRemoved(d);
  }
  void MarkDockTileChanged() override { rest_->MarkDockTileChanged(); }

 private:
  MainList& list_;
  std::unique_ptr<MainListServices> rest_;
};

}  // namespace

MainList::MainList() : list_(std::make_unique<toolbox::ListView>()) {
  toolbox::ListCallbacks callbacks;
  callbacks.item_data = [this](toolbox::ListItemID id, toolbox::ListPropertyID property,
                               toolbox::ListItemData& data, bool set) -> toolbox::Status {
    if (id == 0) return toolbox::kListNoErr;
    const MainListItem* row = Row(id);
    if (!row) return toolbox::kListPropertyNotSupported;
    // The callback may remove the row (a rename that refills): keep the record meanwhile.
    const MainListItem keep = *row;
    return ListItemDataCallback(keep, property, data, set);
  };
  callbacks.compare = [this](toolbox::ListItemID a, toolbox::ListItemID b, toolbox::ListPropertyID property) {
    const MainListItem* ra = Row(a);
    const MainListItem* rb = Row(b);
    return ra && rb && ListItemCompareCallback(*ra, *rb, property);
  };
  callbacks.custom_draw = [this](toolbox::DrawingContext& ctx, const toolbox::ListCustomDraw& cell) {
    if (const MainListItem* row = Row(cell.item)) DrawDownloadStatusCell(ctx, *row, cell);
  };
  callbacks.notify = [this](toolbox::ListItemID id, toolbox::ListNotification what) {
    if (what == toolbox::ListNotification::kContainerClosed) PruneRowsNotInList();
    ListItemNotificationCallback(*this, id, what);
  };
  // The callbacks below may change the list (a click removes its row): each works on a
  // copy of the row, which keeps the record alive meanwhile.
  callbacks.cell_press = [this](toolbox::ListItemID id, toolbox::ListPropertyID property,
                                const toolbox::Rect& cell, toolbox::Point where) {
    const MainListItem* row = Row(id);
    return row ? ListCellPress(*row, property, cell, where) : toolbox::kCellPressNormal;
  };
  callbacks.cell_clicked = [this](toolbox::ListItemID id, toolbox::ListPropertyID property, int part) {
    if (const MainListItem* row = Row(id)) {
      const MainListItem keep = *row;
      CellButtonClicked(keep, property, part);
    }
  };
  callbacks.help_tag = [this](toolbox::ListItemID id, toolbox::ListPropertyID property) {
    const MainListItem* row = Row(id);
    return row ? CopyItemHelpTag(*row, property) : std::string();
  };
  callbacks.context_menu = [this](bool header) { return ListContextMenuCallback(*list_, header); };
  callbacks.menu_chosen = [this](const toolbox::MenuSelection& chosen) {
    ListContextMenuChosen(*list_, chosen);
  };
  callbacks.drag_item = [this](toolbox::ListItemID id) -> std::optional<toolbox::DragItem> {
    const MainListItem* row = Row(id);
    return row ? AddDragFlavorsForRow(*row) : std::nullopt;
  };
  callbacks.accept_drag = [this](const toolbox::Drag& drag, toolbox::ListItemID target) {
    return ListAcceptDragCallback(*list_, drag, Row(target));
  };
  callbacks.receive_drag = [this](const toolbox::Drag& drag, toolbox::ListItemID target) {
    const MainListItem* row = Row(target);
    std::optional<MainListItem> keep;
    if (row) keep = *row;
    return ListDragReceiveCallback(*list_, drag, keep ? &*keep : nullptr);
  };
  callbacks.drag_ended = [](const toolbox::Drag& drag, unsigned action) {
    MoveDraggedItemsToTrash(drag, action);
  };
  list_->SetCallbacks(std::move(callbacks));
}

MainList::~MainList() = default;

const MainListItem* MainList::Row(toolbox::ListItemID id) const {
  auto it = rows_.find(id);
  return it == rows_.end() ? nullptr : &it->second;
}

toolbox::ListItemID MainList::DownloadRow(std::uint32_t uid) const {
  auto it = downloads_.find(uid);
  return it == downloads_.end() ? 0 : it->second;
}

void MainList::Forget(toolbox::ListItemID id) {
  auto it = rows_.find(id);
  if (it == rows_.end()) return;
  if (it->second.kind == RowKind::kDownload) {
    const auto uid = it->second.as<queue::DownloadQueueWrapper>().uid();
    auto d = downloads_.find(uid);
    if (d != downloads_.end() && d->second == id) downloads_.erase(d);
  }
  rows_.erase(it);
}

void MainList::PruneRowsNotInList() {
  std::vector<toolbox::ListItemID> gone;
  for (const auto& [id, row] : rows_)
    if (!list_->HasItem(id)) gone.push_back(id);
  for (auto id : gone) Forget(id);
}

void MainList::RemoveAllColumns() {
  list_->RemoveAllColumns();
}

void MainList::RestoreColumnLayout(const queue::FolderColumnOptions& options, std::uint32_t sort,
                                   std::uint16_t order) {
  ui::RestoreColumnLayout(*list_, options, sort, order);
}

bool MainList::SaveColumnLayout(queue::FolderColumnOptions& options) {
  if (list_->Columns().empty()) return false;
  ui::SaveColumnLayout(*list_, options);
  return true;
}

std::uint32_t MainList::SortProperty() {
  return list_->SortProperty();
}

std::uint16_t MainList::SortOrder() {
  return static_cast<std::uint16_t>(list_->SortOrder());
}

void MainList::SetSort(std::uint32_t property, std::uint16_t order) {
  list_->SetSortOrder(order == 2 ? toolbox::ListSortOrder::kDecreasing : toolbox::ListSortOrder::kIncreasing);
  list_->SetSortProperty(property);
}

void MainList::AddFixedColumns(FixedColumns which) {
  switch (which) {
    case FixedColumns::kHostIcon:
      AddColumn(*list_, kColRemoteLead);
      break;
    case FixedColumns::kAutoConnect:
      AddColumn(*list_, kColAutoConnect);
      break;
    case FixedColumns::kQueue:
      // Both at the front, the position column added last so that it ends up first.
      AddColumn(*list_, kColQueueCheck);
      AddColumn(*list_, kColQueuePosition);
      break;
  }
}

void MainList::AddWindowColumns(std::uint32_t view) {
  if (view != queue::kMyServersViewID) AddColumn(*list_, kColFile);
  if (view == queue::kMyDownloadsViewID) AddColumn(*list_, kColPriority);
}

void MainList::SetDisclosureColumn(std::uint32_t property) {
  list_->SetDisclosureColumn(property);
}

void MainList::RemoveAllRows() {
  list_->RemoveAllItems();
  rows_.clear();
  downloads_.clear();
  changed_.clear();
}

void MainList::AddRows(const std::vector<MainListItem>& items, const MainListItem* container) {
  std::vector<toolbox::ListItemID> ids;
  ids.reserve(items.size());
  for (const auto& item : items) {
    if (!item.record || rows_.count(item.id())) continue;
    rows_.emplace(item.id(), item);
    if (item.kind == RowKind::kDownload) downloads_[item.as<queue::DownloadQueueWrapper>().uid()] = item.id();
    ids.push_back(item.id());
  }
  list_->AddItems(container ? container->id() : 0, ids);
}

std::vector<MainListItem> MainList::Rows(const MainListItem* container) {
  std::vector<MainListItem> out;
  for (auto id : list_->Items(container ? container->id() : 0))
    if (const MainListItem* row = Row(id)) out.push_back(*row);
  return out;
}

void MainList::RemoveRows(const std::vector<MainListItem>& rows) {
  std::vector<toolbox::ListItemID> ids;
  for (const auto& r : rows) ids.push_back(r.id());
  if (ids.empty()) return;
  list_->RemoveItems(0, ids);
  PruneRowsNotInList();
}

void MainList::OpenRow(const MainListItem& row) {
  list_->OpenContainer(row.id());
}

void MainList::SetTarget(const MainListItem* row) {
  list_->SetTarget(row ? row->id() : 0);
}

std::vector<MainListItem> MainList::SelectedRows() {
  std::vector<MainListItem> out;
  for (auto id : list_->SelectedItems())
    if (const MainListItem* row = Row(id)) out.push_back(*row);
  return out;
}

void MainList::SelectRows(const std::vector<MainListItem>& rows) {
  std::vector<toolbox::ListItemID> ids;
  for (const auto& r : rows)
    if (list_->HasItem(r.id())) ids.push_back(r.id());
  list_->SetSelectedItems(ids);
}

void MainList::ClearSearchText() {
  if (search_.empty()) return;
  search_.clear();
  runtime::NotificationCenter::Default().Post("changeSearchString", {},
                                              values::Value({{"newString", values::Value(std::string())}}));
}

void MainList::ScrollToTop() {
  list_->ScrollToTop();
}

void MainList::ListFilled() {
  auto& services = MainListServicesSlot::Get();
  services.RefreshStatusBar();
  services.RefreshCommandState();
}

void MainList::MarkDownloadChanged(std::uint32_t uid) {
  if (downloads_.count(uid)) changed_.insert(uid);
}

void MainList::RefreshChangedRows() {
  AdvanceProgressPhase();
  // A running download of unknown size shows a striped bar that moves with the phase: its
  // status cell is painted again at every pass, whether or not the download reported.
  std::vector<toolbox::ListItemID> striped;
  for (const auto& [uid, id] : downloads_) {
    if (changed_.count(uid)) continue;
    const MainListItem* row = Row(id);
    if (!row) continue;
    const auto& e = row->as<queue::DownloadQueueWrapper>().element();
    if (e.status == queue::kStatusDownloading && e.fileSize <= 0) striped.push_back(id);
  }
  if (!striped.empty()) list_->UpdateItems(striped, kColStatus);
  if (changed_.empty()) return;
  std::vector<toolbox::ListItemID> ids;
  ids.reserve(changed_.size());
  for (auto uid : changed_)
    if (auto id = DownloadRow(uid)) ids.push_back(id);
  changed_.clear();
  if (!ids.empty()) list_->UpdateItems(ids, 0);
}

void MainList::RemoveDownloadRows(const std::vector<std::uint32_t>& uids) {
  std::vector<toolbox::ListItemID> ids;
  for (auto uid : uids) {
    if (auto id = DownloadRow(uid)) ids.push_back(id);
    changed_.erase(uid);
  }
  if (ids.empty()) return;
  list_->RemoveItems(0, ids);
  for (auto id : ids) Forget(id);
}

void MainList::UpdateDownloadColumn(std::uint32_t property, const std::vector<std::uint32_t>& uids) {
  if (uids.empty()) {
    list_->UpdateItems({}, property);
    return;
  }
  std::vector<toolbox::ListItemID> ids;
  for (auto uid : uids)
    if (auto id = DownloadRow(uid)) ids.push_back(id);
  if (!ids.empty()) list_->UpdateItems(ids, property);
}

std::unique_ptr<MainListServices> MakeMainListServices(MainList& list,
                                                       std::unique_ptr<MainListServices> rest) {
  return std::make_unique<ListBackedServices>(list, std::move(rest));
}

bool IsShowDownloadPending() {
  return ShowDownloadPending();
}

void SetShowDownloadPending(bool pending) {
  ShowDownloadPending() = pending;
}

MainList* GetMainList() {
  return TheMainList();
}

void InstallMainList() {
  if (TheMainList()) return;
  auto list = std::make_unique<MainList>();
  MainList* raw = list.get();
  TheMainList() = raw;
  auto previous = MainListServicesSlot::Set(nullptr);
  MainListServicesSlot::Set(MakeMainListServices(*raw, std::move(previous)));
  MainListBrowserSlot::Set(std::move(list));
}

void UninstallMainList() {
  if (!TheMainList()) return;
  MainListBrowserSlot::Set(nullptr);
  TheMainList() = nullptr;
  MainListServicesSlot::Set(nullptr);
}

}  // namespace ui
