#include "app/queue/seam_list.h"

#include "app/queue/events/completion.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/services/filter_table_service.h"
#include "app/queue/services/history_filter_rows.h"
#include "app/queue/services/queue_schedule_service.h"
#include "app/queue/services/remote_files_service.h"
#include "platform/runtime/seam_list.h"

namespace queue {

void ListSeams() {
  runtime::ListServiceSlot<FilterTableServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<HistoryFilterRowsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<QueueScheduleServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<RemoteFilesServiceSlot>(runtime::AtStartUp());
  runtime::ListHooks<CompletionHooksSlot>(
      "queue::CompletionHooks",
      {
          {"filterDestination", &CompletionHooks::filterDestination, runtime::AtStartUp()},
          {"openMetalinkFile", &CompletionHooks::openMetalinkFile, runtime::AtStartUp()},
          {"addToHistory", &CompletionHooks::addToHistory, runtime::AtStartUp()},
          {"writeElementMetadata", &CompletionHooks::writeElementMetadata, runtime::AtStartUp()},
      });
  runtime::ListHooks<QueueHooksSlot>(
      "queue::QueueHooks",
      {
          {"noteElementChanged", &QueueHooks::noteElementChanged, runtime::AtStartUp()},
          {"removeFromHistory", &QueueHooks::removeFromHistory, runtime::AtStartUp()},
          {"showMessage", &QueueHooks::showMessage, runtime::AtStartUp()},
          {"encipherCredential", &QueueHooks::encipherCredential, runtime::AtStartUp()},
          {"decipherCredential", &QueueHooks::decipherCredential, runtime::AtStartUp()},
          {"storedPasswordKeyFailed", &QueueHooks::storedPasswordKeyFailed, runtime::AtStartUp()},
          {"storeCredentials", &QueueHooks::storeCredentials, runtime::AtStartUp()},
      });
}

}  // namespace queue
