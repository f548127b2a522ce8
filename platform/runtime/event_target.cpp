#include "platform/runtime/event_target.h"

#include <algorithm>

namespace runtime {

InstalledHandler::InstalledHandler(std::weak_ptr<EventTarget> target, std::vector<EventTypeSpec> types,
                                   EventHandler handler)
    : target_(std::move(target)), types_(std::move(types)), handler_(std::move(handler)) {}

void InstalledHandler::Remove() {
  auto target = target_.lock();
  if (!target) return;
  std::lock_guard lock(target->mutex_);
  installed_ = false;
  std::erase_if(target->handlers_, [this](auto& h) { return h.get() == this; });
}

bool InstalledHandler::IsInstalled() const {
  auto target = target_.lock();
  if (!target) return false;
  std::lock_guard lock(target->mutex_);
  return installed_;
}

void InstalledHandler::AddEventTypes(const std::vector<EventTypeSpec>& types) {
  auto target = target_.lock();
  if (!target) return;
  std::lock_guard lock(target->mutex_);
  types_.insert(types_.end(), types.begin(), types.end());
}

bool InstalledHandler::Matches(const Event& event) const {
  for (auto& t : types_) {
    if (t.event_class == event.event_class() && t.kind == event.kind()) return true;
  }
  return false;
}

std::shared_ptr<EventTarget> EventTarget::Create(Kind kind, std::shared_ptr<EventTarget> parent) {
  auto target = std::make_shared<EventTarget>(kind);
  target->parent_ = std::move(parent);
  return target;
}

std::shared_ptr<EventTarget> EventTarget::Application() {
  static const std::shared_ptr<EventTarget> application = std::make_shared<EventTarget>(Kind::kApplication);
  return application;
}

std::shared_ptr<EventTarget> EventTarget::Parent() const {
  std::lock_guard lock(mutex_);
  return parent_;
}

void EventTarget::SetParent(std::shared_ptr<EventTarget> parent) {
  std::lock_guard lock(mutex_);
  parent_ = std::move(parent);
}

HandlerRef EventTarget::InstallHandler(std::vector<EventTypeSpec> types, EventHandler handler) {
  auto installed = std::make_shared<InstalledHandler>(weak_from_this(), std::move(types), std::move(handler));
  std::lock_guard lock(mutex_);
  handlers_.push_back(installed);
  return installed;
}

void EventTarget::RemoveHandler(const HandlerRef& handler) {
  if (handler) handler->Remove();
}

Status EventTarget::Send(Event& event) {
  // The chain is collected first, so handlers may install and remove handlers freely.
  std::vector<HandlerRef> chain;
  for (std::shared_ptr<EventTarget> t = shared_from_this(); t; t = t->Parent()) {
    std::lock_guard lock(t->mutex_);
    for (auto it = t->handlers_.rbegin(); it != t->handlers_.rend(); ++it) {
      if ((*it)->Matches(event)) chain.push_back(*it);
    }
  }
  HandlerCall call(std::move(chain));
  return call.CallNext(event);
}

Status HandlerCall::CallNext(Event& event) {
  while (next_ < chain_.size()) {
    HandlerRef handler = chain_[next_++];
    bool installed;
    {
      auto target = handler->target_.lock();
      if (!target) continue;
      std::lock_guard lock(target->mutex_);
      installed = handler->installed_;
    }
    if (!installed) continue;
    const Status status = handler->handler_(*this, event);
    if (status != kEventNotHandledErr) return status;
  }
  return kEventNotHandledErr;
}

Status SendEventToEventTarget(Event& event, EventTarget& target) {
  return target.Send(event);
}

}  // namespace runtime
