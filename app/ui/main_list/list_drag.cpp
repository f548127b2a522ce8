#include "app/ui/main_list/list_drag.h"

#include <algorithm>
#include <cctype>

#include "app/browser/services/remote_rows.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_rows.h"
#include "app/upload/upload_hooks.h"
#include "app/util/text/string_utilities.h"
#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/views/view.h"
#include "platform/values/url.h"

namespace ui {
namespace {

toolbox::ListItemID& InsertionMark() {
  static toolbox::ListItemID mark = 0;
  return mark;
}

DroppedFilesSender& FilesSender() {
  static DroppedFilesSender sender;
  return sender;
}

bool SortedByQueue(const toolbox::ListView& list) {
  const auto p = list.SortProperty();
  return p == kColStatus || p == kColQueueCheck || p == kColQueuePosition;
}

bool ShowsDownloadsOrUserFolder() {
  return queue::IsViewDisplayed(queue::kMyDownloadsViewID) || queue::IsDisplayingUserFolder();
}

std::optional<values::Url> ItemUrl(const toolbox::DragItem& item) {
  auto text = item.Flavor(toolbox::kFlavorFileURL);
  if (!text || text->size() > 8192) return std::nullopt;
  return values::Url::Create(*text);
}

std::optional<std::string> FilePathOf(const toolbox::DragItem& item) {
  auto url = ItemUrl(item);
  if (!url) return std::nullopt;
  return values::PathFromFileUrl(*url);
}

bool IsDownloadBundlePath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return util::TRHasCaseInsensitiveSuffix(p, ".download");
}

std::shared_ptr<browser::FTPNodeRow> TargetFTPNode(const MainListItem* target) {
  if (!target || target->kind != RowKind::kFTPNode) return nullptr;
  return std::static_pointer_cast<browser::FTPNodeRow>(target->record);
}

std::shared_ptr<browser::DotMacNodeRow> TargetDotMacFolder(const MainListItem* target) {
  if (!target || target->kind != RowKind::kDotMacNode) return nullptr;
  auto node = std::static_pointer_cast<browser::DotMacNodeRow>(target->record);
  return node->isDirectory() ? node : nullptr;
}

queue::WrapperRef DraggedDownload(const toolbox::DragItem& item) {
  return item.object.As<queue::DownloadQueueWrapper>();
}

const queue::DownloadQueueElement* TargetDownload(const MainListItem* target) {
  if (!target || target->kind != RowKind::kDownload) return nullptr;
  return &target->as<queue::DownloadQueueWrapper>().element();
}

// Moves a dragged download to the target's place in the queue; false when it cannot go.
bool Reorder(const queue::WrapperRef& dragged, const MainListItem& target) {
  const auto& t = target.as<queue::DownloadQueueWrapper>();
  const queue::DownloadQueueElement& te = t.element();
  if (te.status != queue::kStatusQueued || te.hostID != 0) return false;
  queue::DownloadQueueElement& de = dragged->element();
  if (de.hostID != 0 || dragged.get() == &t) return false;
  if (de.status & (queue::kRunningMask | queue::kStatusVerifying)) return false;
  if (de.status != queue::kStatusQueued) queue::EnqueueElement(dragged);
  if (de.status != queue::kStatusQueued) return false;
  queue::MoveElementToQueuePosition(dragged, te.queuePosition);
  queue::MarkQueueDirty();
  return true;
}

}  // namespace

bool DragHasText(const toolbox::Drag& drag) {
  return std::any_of(drag.items.begin(), drag.items.end(), [](const toolbox::DragItem& i) {
    return i.HasFlavor(toolbox::kFlavorPlainText) || i.HasFlavor(toolbox::kFlavorText);
  });
}

bool DragHasFileURL(const toolbox::Drag& drag) {
  return std::any_of(drag.items.begin(), drag.items.end(),
                     [](const toolbox::DragItem& i) { return i.HasFlavor(toolbox::kFlavorFileURL); });
}

bool DragHasDownloadBundle(const toolbox::Drag& drag) {
  return std::any_of(drag.items.begin(), drag.items.end(), [](const toolbox::DragItem& i) {
    auto path = FilePathOf(i);
    return path && IsDownloadBundlePath(*path);
  });
}

std::optional<std::string> CopyDragFileURL(const toolbox::DragItem& item) {
  auto url = ItemUrl(item);
  if (!url) return std::nullopt;
  return url->String();
}

