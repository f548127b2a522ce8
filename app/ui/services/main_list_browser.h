#pragma once
// The main list's rows and the browser operations that fill it.
//
// A row is one record of one of eleven kinds, held by the list while it is shown: a
// download (its wrapper), an upload, a received file, a folder, a Bonjour peer, a peer
// reached by address, a history day, a filter, a saved server, a remote FTP folder or a
// WebDAV / iDisk item. The record's address is the row's id.
//
// The displayed views (app/queue/folders/displayed_views.h) fill the list through
// MainListBrowser: columns and sort from a view's layout folder, rows added at the top level
// or under a container, the search pass. The main list registers its implementation at
// start-up; the default has no columns and no rows, so filling costs nothing headless.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/queue/services/folder_column_options.h"
#include "platform/runtime/service_slot.h"

namespace ui {

enum class RowKind {
  kDownload,      // queue::DownloadQueueWrapper
  kUpload,        // upload::UploadRow
  kReceivedFile,  // sharing::ReceivedFileRow
  kFolder,        // queue::TRFolder (plain or smart)
  kBonjourPeer,   // sharing::BonjourPeerRow
  kPeerHost,      // sharing::PeerHostRow
  kHistoryDay,    // queue::HistoryDayRow
  kFilter,        // queue::FilterRow
  kFavourite,     // browser::FavouriteRow
  kFTPNode,       // browser::FTPNodeRow
  kDotMacNode,    // browser::DotMacNodeRow
};

struct MainListItem {
  RowKind kind = RowKind::kDownload;
  std::shared_ptr<void> record;

  std::uintptr_t id() const { return reinterpret_cast<std::uintptr_t>(record.get()); }
  template <class T>
  T& as() const {
    return *static_cast<T*>(record.get());
  }
  bool operator==(const MainListItem& o) const { return record == o.record; }
};

template <class T>
MainListItem MakeListItem(RowKind kind, std::shared_ptr<T> record) {
  return MainListItem{kind, std::static_pointer_cast<void>(std::move(record))};
}

// Fixed columns a view adds after its layout.
enum class FixedColumns { kHostIcon, kAutoConnect, kQueue };

class MainListBrowser {
 public:
  virtual ~MainListBrowser() = default;

  // Columns and sort: every column removed; a layout folder's columns, widths, sort
  // (as a column index) and order put back; the list's layout read for saving (false
  // when the list has no columns).
  virtual void RemoveAllColumns() = 0;
  virtual void RestoreColumnLayout(const queue::FolderColumnOptions& options, std::uint32_t sort,
                                   std::uint16_t order) = 0;
  virtual bool SaveColumnLayout(queue::FolderColumnOptions& options) = 0;
  virtual std::uint32_t SortProperty() = 0;
  virtual std::uint16_t SortOrder() = 0;
  virtual void SetSort(std::uint32_t property, std::uint16_t order) = 0;
  virtual void AddFixedColumns(FixedColumns which) = 0;
  virtual void SetDisclosureColumn(std::uint32_t property) = 0;

  // Rows. A null container is the target (the top level).
  virtual void RemoveAllRows() = 0;
  virtual void AddRows(const std::vector<MainListItem>& items, const MainListItem* container) = 0;
  virtual std::vector<MainListItem> Rows(const MainListItem* container) = 0;
  virtual void RemoveRows(const std::vector<MainListItem>& rows) = 0;
  virtual void OpenRow(const MainListItem& row) = 0;
  virtual void SetTarget(const MainListItem* row) = 0;
  virtual std::vector<MainListItem> SelectedRows() = 0;
  virtual void SelectRows(const std::vector<MainListItem>& rows) = 0;
  virtual void ScrollToTop() = 0;
  // Draws one column of every row again.
  virtual void UpdateColumn(std::uint32_t property) = 0;

  // The search text (empty after every change of the current view) and the filter bar.
  virtual std::string SearchText() = 0;
  virtual void ClearSearchText() = 0;
  virtual void UpdateFilterBar(std::uint32_t currentView) = 0;
  // After a fill: status line, command states, scroll bars.
  virtual void ListFilled() = 0;
};

class NoMainListBrowser : public MainListBrowser {
 public:
  void RemoveAllColumns() override {}
  void RestoreColumnLayout(const queue::FolderColumnOptions&, std::uint32_t, std::uint16_t) override {}
  bool SaveColumnLayout(queue::FolderColumnOptions&) override { return false; }
  std::uint32_t SortProperty() override { return 0; }
  std::uint16_t SortOrder() override { return 1; }
  void SetSort(std::uint32_t, std::uint16_t) override {}
  void AddFixedColumns(FixedColumns) override {}
  void SetDisclosureColumn(std::uint32_t) override {}
  void RemoveAllRows() override {}
  void AddRows(const std::vector<MainListItem>&, const MainListItem*) override {}
  std::vector<MainListItem> Rows(const MainListItem*) override { return {}; }
  void RemoveRows(const std::vector<MainListItem>&) override {}
  void OpenRow(const MainListItem&) override {}
  void SetTarget(const MainListItem*) override {}
  std::vector<MainListItem> SelectedRows() override { return {}; }
  void SelectRows(const std::vector<MainListItem>&) override {}
  void ScrollToTop() override {}
  void UpdateColumn(std::uint32_t) override {}
  std::string SearchText() override { return {}; }
  void ClearSearchText() override {}
  void UpdateFilterBar(std::uint32_t) override {}
  void ListFilled() override {}
};

using MainListBrowserSlot = runtime::ServiceSlot<MainListBrowser, NoMainListBrowser>;

}  // namespace ui
