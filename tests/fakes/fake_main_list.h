#pragma once
// A main window for tests: records what the queue asked of its list, status line, mini
// window and transfer log. `libraryShown` plays My Downloads being on screen.

#include <cstdint>
#include <string>
#include <vector>

#include "app/queue/record/download_queue_wrapper.h"
#include "app/ui/services/main_list_services.h"

class FakeMainList : public ui::MainListServices {
 public:
  bool libraryShown = false;
  std::vector<std::pair<bool, std::string>> log;        // (is error, text)
  std::vector<std::uint32_t> shownItems;                // AddElementToDownloadsView
  std::vector<std::pair<std::uint32_t, bool>> newRows;  // (uid, selected)
  std::vector<std::uint32_t> revealed;
  std::vector<std::uint32_t> showRequests;
  std::vector<std::uint32_t> rowUpdates;
  std::vector<std::int64_t> totalAdjustments;  // new - old
  std::vector<std::uint32_t> miniWindow;
  int statusRefreshes = 0;
  int activeChanges = 0;
  std::vector<std::pair<std::uint32_t, std::string>> relabelled;
  std::vector<std::pair<std::uint32_t, bool>> sharedIcons;
  std::vector<std::uint32_t> removedRows;
  std::vector<std::vector<std::uint32_t>> iconRefreshes;
  std::vector<std::pair<std::uint32_t, std::string>> addedFolderRows;
  std::vector<std::uint32_t> selectedFolderRows;
  int folderRowSorts = 0;
  std::vector<ui::DownloadRef> selection;  // what CopySelectedDownloads answers
  int filterScope = 1;
  std::string searchText;
  std::vector<std::uint32_t> removedDownloadRows;
  std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> columnUpdates;  // (property, rows)
  int refills = 0;
  int redisplayRequests = 0;
  std::vector<std::pair<bool, bool>> queueSwitch;  // (uploads, running)
  int commandStateRefreshes = 0;
  std::vector<std::uint32_t> inspectorsClosed;
  std::vector<std::uint32_t> miniWindowRemovals;
  int dockTileMarks = 0;

  void LogMessageToGlobalLog(bool isError, const std::string& text) override {
    log.emplace_back(isError, text);
  }
  void AddElementToDownloadsView(const ui::DownloadRef& d) override { shownItems.push_back(Uid(d)); }
  bool IsLibraryViewShown() override { return libraryShown; }
  void AddNewDownloadRow(const ui::DownloadRef& d, bool select) override {
    newRows.emplace_back(Uid(d), select);
  }
  void RevealDownloadRow(std::uint32_t uid) override { revealed.push_back(uid); }
  void RequestShowDownload(std::uint32_t uid) override { showRequests.push_back(uid); }
  void UpdateDownloadRow(std::uint32_t uid) override { rowUpdates.push_back(uid); }
  void AdjustStatusTotals(const ui::DownloadRef&, std::int64_t newSize, std::int64_t oldSize) override {
    totalAdjustments.push_back((newSize == -1 ? 0 : newSize) - oldSize);
  }
  void RefreshStatusBar() override { ++statusRefreshes; }
  void RefreshTransferLogView(std::uint32_t) override {}
  void MiniWindowShowDownload(const ui::DownloadRef& d) override { miniWindow.push_back(Uid(d)); }
  void MiniWindowShowDownloadIfNone(const ui::DownloadRef& d) override {
    if (miniWindow.empty()) miniWindow.push_back(Uid(d));
  }
  void PostActiveDownloadsChange() override { ++activeChanges; }
  void RelabelFolderRow(std::uint32_t id, const std::string& name) override {
    relabelled.emplace_back(id, name);
  }
  void SetFolderRowShared(std::uint32_t id, bool shared) override { sharedIcons.emplace_back(id, shared); }
  void RemoveFolderRow(std::uint32_t id) override { removedRows.push_back(id); }
  void RefreshFolderRowIcons(const std::vector<std::uint32_t>& ids) override { iconRefreshes.push_back(ids); }
  void AddFolderRow(std::uint32_t id, const std::string& name) override {
    addedFolderRows.emplace_back(id, name);
  }
  void SortFolderRows() override { ++folderRowSorts; }
  void SelectFolderRow(std::uint32_t id) override { selectedFolderRows.push_back(id); }
  std::vector<ui::DownloadRef> CopySelectedDownloads() override { return selection; }
  int CurrentFilterScope() override { return filterScope; }
  std::string CurrentSearchText() override { return searchText; }
  void RemoveDownloadRows(const std::vector<std::uint32_t>& uids) override {
    removedDownloadRows.insert(removedDownloadRows.end(), uids.begin(), uids.end());
  }
  void UpdateDownloadColumn(std::uint32_t property, const std::vector<std::uint32_t>& uids) override {
    columnUpdates.emplace_back(property, uids);
  }
  void RefillMainList() override { ++refills; }
  void RequestRedisplayCurrentFolder() override { ++redisplayRequests; }
  void ShowQueueSwitch(bool uploads, bool running) override { queueSwitch.emplace_back(uploads, running); }
  void RefreshCommandState() override { ++commandStateRefreshes; }
  void CloseDownloadInspector(const ui::DownloadRef& d) override { inspectorsClosed.push_back(Uid(d)); }
  void NotifyMiniWindowDownloadRemoved(const ui::DownloadRef& d) override {
    miniWindowRemovals.push_back(Uid(d));
  }
  void MarkDockTileChanged() override { ++dockTileMarks; }

  bool Logged(const std::string& part) const {
    for (const auto& [error, text] : log) {
      if (text.find(part) != std::string::npos) return true;
    }
    return false;
  }

 private:
  static std::uint32_t Uid(const ui::DownloadRef& d) { return d->uid(); }
};