std::optional<toolbox::DragItem> AddDragFlavorsForRow(const MainListItem& row) {
  toolbox::DragItem item;
  switch (row.kind) {
    case RowKind::kDownload: {
      auto w = std::static_pointer_cast<queue::DownloadQueueWrapper>(row.record);
      queue::DownloadQueueElement& e = w->element();
      item.object = runtime::ObjectHandle::Of(w);
      item.flavors[kFlavorDownloadRow] = std::string();
      item.flavors[toolbox::kFlavorPlainText] = queue::CopyElementURLList(e);
      if (e.hostID == 0)
        if (const auto& url = queue::DownloadQueueElementGetCompleteURL(e))
          item.flavors[toolbox::kFlavorFileURL] = url->String();
      return item;
    }
    case RowKind::kUpload: {
      auto path = row.as<upload::UploadRow>().localPath();
      if (!path || !files::Exists(files::FileRef(*path))) return std::nullopt;
      auto url = values::FileUrlFromPath(*path, false);
      if (!url) return std::nullopt;
      item.flavors[toolbox::kFlavorFileURL] = url->String();
      return item;
    }
    case RowKind::kReceivedFile: {
      auto& received = *std::static_pointer_cast<sharing::ReceivedFileRow>(row.record);
      if (received.status() != sharing::kReceivedFileReceived) return std::nullopt;
      auto path = received.UpdatePath();
      if (!path || !files::Exists(files::FileRef(*path))) return std::nullopt;
      auto url = values::FileUrlFromPath(*path, false);
      if (!url) return std::nullopt;
      item.flavors[toolbox::kFlavorFileURL] = url->String();
      return item;
    }
    case RowKind::kFTPNode:
      item.object = runtime::ObjectHandle::Of(std::static_pointer_cast<browser::FTPNodeRow>(row.record));
      item.flavors[kFlavorFTPNode] = std::string();
      return item;
    case RowKind::kDotMacNode:
      item.object = runtime::ObjectHandle::Of(std::static_pointer_cast<browser::DotMacNodeRow>(row.record));
      item.flavors[kFlavorDotMacNode] = std::string();
      return item;
    default:
      return std::nullopt;
  }
}

bool ListAcceptDragCallback(const toolbox::ListView& list, const toolbox::Drag& drag,
                            const MainListItem* target) {
  toolbox::SetThemeCursor(toolbox::CursorKind::kArrow);
  if (DragHasDownloadBundle(drag)) return true;
  const queue::DownloadQueueElement* te = TargetDownload(target);
  const auto targetNode = TargetFTPNode(target);
  for (const toolbox::DragItem& item : drag.items) {
    if (targetNode && drag.from_this_program) {
      // Items of the same server move into the folder.
      if (auto node = item.object.As<browser::FTPNodeRow>(); node && node->host() == targetNode->host())
        return true;
      if (auto w = DraggedDownload(item); w && (w->element().hostID & 0x80000000u)) return true;
    }
    if (DraggedDownload(item) && drag.from_this_program) {
      if (!ShowsDownloadsOrUserFolder()) continue;
      if (SortedByQueue(list) && queue::gQueueOrder.size() >= 2) {
        InsertionMark() = target ? target->id() : 0;
        if (te && te->status == queue::kStatusQueued && te->hostID == 0) return true;
      } else if (te && te->hostID == 0) {
        return false;
      }
      continue;
    }
    if (!drag.from_this_program && item.HasFlavor(toolbox::kFlavorFileURL)) return true;
  }
  return !drag.from_this_program && DragHasText(drag);
}

