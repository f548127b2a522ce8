#pragma once
// What the download queue asks of the main window: its list of downloads, the status
// line, the mini window and the transfer log.
//
// The main window registers its implementation at start-up with MainListServicesSlot::Set().
// Until then (headless runs) the default shows nothing: it has no rows, the library view
// is never on screen, and log messages go to standard error so that nothing reported is
// lost; the running program installs one that logs to the transfer log instead.
//
// Main thread only.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace queue {
class DownloadQueueWrapper;
}

namespace ui {

using DownloadRef = std::shared_ptr<queue::DownloadQueueWrapper>;

class MainListServices {
 public:
  virtual ~MainListServices() = default;

  // The transfer log, one finished message (never a format).
  virtual void LogMessageToGlobalLog(bool isError, const std::string& text) = 0;

  // The download joins the main list's shown items (once) and, when My Downloads is on
  // screen, gets its row.
  virtual void AddElementToDownloadsView(const DownloadRef& download) = 0;
  // True while the main list shows My Downloads.
  virtual bool IsLibraryViewShown() = 0;
  // A new download's row, when it passes the filter bar and the search text; selected
  // when asked.
  virtual void AddNewDownloadRow(const DownloadRef& download, bool select) = 0;
  // Scrolls the row into view (back to the list's left edge).
  virtual void RevealDownloadRow(std::uint32_t uid) = 0;
  // Asks the application to show a download added while another view is on screen (at most
  // one such request pending).
  virtual void RequestShowDownload(std::uint32_t uid) = 0;
  virtual void UpdateDownloadRow(std::uint32_t uid) = 0;
  // The running byte total of the shown rows moves by newSize - oldSize (all-ones counts as 0).
  virtual void AdjustStatusTotals(const DownloadRef& download, std::int64_t newSize,
                                  std::int64_t oldSize) = 0;
  virtual void RefreshStatusBar() = 0;
  virtual void RefreshTransferLogView(std::uint32_t uid) = 0;

  virtual void MiniWindowShowDownload(const DownloadRef& download) = 0;
  virtual void MiniWindowShowDownloadIfNone(const DownloadRef& download) = 0;

  // Posts "active downloads change".
  virtual void PostActiveDownloadsChange() = 0;

  // Source-list rows of folders (nothing for an id without a row).
  virtual void RelabelFolderRow(std::uint32_t folderID, const std::string& name) = 0;
  virtual void SetFolderRowShared(std::uint32_t folderID, bool shared) = 0;
  virtual void RemoveFolderRow(std::uint32_t folderID) = 0;
  // Sets the icons of these folders' rows again from their flags (only while the main
  // window exists).
  virtual void RefreshFolderRowIcons(const std::vector<std::uint32_t>& folderIDs) = 0;
  // A folder's row back in the source list (after an undone removal), its rows re-sorted,
  // and the row selected.
  virtual void AddFolderRow(std::uint32_t folderID, const std::string& name) = 0;
  virtual void SortFolderRows() = 0;
  virtual void SelectFolderRow(std::uint32_t folderID) = 0;

  // The downloads selected in the main list, in row order (none outside a downloads view).
  virtual std::vector<DownloadRef> CopySelectedDownloads() = 0;
  // The filter bar's scope (1 all ... 6 incomplete) and the search field's text.
  virtual int CurrentFilterScope() = 0;
  virtual std::string CurrentSearchText() = 0;
  virtual void RemoveDownloadRows(const std::vector<std::uint32_t>& uids) = 0;
  // Redraws one column (a property id: 1026 status, 11025 queue position) of these rows;
  // of every row when `uids` is empty.
  virtual void UpdateDownloadColumn(std::uint32_t property, const std::vector<std::uint32_t>& uids) = 0;
  // Fills the list again from the displayed views.
  virtual void RefillMainList() = 0;
  // Asks for the shown folder to be drawn again, once however often asked before it is.
  virtual void RequestRedisplayCurrentFolder() = 0;
  // The queue switch's toolbar button and commands: 'Stop'/'Star' for downloads,
  // 'StoU'/'StaU' for uploads.
  virtual void ShowQueueSwitch(bool uploads, bool running) = 0;
  // Enables and disables the commands again from the current state.
  virtual void RefreshCommandState() = 0;
  virtual void CloseDownloadInspector(const DownloadRef& download) = 0;
  virtual void NotifyMiniWindowDownloadRemoved(const DownloadRef& download) = 0;
  // The Dock tile's counts are drawn again at the next tick.
  virtual void MarkDockTileChanged() = 0;
};

class HeadlessMainListServices : public MainListServices {
 public:
  void LogMessageToGlobalLog(bool isError, const std::string& text) override {
    std::fprintf(stderr, "%s%s\n", isError ? "Error: " : "", text.c_str());
  }
  void AddElementToDownloadsView(const DownloadRef&) override {}
  bool IsLibraryViewShown() override { return false; }
  void AddNewDownloadRow(const DownloadRef&, bool) override {}
  void RevealDownloadRow(std::uint32_t) override {}
  void RequestShowDownload(std::uint32_t) override {}
  void UpdateDownloadRow(std::uint32_t) override {}
  void AdjustStatusTotals(const DownloadRef&, std::int64_t, std::int64_t) override {}
  void RefreshStatusBar() override {}
  void RefreshTransferLogView(std::uint32_t) override {}
  void MiniWindowShowDownload(const DownloadRef&) override {}
  void MiniWindowShowDownloadIfNone(const DownloadRef&) override {}
  void PostActiveDownloadsChange() override {}
  void RelabelFolderRow(std::uint32_t, const std::string&) override {}
  void SetFolderRowShared(std::uint32_t, bool) override {}
  void RemoveFolderRow(std::uint32_t) override {}
  void RefreshFolderRowIcons(const std::vector<std::uint32_t>&) override {}
  void AddFolderRow(std::uint32_t, const std::string&) override {}
  void SortFolderRows() override {}
  void SelectFolderRow(std::uint32_t) override {}
  std::vector<DownloadRef> CopySelectedDownloads() override { return {}; }
  int CurrentFilterScope() override { return 1; }
  std::string CurrentSearchText() override { return {}; }
  void RemoveDownloadRows(const std::vector<std::uint32_t>&) override {}
  void UpdateDownloadColumn(std::uint32_t, const std::vector<std::uint32_t>&) override {}
  void RefillMainList() override {}
  void RequestRedisplayCurrentFolder() override {}
  void ShowQueueSwitch(bool, bool) override {}
  void RefreshCommandState() override {}
  void CloseDownloadInspector(const DownloadRef&) override {}
  void NotifyMiniWindowDownloadRemoved(const DownloadRef&) override {}
  void MarkDockTileChanged() override {}
};

using MainListServicesSlot = runtime::ServiceSlot<MainListServices, HeadlessMainListServices>;

}  // namespace ui
