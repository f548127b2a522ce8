#pragma once
// Event targets and their handler chains. A target (the application, a window, an
// object such as a download task's controller) holds handlers, each installed for a
// list of (class, kind) pairs. Sending an event to a target calls the matching
// handlers, the most recently installed first; a handler that returns
// kEventNotHandledErr passes the event on to the next one, and when a target's handlers
// are exhausted the event goes on to the target's parent (a window's parent is the
// application). The first status other than kEventNotHandledErr is the result; when no
// handler takes the event, the result is kEventNotHandledErr.
//
// A handler can also pass the event on itself, and act after the rest of the chain,
// with `HandlerCall::CallNext` (an object's handler that lets its base handler run
// first does this).
//
// Handlers are installed and removed from any thread; an event is sent on the thread
// that sends it (a queued event: on the queue's thread). A handler removed while the
// event is on its way is not called.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/runtime/event.h"
#include "platform/runtime/status.h"

namespace runtime {

struct EventTypeSpec {
  FourCharCode event_class;
  std::uint32_t kind;
};

class HandlerCall;
using EventHandler = std::function<Status(HandlerCall& call, Event& event)>;

// One installed handler; `Remove` uninstalls it. The target owns the handler: dropping
// this reference leaves it installed.
class InstalledHandler {
 public:
  void Remove();
  bool IsInstalled() const;
  // Adds event types to those the handler is called for.
  void AddEventTypes(const std::vector<EventTypeSpec>& types);

  InstalledHandler(std::weak_ptr<EventTarget> target, std::vector<EventTypeSpec> types, EventHandler handler);

 private:
  friend class EventTarget;
  friend class HandlerCall;
  bool Matches(const Event& event) const;

  std::weak_ptr<EventTarget> target_;
  std::vector<EventTypeSpec> types_;  // guarded by the target's mutex
  EventHandler handler_;
  bool installed_ = true;  // guarded by the target's mutex
};

using HandlerRef = std::shared_ptr<InstalledHandler>;

class EventTarget : public std::enable_shared_from_this<EventTarget> {
 public:
  enum class Kind { kApplication, kWindow, kObject };

  // A window's parent is normally Application(); an object target has none unless
  // given one.
  static std::shared_ptr<EventTarget> Create(Kind kind, std::shared_ptr<EventTarget> parent = nullptr);
  // The process's application target.
  static std::shared_ptr<EventTarget> Application();

  Kind kind() const { return kind_; }
  std::shared_ptr<EventTarget> Parent() const;
  void SetParent(std::shared_ptr<EventTarget> parent);

  HandlerRef InstallHandler(std::vector<EventTypeSpec> types, EventHandler handler);
  void RemoveHandler(const HandlerRef& handler);
  // Sends `event` through the chain (see the model above).
  Status Send(Event& event);

  explicit EventTarget(Kind kind) : kind_(kind) {}

 private:
  friend class InstalledHandler;
  friend class HandlerCall;
  const Kind kind_;
  mutable std::mutex mutex_;
  std::shared_ptr<EventTarget> parent_;
  std::vector<HandlerRef> handlers_;  // in installation order
};

// Handed to a handler: the rest of the chain after it.
class HandlerCall {
 public:
  // Calls the handlers after the current one; kEventNotHandledErr when none takes it.
  Status CallNext(Event& event);

  explicit HandlerCall(std::vector<HandlerRef> chain) : chain_(std::move(chain)) {}

 private:
  std::vector<HandlerRef> chain_;
  std::size_t next_ = 0;
};

Status SendEventToEventTarget(Event& event, EventTarget& target);
inline Status CallNextEventHandler(HandlerCall& call, Event& event) {
  return call.CallNext(event);
}

}  // namespace runtime
