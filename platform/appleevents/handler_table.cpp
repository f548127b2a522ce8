#include "platform/appleevents/handler_table.h"

namespace appleevents {

void HandlerTable::Install(values::FourCharCode event_class, values::FourCharCode event_id,
                           EventHandler handler) {
  handlers_[{event_class, event_id}] = std::move(handler);
}

bool HandlerTable::Remove(values::FourCharCode event_class, values::FourCharCode event_id) {
  return handlers_.erase({event_class, event_id}) > 0;
}

bool HandlerTable::Has(values::FourCharCode event_class, values::FourCharCode event_id) const {
  return handlers_.count({event_class, event_id}) > 0;
}

Status HandlerTable::Dispatch(const AppleEvent& event, AppleEvent& reply) const {
  auto it = handlers_.find({event.event_class(), event.event_id()});
  if (it == handlers_.end()) it = handlers_.find({event.event_class(), types::kWildCard});
  Status result = kEventNotHandled;
  if (it != handlers_.end() && it->second) result = it->second(event, reply);
  if (result != kNoErr && !reply.HasParam(keys::kErrorNumber)) reply.SetError(result);
  return result;
}

}  // namespace appleevents
