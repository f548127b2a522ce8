#pragma once
// The table of event handlers by (class, id). Dispatching an event calls its handler
// with the event and a reply to fill; an event without a handler fails with
// kEventNotHandled. A handler's non-zero result is put into the reply's 'errn' unless
// the handler put one there itself, as the sender tells failures by that field.
// A handler installed for id '****' takes every id of its class that has none of its
// own. Used on one thread (the main thread's run loop).

#include <functional>
#include <map>
#include <utility>

#include "platform/appleevents/apple_event.h"

namespace appleevents {

using EventHandler = std::function<Status(const AppleEvent& event, AppleEvent& reply)>;

class HandlerTable {
 public:
  // Replaces a handler already there for (class, id).
  void Install(values::FourCharCode event_class, values::FourCharCode event_id, EventHandler handler);
  bool Remove(values::FourCharCode event_class, values::FourCharCode event_id);
  bool Has(values::FourCharCode event_class, values::FourCharCode event_id) const;

  // The handler's result; `reply` carries 'errn' when it is not kNoErr.
  Status Dispatch(const AppleEvent& event, AppleEvent& reply) const;

 private:
  std::map<std::pair<values::FourCharCode, values::FourCharCode>, EventHandler> handlers_;
};

}  // namespace appleevents
