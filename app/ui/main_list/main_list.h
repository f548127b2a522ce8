#pragma once
// The main list: the list view of the main window with its rows, the item-data and compare
// callbacks of every row kind, and the browser operations the displayed views fill it by.
//
// It keeps each shown row's record alive (a row id is its record's address) and the
// download rows by UID. Rows whose downloads changed are collected and re-read together by
// the list-refresh timer (RefreshChangedRows): only those rows are asked again.
//
// Main thread only. The window places the list with list().Embed(pane).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/ui/services/main_list_browser.h"
#include "app/ui/services/main_list_services.h"
#include "platform/toolbox/lists/list_view.h"

namespace ui {

class MainList : public MainListBrowser {
 public:
  MainList();
  ~MainList() override;

  toolbox::ListView& list() { return *list_; }
  // The row of a record id, nullptr when it is not in the list.
  const MainListItem* Row(toolbox::ListItemID id) const;
  toolbox::ListItemID DownloadRow(std::uint32_t uid) const;

  // MainListBrowser
  void RemoveAllColumns() override;
  void RestoreColumnLayout(const queue::FolderColumnOptions& options, std::uint32_t sort,
                           std::uint16_t order) override;
  bool SaveColumnLayout(queue::FolderColumnOptions& options) override;
  std::uint32_t SortProperty() override;
  std::uint16_t SortOrder() override;
  void SetSort(std::uint32_t property, std::uint16_t order) override;
  void AddFixedColumns(FixedColumns which) override;
  // The columns the window adds when it is made, after its first view is shown: the actions
  // column first (not in My Servers, whose rows have no buttons), and in My Downloads the
  // priority column beside it.
  void AddWindowColumns(std::uint32_t view);
  void SetDisclosureColumn(std::uint32_t property) override;
  void RemoveAllRows() override;
  void AddRows(const std::vector<MainListItem>& items, const MainListItem* container) override;
  std::vector<MainListItem> Rows(const MainListItem* container) override;
  void RemoveRows(const std::vector<MainListItem>& rows) override;
  void OpenRow(const MainListItem& row) override;
  void SetTarget(const MainListItem* row) override;
  std::vector<MainListItem> SelectedRows() override;
  void SelectRows(const std::vector<MainListItem>& rows) override;
  void ScrollToTop() override;
  void UpdateColumn(std::uint32_t property) override { list_->UpdateItems({}, property); }
  std::string SearchText() override { return search_; }
  // A view change shows every row: the search field is emptied with the list's search, or
  // it would name a filter no longer applied.
  void ClearSearchText() override;
  void SetSearchText(std::string text) { search_ = std::move(text); }
  // The window shows the filter bar and the path bar the view needs.
  void UpdateFilterBar(std::uint32_t view) override {
    if (filterBarUpdater_) filterBarUpdater_(view);
  }
  void SetFilterBarUpdater(std::function<void(std::uint32_t)> updater) {
    filterBarUpdater_ = std::move(updater);
  }
  void ListFilled() override;

  // Rows of the download marked for the next refresh pass.
  void MarkDownloadChanged(std::uint32_t uid);
  // The refresh pass: re-reads the marked rows (all properties) and forgets the marks; the
  // status cells of running downloads of unknown size are painted again (their bar moves).
  void RefreshChangedRows();
  std::size_t PendingChangedRows() const { return changed_.size(); }
  void RemoveDownloadRows(const std::vector<std::uint32_t>& uids);
  void UpdateDownloadColumn(std::uint32_t property, const std::vector<std::uint32_t>& uids);

 private:
  void Forget(toolbox::ListItemID id);
  void PruneRowsNotInList();

  std::unique_ptr<toolbox::ListView> list_;
  std::unordered_map<toolbox::ListItemID, MainListItem> rows_;
  std::unordered_map<std::uint32_t, toolbox::ListItemID> downloads_;  // by UID
  std::unordered_set<std::uint32_t> changed_;
  std::string search_;
  std::function<void(std::uint32_t)> filterBarUpdater_;
};

// The main list's services of the queue: rows, columns and selection come from `list`;
// the rest (log, status line, mini window, source-list rows) still from `rest`.
std::unique_ptr<MainListServices> MakeMainListServices(MainList& list,
                                                       std::unique_ptr<MainListServices> rest);

// A request to show a new download ('Truv' 1030 to the application, 'QUid' its UID) is on
// the main queue: set by the poster, cleared by the application's handler; one at a time.
bool IsShowDownloadPending();
void SetShowDownloadPending(bool pending);

// The program's main list, made by InstallMainList (nullptr before).
MainList* GetMainList();
// Makes the main list and installs it as the queue's browser and main-list services.
void InstallMainList();
// Puts the defaults back and drops the list (tests).
void UninstallMainList();

}  // namespace ui
