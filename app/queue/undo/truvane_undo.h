#pragma once
// The application's one undo manager.
//
// Every undoable edit registers a TruvaneUndoableAction (undoable_action.h): the object it
// concerns, what kind of edit it was and what the inverse needs. Actions registered during
// one pass of the main run loop form one group, so one user action or one script command
// is one step of Undo however many downloads it touched; the observer installed by
// InstallUndoGroupingObserver() closes the open group before each pass.
//
// Undoing a group performs its actions' inverses, last first, through the ordinary
// operations of the queue, the folders and the other subsystems; whatever those register
// while the undo runs is gathered as the redo group (and, while a redo runs, as a new
// undo group). A new registration outside undo and redo forgets the redo groups.
//
// Actions hold their objects, so a removed download or folder lives as long as an action
// may still put it back. Main thread only.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace runtime {
class RunLoop;
class Observer;
}  // namespace runtime

namespace queue {

class TruvaneUndoableAction;
using UndoableActionRef = std::shared_ptr<TruvaneUndoableAction>;

class TruvaneUndo {
 public:
  // The shared manager.
  static TruvaneUndo& Shared();

  void addUndoableAction(UndoableActionRef action);

  bool CanUndo() const { return !undo_.empty() || (open_ && !open_->actions.empty()); }
  bool CanRedo() const { return !redo_.empty(); }
  void Undo();
  void Redo();
  // "Undo <name>" / "Redo <name>", or "Undo" / "Redo" when the step has no name.
  std::string UndoMenuItemTitle() const;
  std::string RedoMenuItemTitle() const;
  // Names the step being registered (or, when none is open, the last one).
  void SetActionName(const std::string& name);

  // Registration is off while the disable count is above 0.
  void DisableRegistration() { ++disabled_; }
  void EnableRegistration() {
    if (disabled_ > 0) --disabled_;
  }
  bool IsRegistrationEnabled() const { return disabled_ == 0; }
  bool IsUndoing() const { return state_ == State::kUndoing; }
  bool IsRedoing() const { return state_ == State::kRedoing; }

  void RemoveAllActions();
  // Forgets every action whose object is `target`.
  void RemoveActionsForTarget(const void* target);

  // Closes the open group: the end of a pass of the main run loop.
  void EndGrouping();
  std::size_t UndoCount() const { return undo_.size() + (open_ && !open_->actions.empty() ? 1 : 0); }
  std::size_t RedoCount() const { return redo_.size(); }

 private:
  struct Group {
    std::vector<UndoableActionRef> actions;
    std::string name;
  };
  enum class State { kNormal, kUndoing, kRedoing };

  void Perform(std::vector<Group>& from, std::vector<Group>& to, State state);
  static std::string Title(const char* verb, const std::vector<Group>& stack);

  std::vector<Group> undo_;
  std::vector<Group> redo_;
  std::optional<Group> open_;     // gathering the current pass's actions
  std::optional<Group> pending_;  // gathering the inverse while undoing or redoing
  State state_ = State::kNormal;
  int disabled_ = 0;
};

// The bridge functions the rest of the program calls.
void TruvaneUndoAddAction(UndoableActionRef action);
bool TruvaneUndoCanUndo();
bool TruvaneUndoCanRedo();
// Undo or redo, then the status bar is drawn again.
void TruvaneUndoPerformUndo();
void TruvaneUndoPerformRedo();
// The menu items' titles with every "&" removed.
std::string TruvaneUndoCopyUndoTitle();
std::string TruvaneUndoCopyRedoTitle();
// `name` is a localisation key ("Remove %d Downloads" formatted by the caller).
void TruvaneUndoSetActionName(const std::string& name);
void TruvaneUndoDisableRegistration();
void TruvaneUndoEnableRegistration();
void TruvaneUndoRemoveAllActions();
void TruvaneUndoRemoveActionsForTarget(const void* target);

// Closes the undo group before every pass of `loop` (the main loop); keep the result for as
// long as grouping by pass is wanted.
std::shared_ptr<runtime::Observer> InstallUndoGroupingObserver(runtime::RunLoop& loop);

}  // namespace queue
