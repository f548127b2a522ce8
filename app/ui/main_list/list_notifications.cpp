#include "app/ui/main_list/list_notifications.h"

#include <cctype>
#include <mutex>

#include "app/browser/services/remote_rows.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/tr_folder.h"
#include "app/queue/history/download_filters.h"
#include "app/queue/history/history.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/queue_locks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/services/history_filter_rows.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_context_menu.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/values/utf16.h"

namespace ui {
namespace {

// Bit of a folder's flags: its row is open in the list.
constexpr std::uint32_t kFolderFlagOpen = 2;

bool EndsWithExtension(const std::string& name, const std::vector<std::string>& extensions) {
  for (const std::string& ext : extensions) {
    if (ext.empty() || name.size() < ext.size() + 1) continue;
    if (name[name.size() - ext.size() - 1] != '.') continue;
    bool same = true;
    for (std::size_t i = 0; i < ext.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(name[name.size() - ext.size() + i])) ==
             std::tolower(static_cast<unsigned char>(ext[i]));
    if (same) return true;
  }
  return false;
}

queue::FilterRef FindFilter(const std::string& name) {
  for (const auto& f : queue::GetFilters())
    if (f->name == name) return f;
  return nullptr;
}

// The rows of the downloads a container lists, filtered as the list is.
void AddDownloadChildren(MainList& list, const MainListItem& container,
                         const std::vector<queue::WrapperRef>& downloads) {
  const std::string search = list.SearchText();
  std::vector<MainListItem> rows;
  for (const auto& w : downloads)
    if (w && queue::ElementMatchesFilterAndSearch(w->element(), search))
      rows.push_back(MakeListItem(RowKind::kDownload, w));
  if (!rows.empty()) list.AddRows(rows, &container);
}

void ContainerOpened(MainList& list, const MainListItem& row) {
  switch (row.kind) {
    case RowKind::kFolder: {
      auto& folder = row.as<queue::TRFolder>();
      std::vector<queue::WrapperRef> downloads;
      for (const auto& [uid, w] : folder.Items()) downloads.push_back(w);
      folder.setFlags(folder.flags() | kFolderFlagOpen);
      AddDownloadChildren(list, row, downloads);
      break;
    }
    case RowKind::kHistoryDay: {
      const std::int64_t key = row.as<queue::HistoryDayRow>().day();
      queue::SetHistoryDayOpen(key, true);
      std::vector<queue::WrapperRef> downloads;
      if (const queue::HistoryDay* day = queue::FindHistoryDay(key))
        for (auto uid : day->uids) downloads.push_back(queue::LookUpDownloadWrapper(uid));
      AddDownloadChildren(list, row, downloads);
      break;
    }
    case RowKind::kFilter: {
      const auto filter = FindFilter(row.as<queue::FilterRow>().name());
      if (!filter) break;
      filter->open = true;
      std::vector<queue::WrapperRef> downloads;
      {
        runtime::RegionGuard queueItems(queue::gQueueItemsLock);
        for (const auto& [uid, w] : queue::gQueueItems)
          if (EndsWithExtension(w->element().filename, filter->extensions)) downloads.push_back(w);
      }
      AddDownloadChildren(list, row, downloads);
      break;
    }
    case RowKind::kFTPNode:
      browser::RemoteRowsServiceSlot::Get().OpenFTPNode(
          std::static_pointer_cast<browser::FTPNodeRow>(row.record));
      break;
    case RowKind::kDotMacNode:
      browser::RemoteRowsServiceSlot::Get().OpenDotMacNode(
          std::static_pointer_cast<browser::DotMacNodeRow>(row.record));
      break;
    default:
      // Peers fill their rows themselves when their listing arrives.
      break;
  }
}

// The user closes an open container: it is remembered closed.
void ContainerClosedByUser(const MainListItem& row) {
  switch (row.kind) {
    case RowKind::kFolder: {
      auto& folder = row.as<queue::TRFolder>();
      folder.setFlags(folder.flags() & ~kFolderFlagOpen);
      break;
    }
    case RowKind::kHistoryDay:
      queue::SetHistoryDayOpen(row.as<queue::HistoryDayRow>().day(), false);
      break;
    case RowKind::kFilter:
      if (auto filter = FindFilter(row.as<queue::FilterRow>().name())) filter->open = false;
      break;
    case RowKind::kFTPNode:
      browser::RemoteRowsServiceSlot::Get().CloseFTPNode(
          std::static_pointer_cast<browser::FTPNodeRow>(row.record));
      break;
    case RowKind::kDotMacNode:
      browser::RemoteRowsServiceSlot::Get().CloseDotMacNode(
          std::static_pointer_cast<browser::DotMacNodeRow>(row.record));
      break;
    default:
      break;
  }
}

}  // namespace

void ListItemNotificationCallback(MainList& list, toolbox::ListItemID item,
                                  toolbox::ListNotification message) {
  auto& services = MainListServicesSlot::Get();
  switch (message) {
    case toolbox::ListNotification::kItemDoubleClicked: {
      const queue::ViewID view = queue::GetCurrentViewID();
      if (view == queue::kMyServersViewID) {
        PostListCommand(listcmd::kConnectFavourite);
        return;
      }
      if (view == queue::kMyUploadsViewID) {
        PostListCommand(listcmd::kEdit);
        return;
      }
      const auto downloads = CopySelectedQueueElements(0x5F0);
      if (!downloads.empty()) {
        if (util::ReadSetting(util::kDownloadDoubleClickActionKey) == util::DownloadDoubleClick::kEdit)
          PostListCommand(listcmd::kEdit);
        else
          queue::OpenDownloadFiles(downloads);
        return;
      }
      // A folder of a remote server: the view goes into it.
      if (const MainListItem* row = list.Row(item); row && row->kind == RowKind::kFTPNode) {
        auto node = std::static_pointer_cast<browser::FTPNodeRow>(row->record);
        browser::RemoteRowsServiceSlot::Get().NavigateFTPNode(node, node->path());
      }
      if (const MainListItem* row = list.Row(item); row && row->kind == RowKind::kDotMacNode) {
        browser::RemoteRowsServiceSlot::Get().NavigateDotMacNode(
            std::static_pointer_cast<browser::DotMacNodeRow>(row->record));
      }
      return;
    }
    case toolbox::ListNotification::kContainerOpened:
      if (const MainListItem* row = list.Row(item)) {
        const MainListItem keep = *row;
        ContainerOpened(list, keep);
      }
      services.RefreshStatusBar();
      return;
    case toolbox::ListNotification::kContainerClosed:
      services.RefreshStatusBar();
      return;
    case toolbox::ListNotification::kUserToggledContainer:
      if (const MainListItem* row = list.Row(item); row && list.list().IsOpen(item))
        ContainerClosedByUser(*row);
      return;
    case toolbox::ListNotification::kUserStateChanged:
      // The list shows its horizontal scroll bar exactly while the columns are wider than
      // it; nothing to keep here.
      (void)list;
      return;
    case toolbox::ListNotification::kSelectionSetChanged:
      services.RefreshCommandState();
      return;
    default:
      return;
  }
}

std::vector<queue::WrapperRef> CopySelectedQueueElements(std::int32_t statusMask) {
  std::vector<queue::WrapperRef> out;
  MainList* list = GetMainList();
  if (!list) return out;
  for (const MainListItem& row : list->SelectedRows()) {
    if (row.kind != RowKind::kDownload) continue;
    auto w = std::static_pointer_cast<queue::DownloadQueueWrapper>(row.record);
    if (w->element().status & statusMask) out.push_back(std::move(w));
  }
  return out;
}

std::string ClipboardTextOfEntries(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) {
    if (values::IsValidUtf8(entry)) {
      text += entry;
    } else {
      // What cannot be read as text is not guessed at.
      for (char c : entry) text += (static_cast<unsigned char>(c) < 0x80) ? c : '?';
    }
    text += '\r';
  }
  if (!text.empty()) text.pop_back();
  return text;
}

void CopyElementURLsToClipboard(const std::vector<queue::WrapperRef>& downloads) {
  std::vector<std::string> entries;
  for (const auto& w : downloads) entries.push_back(queue::CopyElementURLList(w->element()));
  const std::string text = ClipboardTextOfEntries(entries);
  if (text.size() > 1) toolbox::SetClipboardText(text);
}

void CopyDownloadURLsToClipboard() {
  CopyElementURLsToClipboard(CopySelectedQueueElements(-1));
}

}  // namespace ui
