#include "app/queue/undo/truvane_undo.h"

#include <algorithm>

#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/localize.h"

namespace queue {

TruvaneUndo& TruvaneUndo::Shared() {
  static TruvaneUndo manager;
  return manager;
}

void TruvaneUndo::addUndoableAction(UndoableActionRef action) {
  if (!action || !IsRegistrationEnabled()) return;
  if (state_ != State::kNormal) {
    pending_->actions.push_back(std::move(action));
    return;
  }
  // Something new was done: what was undone before can no longer be redone. The groups
  // are let go only after the stack is consistent again, because letting go of an action
  // may end its object, which may ask this manager to forget actions.
  std::vector<Group> dropped;
  dropped.swap(redo_);
  if (!open_) open_.emplace();
  open_->actions.push_back(std::move(action));
}

void TruvaneUndo::EndGrouping() {
  if (!open_ || state_ != State::kNormal) return;
  Group group = std::move(*open_);
  open_.reset();
  if (!group.actions.empty()) undo_.push_back(std::move(group));
}

void TruvaneUndo::Perform(std::vector<Group>& from, std::vector<Group>& to, State state) {
  EndGrouping();
  if (from.empty() || state_ != State::kNormal) return;
  Group group = std::move(from.back());
  from.pop_back();
  state_ = state;
  pending_.emplace();
  pending_->name = group.name;
  for (auto it = group.actions.rbegin(); it != group.actions.rend(); ++it) (*it)->undo();
  Group inverse = std::move(*pending_);
  pending_.reset();
  state_ = State::kNormal;
  if (!inverse.actions.empty()) to.push_back(std::move(inverse));
}

void TruvaneUndo::Undo() {
  Perform(undo_, redo_, State::kUndoing);
}

void TruvaneUndo::Redo() {
  // A redo's inverse is an ordinary undo step; it must not forget the other redo steps.
  Perform(redo_, undo_, State::kRedoing);
}

std::string TruvaneUndo::Title(const char* verb, const std::vector<Group>& stack) {
  std::string title = values::Localized(verb);
  if (!stack.empty() && !stack.back().name.empty()) title += " " + stack.back().name;
  return title;
}

std::string TruvaneUndo::UndoMenuItemTitle() const {
  if (open_ && !open_->actions.empty()) {
    std::string title = values::Localized("Undo");
    if (!open_->name.empty()) title += " " + open_->name;
    return title;
  }
  return Title("Undo", undo_);
}

std::string TruvaneUndo::RedoMenuItemTitle() const {
  return Title("Redo", redo_);
}

void TruvaneUndo::SetActionName(const std::string& name) {
  if (pending_) {
    pending_->name = name;
  } else if (open_) {
    open_->name = name;
  } else if (!undo_.empty()) {
    undo_.back().name = name;
  }
}

void TruvaneUndo::RemoveAllActions() {
  std::vector<Group> undo, redo;
  std::optional<Group> open;
  undo.swap(undo_);
  redo.swap(redo_);
  open.swap(open_);
  if (pending_) pending_->actions.clear();
}

void TruvaneUndo::RemoveActionsForTarget(const void* target) {
  std::vector<UndoableActionRef> dropped;
  auto sift = [&](Group& group) {
    auto keep =
        std::stable_partition(group.actions.begin(), group.actions.end(),
                              [&](const UndoableActionRef& a) { return a->object().get() != target; });
    std::move(keep, group.actions.end(), std::back_inserter(dropped));
    group.actions.erase(keep, group.actions.end());
  };
  for (auto* stack : {&undo_, &redo_}) {
    for (Group& group : *stack) sift(group);
    std::erase_if(*stack, [](const Group& g) { return g.actions.empty(); });
  }
  if (open_) sift(*open_);
  if (pending_) sift(*pending_);
}

void TruvaneUndoAddAction(UndoableActionRef action) {
  TruvaneUndo::Shared().addUndoableAction(std::move(action));
}
bool TruvaneUndoCanUndo() {
  return TruvaneUndo::Shared().CanUndo();
}
bool TruvaneUndoCanRedo() {
  return TruvaneUndo::Shared().CanRedo();
}
void TruvaneUndoPerformUndo() {
  TruvaneUndo::Shared().Undo();
  ui::MainListServicesSlot::Get().RefreshStatusBar();
}
void TruvaneUndoPerformRedo() {
  TruvaneUndo::Shared().Redo();
  ui::MainListServicesSlot::Get().RefreshStatusBar();
}

namespace {
std::string WithoutAmpersands(std::string title) {
  std::erase(title, '&');
  return title;
}
}  // namespace

std::string TruvaneUndoCopyUndoTitle() {
  return WithoutAmpersands(TruvaneUndo::Shared().UndoMenuItemTitle());
}
std::string TruvaneUndoCopyRedoTitle() {
  return WithoutAmpersands(TruvaneUndo::Shared().RedoMenuItemTitle());
}
void TruvaneUndoSetActionName(const std::string& name) {
  TruvaneUndo::Shared().SetActionName(values::Localized(name));
}
void TruvaneUndoDisableRegistration() {
  TruvaneUndo::Shared().DisableRegistration();
}
void TruvaneUndoEnableRegistration() {
  TruvaneUndo::Shared().EnableRegistration();
}
void TruvaneUndoRemoveAllActions() {
  TruvaneUndo::Shared().RemoveAllActions();
}
void TruvaneUndoRemoveActionsForTarget(const void* target) {
  TruvaneUndo::Shared().RemoveActionsForTarget(target);
}

std::shared_ptr<runtime::Observer> InstallUndoGroupingObserver(runtime::RunLoop& loop) {
  return loop.AddObserver(runtime::kActivityBeforeTimers | runtime::kActivityBeforeWaiting,
                          [](runtime::RunLoopActivity) { TruvaneUndo::Shared().EndGrouping(); });
}

}  // namespace queue
