#include "app/queue/record/queue_hooks.h"

#include "app/queue/record/queue_settings.h"
#include "app/ui/services/main_list_services.h"

namespace queue {

QueueHooks& GetQueueHooks() {
  static QueueHooks hooks;
  return hooks;
}

void ShowQueueMessage(const std::string& text) {
  ui::GetMainListServices().LogMessageToGlobalLog(true, text);
  if (auto& show = GetQueueHooks().showMessage) show(text);
}

void ReportQueueFailure(const std::string& text) {
  ui::GetMainListServices().LogMessageToGlobalLog(true, text);
  if (CurrentQueueSettings().useErrorLog) return;
  if (auto& show = GetQueueHooks().showMessage) show(text);
}

}  // namespace queue
