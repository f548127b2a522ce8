#include "app/queue/record/queue_hooks.h"

#include "app/ui/services/main_list_services.h"
#include "app/util/settings/settings_store.h"

namespace queue {

void ShowQueueMessage(const std::string& text) {
  ui::MainListServicesSlot::Get().LogMessageToGlobalLog(true, text);
  if (auto& show = QueueHooksSlot::Get().showMessage) show(text);
}

void ReportQueueFailure(const std::string& text) {
  ui::MainListServicesSlot::Get().LogMessageToGlobalLog(true, text);
  if (util::CurrentSettings()->useErrorLog) return;
  if (auto& show = QueueHooksSlot::Get().showMessage) show(text);
}

}  // namespace queue
