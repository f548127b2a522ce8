#include "app/ui/main_list/list_notifications.h"

#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/operations/queue_queries.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_context_menu.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/values/utf16.h"

namespace ui {

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
        if (util::PrefIntegerForKey("downloadDoubleClickAction") == 1)
          PostListCommand(listcmd::kEdit);
        else
          queue::OpenDownloadFiles(downloads);
      }
      (void)item;
      return;
    }
    case toolbox::ListNotification::kContainerOpened:
    case toolbox::ListNotification::kContainerClosed:
      services.RefreshStatusBar();
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
