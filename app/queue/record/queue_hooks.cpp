#include "app/queue/record/queue_hooks.h"

#include "app/queue/record/queue_settings.h"
#include "app/ui/services/main_list_services.h"

namespace queue {

void ReportQueueFailure(const std::string& text) {
  ui::MainListServicesSlot::Get().LogMessageToGlobalLog(true, text);
  if (CurrentQueueSettings().useErrorLog) return;
  if (auto& show = QueueHooksSlot::Get().showMessage) show(text);
}

}  // namespace queue
