#include "app/shell/sharing_startup.h"
#include "app/ui/sharing_windows/peer_connect_window.h"

#include <memory>

#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/queue_locks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/undoable_action.h"
#include "app/sharing/install/sharing_services.h"
#include "app/sharing/received/received_files.h"
#include "app/sharing/server/sharing_session.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/shell/shell_hooks.h"

namespace shell {
namespace {

// The queue as the sharing server lists it, read from the server's connection tasks under
// the queue's locks in their one order.
class QueueListing : public sharing::SharedListingService {
 public:
  std::vector<sharing::ListedFolder> CopyFolders() override {
    std::vector<sharing::ListedFolder> out;
    runtime::RegionGuard folders(queue::gFoldersLock);
    for (const auto& [uid, folder] : queue::gFolders) out.push_back({uid, folder->name(), folder->flags()});
    return out;
  }

  std::vector<sharing::ListedItem> CopyFolderItems(std::uint32_t folderUID) override {
    std::vector<sharing::ListedItem> out;
    queue::QueueTablesGuard tables;
    const auto folder = queue::gFolders.find(folderUID);
    if (folder == queue::gFolders.end() || !folder->second->HasItems()) return out;
    std::vector<queue::WrapperRef> wrappers;
    for (const auto& [uid, w] : folder->second->Items()) wrappers.push_back(w);
    for (const auto& w : wrappers) {
      if (!queue::gQueueItems.contains(w->uid())) continue;
      const queue::DownloadQueueElement& e = w->element();
      sharing::ListedItem item;
      item.uid = e.uid;
      item.folderUID = folderUID;
      item.name = e.filename;
      item.urls = queue::CopyElementURLDisplayList(e);
      if (!e.urlData.empty()) {
        if (const auto* d = e.urlData.front().AsDictionary()) {
          if (auto r = d->find("referer"); r != d->end() && r->second.AsString())
            item.referer = *r->second.AsString();
        }
      }
      item.downloadCount = e.downloadCount;
      item.size = e.fileSize;
      item.flags = e.flags;
      item.finishedFileKnown = e.completeFile.has_value() || e.completeURL.has_value();
      item.startDate = e.startDate;
      item.endDate = e.endDate;
      out.push_back(std::move(item));
    }
    return out;
  }

  sharing::SharedItemAccess FindSharedItemFile(std::uint32_t uid,
                                               const std::vector<std::uint32_t>& downloadFolders,
                                               sharing::SharedItemFile& file) override {
    const queue::WrapperRef wrapper = queue::LookUpDownloadWrapper(uid);
    if (!wrapper) return sharing::SharedItemAccess::kNotFound;
    bool granted = false;
    {
      runtime::RegionGuard folders(queue::gFoldersLock);
      for (std::uint32_t folderUID : downloadFolders) {
        const auto folder = queue::gFolders.find(folderUID);
        if (folder == queue::gFolders.end() || (folder->second->flags() & sharing::kFolderFlagSmart) != 0 ||
            !folder->second->HasItems()) {
          continue;
        }
        std::lock_guard items(folder->second->itemsLock());
        if (folder->second->items().contains(uid)) {
          granted = true;
          break;
        }
      }
    }
    if (!granted) return sharing::SharedItemAccess::kNotGranted;
    const queue::DownloadQueueElement& e = wrapper->element();
    if (!e.completeURL) return sharing::SharedItemAccess::kNotFound;
    const auto path = e.completeURL->FileSystemPath();
    if (!path || path->empty()) return sharing::SharedItemAccess::kNotFound;
    file.path = *path;
    file.name = e.filename;
    return sharing::SharedItemAccess::kGranted;
  }
};

}  // namespace

void InstallSharing() {
  sharing::SharedListingServiceSlot::Set(std::make_unique<QueueListing>());
  sharing::InstallSharingServices();
  // The peers' rows and the connections' windows follow the sharing client's events.
  ui::InstallSharingWindows();
  sharing::ReceivedFileHooksSlot::Get().registerUndoRemoved = [](const sharing::ReceivedFileRef& file) {
    queue::RegisterUndoReceivedFileRemoved(file);
  };
  auto& hooks = ShellHooksSlot::Get();
  hooks.startSharingServers = sharing::StartSharingServers;
  hooks.startBrowsingSharingServices = sharing::StartBrowsingForPeers;
  hooks.stopSharingServices = sharing::StopSharingServices;
}

}  // namespace shell
