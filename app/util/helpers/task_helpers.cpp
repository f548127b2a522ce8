#include "app/util/helpers/task_helpers.h"

#include <utility>

#include "platform/runtime/event_target.h"

namespace util {

runtime::Status PostLogMessageEvent(std::string message) {
  runtime::EventRef event = runtime::Event::Create(kEventClassApplication, kEventAppLogMessage);
  event->SetString(runtime::kParamDirectObject, std::move(message));
  event->SetPostTarget(runtime::EventTarget::Application());
  return runtime::EventQueue::Main()->Post(std::move(event), runtime::EventPriority::kStandard);
}

const std::string* LogMessageOfEvent(const runtime::Event& event) {
  if (!event.Is(kEventClassApplication, kEventAppLogMessage)) return nullptr;
  return event.Find<std::string>(runtime::kParamDirectObject);
}

void DelayCurrentTask(std::int32_t duration) {
  runtime::DelayFor(runtime::DurationToNanoseconds(duration));
}

}  // namespace util