bool ListDragReceiveCallback(toolbox::ListView& list, const toolbox::Drag& drag, const MainListItem* target) {
  std::vector<std::string> toSend;
  bool took = false;
  auto takeFile = [&](const toolbox::DragItem& item) {
    auto url = ItemUrl(item);
    if (!url) return false;
    if (auto path = values::PathFromFileUrl(*url)) {
      if (IsDownloadBundlePath(*path)) return queue::ImportBrowserDownload(files::FileRef(*path));
      if (auto folder = TargetFTPNode(target))
        if (browser::RemoteRowsServiceSlot::Get().UploadToFTPNode(folder, *path)) return true;
      if (auto folder = TargetDotMacFolder(target))
        if (browser::RemoteRowsServiceSlot::Get().UploadToDotMacNode(folder, *path)) return true;
      toSend.push_back(*path);
      return true;
    }
    // A web link dragged from a browser: the download it names.
    return queue::AddDownloadFromURLString(url->String()) != 0;
  };
  if (drag.from_this_program) {
    if (target) {
      bool moved = false;
      const auto folder = TargetFTPNode(target);
      auto& remote = browser::RemoteRowsServiceSlot::Get();
      for (const toolbox::DragItem& item : drag.items) {
        if (auto dragged = DraggedDownload(item)) {
          if (TargetDownload(target) && SortedByQueue(list) && Reorder(dragged, *target)) moved = true;
          // A remote file dropped on a folder of its server moves there.
          if (folder && remote.MoveFTPItem(dragged, false, folder)) took = true;
          continue;
        }
        if (auto node = item.object.As<browser::FTPNodeRow>()) {
          if (folder && node != folder && remote.MoveFTPItem(node, true, folder)) took = true;
          continue;
        }
        // An item of an online disk or WebDAV server dropped on a folder of its tree moves there.
        if (auto node = item.object.As<browser::DotMacNodeRow>()) {
          const auto into = TargetDotMacFolder(target);
          if (into && node != into && remote.MoveDotMacNode(node, into, false)) took = true;
          continue;
        }
        if (!item.object && item.HasFlavor(toolbox::kFlavorFileURL)) took |= takeFile(item);
      }
      if (moved) {
        list.UpdateItems({}, 0);
        MainListServicesSlot::Get().RefreshCommandState();
        took = true;
      }
    }
  } else {
    std::size_t handled = 0;
    for (const toolbox::DragItem& item : drag.items) {
      // As many items as lines of text: a URI list is dropped text too.
      if (++handled > kMaxDroppedLines) break;
      if (item.HasFlavor(toolbox::kFlavorFileURL)) {
        took |= takeFile(item);
      } else if (auto text = item.Flavor(toolbox::kFlavorText)) {
        took |= AddDroppedTextLines(*text) > 0;
      } else if (auto plain = item.Flavor(toolbox::kFlavorPlainText)) {
        took |= AddDroppedTextLines(*plain) > 0;
      }
    }
  }
  MainListServicesSlot::Get().RefreshStatusBar();
  if (!toSend.empty()) {
    if (FilesSender())
      FilesSender()(toSend);
    else
      runtime::CallHook(upload::UploadHooksSlot::Get().openSendFilesWindow, toSend);
  }
  InsertionMark() = 0;
  return took;
}

void MoveDraggedItemsToTrash(const toolbox::Drag&, unsigned) {
  // Where a drag ends is never known here, so nothing goes to the trash by a drag.
  toolbox::SetThemeCursor(toolbox::CursorKind::kArrow);
  InsertionMark() = 0;
}

toolbox::ListItemID DragInsertionMark() {
  return InsertionMark();
}

std::vector<std::string> DroppedTextLines(const std::string& text) {
  std::string_view bounded(text);
  if (bounded.size() > kMaxDroppedTextBytes) {
    bounded = bounded.substr(0, kMaxDroppedTextBytes);
    // Not into the middle of a character, nor of a line.
    const auto end = bounded.find_last_of("\r\n");
    bounded = end == std::string_view::npos ? std::string_view() : bounded.substr(0, end);
  }
  std::vector<std::string> lines;
  for (std::string& line : util::CreateArrayOfLines(bounded)) {
    if (line.size() <= 1) continue;
    lines.push_back(std::move(line));
    if (lines.size() == kMaxDroppedLines) break;
  }
  return lines;
}

std::size_t AddDroppedTextLines(const std::string& text) {
  std::size_t added = 0;
  for (const std::string& line : DroppedTextLines(text)) {
    const queue::DownloadUID uid = queue::AddDownloadFromURLString(line);
    if (uid == 0) continue;
    ++added;
    if (queue::IsDisplayingUserFolder())
      if (auto w = queue::LookUpDownloadWrapper(uid)) queue::AddElementToDisplayedFolders(w);
    queue::MarkQueueDirty();
  }
  return added;
}

DroppedFilesSender SetDroppedFilesSender(DroppedFilesSender sender) {
  DroppedFilesSender previous = std::move(FilesSender());
  FilesSender() = std::move(sender);
  return previous;
}

}  // namespace ui
