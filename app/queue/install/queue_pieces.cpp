#include "app/queue/install/queue_pieces.h"

#include <memory>

#include "app/queue/adding/remote_files.h"
#include "app/queue/events/completion.h"
#include "app/queue/history/download_filters.h"
#include "app/queue/history/history.h"
#include "app/queue/history/history_filter_rows.h"
#include "app/queue/metalink/metalink.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/schedule/queue_schedule.h"
#include "app/queue/smartfolders/element_metadata.h"
#include "app/queue/smartfolders/smart_folder.h"
#include "app/util/settings/download_folder.h"

namespace queue {

void InstallQueuePieces() {
  auto& hooks = QueueHooksSlot::Get();
  hooks.noteElementChanged = NoteElementChanged;
  hooks.removeFromHistory = TakeOutOfHistoryDay;

  auto& completion = CompletionHooksSlot::Get();
  completion.filterDestination = [](const std::string& fileName) -> std::optional<files::FileRef> {
    FilterRef filter = FindFilterForFileName(fileName);
    files::FileRef downloads;
    if (!filter || !util::GetDefaultDownloadFolder(downloads)) return std::nullopt;
    files::FileRef folder;
    if (MakeFilterDestination(downloads, folder, filter->name, filter->relative) != files::noErr)
      return std::nullopt;
    return folder;
  };
  completion.openMetalinkFile = OpenMetalinkFile;
  completion.addToHistory = AddToHistory;
  completion.writeElementMetadata = [](const WrapperRef& wrapper, const files::FileRef& file) {
    WriteElementMetadata(wrapper, file);
  };

  FilterTableServiceSlot::Set(std::make_unique<QueueFilterTableService>());
  QueueScheduleServiceSlot::Set(std::make_unique<QueueScheduleStoreService>());
  HistoryFilterRowsServiceSlot::Set(std::make_unique<QueueHistoryFilterRows>());
  RemoteFilesServiceSlot::Set(std::make_unique<QueueRemoteFiles>());
}

}  // namespace queue
